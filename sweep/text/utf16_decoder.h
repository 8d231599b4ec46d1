#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {

// UTF-16LE text, arriving in pieces of any size, as the report's 8-bit text: UTF-8, or on
// Windows the ANSI code page, where characters it lacks become '?'. A code unit or a surrogate
// pair split between pieces is put together again.
class Utf16Decoder {
public:
    // The most bytes decode() writes for n bytes of input.
    static constexpr std::size_t maxOutput(std::size_t n) { return (n / 2 + 2) * 3; }

    // Decodes as many whole characters as the bytes hold; returns the bytes written to out.
    std::size_t decode(const char* in, std::size_t n, char* out);
    // At the end of the text: a high surrogate left alone becomes '?', an odd last byte is
    // dropped. Returns the bytes written to out, at most 3.
    std::size_t finish(char* out);

    // What is pending from bytes decoded so far: a code unit's first byte, a high surrogate.
    bool oddBytePending() const { return odd_; }
    unsigned char oddByte() const { return oddByte_; }
    bool highSurrogatePending() const { return high_ != 0; }

private:
    std::size_t put(char16_t unit, char* out);

    bool odd_ = false;  // a unit's first byte is in oddByte_
    unsigned char oddByte_ = 0;
    char16_t high_ = 0;  // a high surrogate waiting for its pair
};

}  // namespace vesk
