// Shared by the libFuzzer harnesses: a check that stops the run, and exact-size copies of inputs
// so that AddressSanitizer sees any read or write past their end.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include "sim.h"
#include "stagerun.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);          \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// The text up to its first NUL, as a C string argument sees it.
inline std::string AsText(const std::string &bytes)
{
    return std::string(bytes.c_str());
}

// A heap copy exactly as long as the text and its terminator.
inline std::unique_ptr<char[]> ExactCopy(const std::string &text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

inline std::string UpperAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return text;
}

// Every byte of the slot after the text's terminator is still zero: nothing was written past it.
// Compared in one call: a loop here would be traced byte by byte for the fuzzer's coverage.
inline bool EndsCleanlyWithin(const char *slot, size_t capacity)
{
    static const char Zeros[4096] = {};
    FUZZ_CHECK(capacity <= sizeof(Zeros));
    const char *end = (const char *)memchr(slot, '\0', capacity);
    return end != nullptr && memcmp(end, Zeros, (size_t)(slot + capacity - end)) == 0;
}

// Writes an input over a file of the simulated medium, through its host path found once: the
// medium is made once and an input changes only that file.
inline void WriteInput(const std::string &hostPath, const uint8_t *data, size_t size)
{
    int file = open(hostPath.c_str(), O_WRONLY | O_TRUNC);
    FUZZ_CHECK(file >= 0 && write(file, data, size) == (ssize_t)size && close(file) == 0);
}
