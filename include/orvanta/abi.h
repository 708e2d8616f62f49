/* Orvanta SDK: what every module header shares.
 *
 * Modules are shared libraries built with hidden visibility that export exactly one factory,
 * marked ORVANTA_EXPORT. Objects a factory returns live in the module's heap: the console
 * destroys them only through their first virtual operation, Destroy(1), never with its own
 * delete, and frees the library afterwards. No C++ standard library type and no exception
 * crosses the boundary; texts are NUL-terminated narrow strings that the receiver copies if it
 * keeps them. */
#ifndef ORVANTA_ABI_H
#define ORVANTA_ABI_H

#include <stdint.h>

#ifdef __cplusplus
#define ORVANTA_EXTERN_C extern "C"
#else
#define ORVANTA_EXTERN_C
#endif

#define ORVANTA_EXPORT ORVANTA_EXTERN_C __attribute__((visibility("default")))

/* The flag the console passes to Destroy: the object frees itself. */
#define ORVANTA_DESTROY_FREE 1

#endif /* ORVANTA_ABI_H */
