// What every fuzz target here shares: the input as text, and the check that stops the fuzzer on the spot
// with the input that broke it (a trap, so the sanitizers' report shows where).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)

inline std::string fuzzText(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}
