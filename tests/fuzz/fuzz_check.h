// CHECK for the fuzz targets: a broken promise prints where and what, and
// aborts, so that libFuzzer keeps the input that broke it.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

// The text a C string buffer holds: up to its first zero byte.
inline std::string UpToZero(const std::string& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
