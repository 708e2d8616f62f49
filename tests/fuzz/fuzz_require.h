// What a fuzz target does when one of its properties fails: says which, and aborts, so that the
// fuzzer keeps the input (the target's name tells which reader it was).
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}
