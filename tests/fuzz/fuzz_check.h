// The fuzz programs' assertion: a broken invariant ends the program the way a
// sanitizer report does, so libFuzzer keeps the input as a finding. Unlike
// assert() it stays on in the optimised fuzz build.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)
