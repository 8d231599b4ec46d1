#include <arm_neon.h>

#include "rule/search_kernel.h"

// The vector search of 64-bit ARM, which every such processor has.
namespace vesk {
namespace {

using namespace search;

// Sixteen byte comparisons narrowed to a nibble each of one 64-bit word, one bit kept per byte,
// so that counting trailing zeros finds the first.
std::uint64_t byteBits(uint8x16_t matches) {
    const uint8x8_t nibbles = vshrn_n_u16(vreinterpretq_u16_u8(matches), 4);
    return vget_lane_u64(vreinterpret_u64_u8(nibbles), 0) & 0x1111111111111111u;
}

const char* atBit(const char* p, std::uint64_t bits) {
    return p + __builtin_ctzll(bits) / 4;
}

const char* findLineEndVector(const char* first, const char* last) {
    const uint8x16_t cr = vdupq_n_u8(kCr);
    const uint8x16_t lf = vdupq_n_u8(kLf);
    for (; last - first >= 16; first += 16) {
        const uint8x16_t block = vld1q_u8(reinterpret_cast<const std::uint8_t*>(first));
        const std::uint64_t hits = byteBits(vorrq_u8(vceqq_u8(block, cr), vceqq_u8(block, lf)));
        if (hits != 0) {
            return atBit(first, hits);
        }
    }
    return findLineEndPortable(first, last);
}

int firstBit(std::uint64_t bits) {
    return __builtin_ctzll(bits) / 4;
}

// As with AVX2, the marker's last byte picks the candidates, and the same loads find NULs.
const char* findMarkerLineNeon(const char* first, const char* last, bool watchNul) {
    const Search search{first, last, watchNul};
    if (const char* nul = leadingNul(search, first)) {
        return nul;
    }
    const uint8x16_t sign = vdupq_n_u8(static_cast<std::uint8_t>(kMarkerLast));
    const uint8x16_t zero = vdupq_n_u8(0);
    for (; search.last - first >= 16; first += 16) {
        const uint8x16_t tail = vld1q_u8(reinterpret_cast<const std::uint8_t*>(first + kTail));
        const std::uint64_t marks = byteBits(vceqq_u8(tail, sign));
        const std::uint64_t nuls = search.watchNul ? byteBits(vceqq_u8(tail, zero)) : 0;
        if ((marks | nuls) != 0) {
            if (const char* hit = checkStretch(search, first, marks, nuls, firstBit)) {
                return hit;
            }
        }
    }
    return findMarkerLinePortable(search, first);
}

}  // namespace

std::vector<ByteSearch> vectorSearches() {
    return {{"NEON", findLineEndVector, findMarkerLineNeon}};
}

}  // namespace vesk
