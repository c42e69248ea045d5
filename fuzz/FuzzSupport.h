#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: the entry point libFuzzer (or the corpus replay) calls, and a check
// that ends the run loudly, so that a broken property counts as a crash and keeps its input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

inline QByteArray fuzzBytes(const uint8_t *data, size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
