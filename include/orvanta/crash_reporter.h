/* Orvanta SDK: the optional crash-report module.
 *
 * When a library named OrvCrash (with the platform's library suffix) is in the program
 * folder and exports
 *
 *     ORVANTA_EXPORT ICrashReporter* OXCreate(void);
 *
 * the console creates one reporter while it starts, calls SetReportTarget and then
 * AddRegistrySource once each, ignores their results, and destroys the reporter at process
 * exit. Without the library the console simply runs without crash reporting.
 *
 * Layout. Six slots in this order; slots 3 to 5 are never called by the console. */
#ifndef ORVANTA_CRASH_REPORTER_H
#define ORVANTA_CRASH_REPORTER_H

#include <orvanta/abi.h>
#include <stdint.h>

#ifdef __cplusplus

class ICrashReporter {
public:
    /* 1. Frees the object in the module's own heap; flags is ORVANTA_DESTROY_FREE. */
    virtual void Destroy(int32_t flags) = 0;
    /* 2. Where reports go: mode (always 0), the address reports are mailed to, their title. */
    virtual int32_t SetReportTarget(int32_t mode, const char* address, const char* title) = 0;
    /* 3.-5. Not called by the console. */
    virtual int32_t Reserved3() = 0;
    virtual int32_t Reserved4() = 0;
    virtual int32_t Reserved5() = 0;
    /* 6. A registry key whose values belong in a report, and its label. */
    virtual int32_t AddRegistrySource(const char* key, const char* label) = 0;

protected:
    ~ICrashReporter() = default;
};

#define ORVANTA_CRASH_REPORTER_FACTORY_NAME "OXCreate"
typedef ICrashReporter* (*OrvantaCrashReporterFactory)(void);

#endif /* __cplusplus */

#endif /* ORVANTA_CRASH_REPORTER_H */
