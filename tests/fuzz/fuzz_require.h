// What a fuzz target does when one of its properties fails: says which, and aborts, so that the
// fuzzer keeps the input (the target's name tells which reader it was). The last system error
// goes with it: a property of a file-backed reader can break for a reason of the system's (a
// lock, a full disk) that the input alone does not bring back.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

inline void Require(bool holds, const char* what) {
    if (!holds) {
        const int error = errno;
        std::fprintf(stderr, "property broken: %s (last system error: %s)\n", what,
                     error != 0 ? std::strerror(error) : "none");
        std::abort();
    }
}
