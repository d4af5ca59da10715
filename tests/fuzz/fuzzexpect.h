#pragma once

#include <cstdio>
#include <cstdlib>

// A promise a parser breaks stops the run as a crash does, with the line.
#define FUZZ_EXPECT(condition)                                                                     \
    ((condition) ? void(0)                                                                         \
                 : (std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition),   \
                    std::abort()))
