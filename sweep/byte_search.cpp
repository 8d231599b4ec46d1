#include "byte_search.h"

#include <cstdint>
#include <cstring>

#include "sweep/marker_filter.h"

// The vector paths use GCC's and Clang's attributes and builtins; other compilers (MSVC) take the
// portable path.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VESK_X86 1
#include <immintrin.h>
#elif defined(__GNUC__) && defined(__aarch64__)
#define VESK_NEON 1
#include <arm_neon.h>
#endif

namespace vesk {
namespace {

constexpr std::size_t kMarkerSize = MarkerFilter::marker.size();
constexpr char kMarkerLast = MarkerFilter::marker.back();

constexpr auto isLineEnd = MarkerFilter::isLineEnd;
constexpr char kCr = MarkerFilter::cr;
constexpr char kLf = MarkerFilter::lf;

bool isMarkerAt(const char* p) {
    return isLineEnd(p[-1]) && MarkerFilter::isMarkerLine({p, kMarkerSize});
}

const char* findLineEndScalar(const char* first, const char* last) {
    for (; first != last; ++first) {
        if (isLineEnd(*first)) {
            return first;
        }
    }
    return last;
}

// Eight bytes at a time in an ordinary register: a byte of the word equals b when the word
// xor b in every byte has a zero byte, which the classic borrow trick detects.
bool holdsByte(std::uint64_t word, unsigned char b) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    const std::uint64_t x = word ^ (kOnes * b);
    return ((x - kOnes) & ~x & kHighs) != 0;
}

const char* findLineEndPortable(const char* first, const char* last) {
    for (; last - first >= 8; first += 8) {
        std::uint64_t word;
        std::memcpy(&word, first, sizeof word);
        if (holdsByte(word, kCr) || holdsByte(word, kLf)) {
            return findLineEndScalar(first, first + 8);
        }
    }
    return findLineEndScalar(first, last);
}

// The marker's last byte alone filters the candidates: a number sign is rare in game logs, and
// the C library's memchr finds it with whatever vector unit the machine has.
const char* findMarkerLinePortable(const char* first, const char* last) {
    const char* tail = first + kMarkerSize - 1;
    const char* const tailsEnd = last + kMarkerSize - 1;
    while (tail < tailsEnd) {
        const void* hit = std::memchr(tail, kMarkerLast, static_cast<std::size_t>(tailsEnd - tail));
        if (hit == nullptr) {
            return last;
        }
        const char* candidate = static_cast<const char*>(hit) - (kMarkerSize - 1);
        if (isMarkerAt(candidate)) {
            return candidate;
        }
        tail = static_cast<const char*>(hit) + 1;
    }
    return last;
}

#if defined(VESK_X86)

int trailingZeros(unsigned mask) {
    return __builtin_ctz(mask);
}

__attribute__((target("avx2"))) const char* findLineEndVector(const char* first, const char* last) {
    const __m256i cr = _mm256_set1_epi8(kCr);
    const __m256i lf = _mm256_set1_epi8(kLf);
    while (last - first >= 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first));
        const __m256i hits =
            _mm256_or_si256(_mm256_cmpeq_epi8(block, cr), _mm256_cmpeq_epi8(block, lf));
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hits));
        if (mask != 0) {
            return first + trailingZeros(mask);
        }
        first += 32;
    }
    return findLineEndPortable(first, last);
}

// The marker's last byte alone filters the candidates: a number sign is rare in game logs, and
// the few it lets through are checked in full.
__attribute__((target("avx2"))) __m256i markerTails(const char* p) {
    const __m256i tail = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + kMarkerSize - 1));
    return _mm256_cmpeq_epi8(tail, _mm256_set1_epi8(kMarkerLast));
}

__attribute__((target("avx2"))) unsigned candidateMask(__m256i tails) {
    return static_cast<unsigned>(_mm256_movemask_epi8(tails));
}

// The first marker among the candidates of the 32 bytes at p, or nullptr.
const char* checkCandidates(const char* p, unsigned mask) {
    for (; mask != 0; mask &= mask - 1) {
        const char* candidate = p + trailingZeros(mask);
        if (isMarkerAt(candidate)) {
            return candidate;
        }
    }
    return nullptr;
}

__attribute__((target("avx2"))) const char* findMarkerLineVector(const char* first,
                                                                 const char* last) {
    while (last - first >= 128) {
        const __m256i a = markerTails(first);
        const __m256i b = markerTails(first + 32);
        const __m256i c = markerTails(first + 64);
        const __m256i d = markerTails(first + 96);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
        if (!_mm256_testz_si256(any, any)) {
            const __m256i blocks[] = {a, b, c, d};
            for (int i = 0; i < 4; ++i) {
                if (const char* hit = checkCandidates(first + 32 * i, candidateMask(blocks[i]))) {
                    return hit;
                }
            }
        }
        first += 128;
    }
    while (last - first >= 32) {
        if (const char* hit = checkCandidates(first, candidateMask(markerTails(first)))) {
            return hit;
        }
        first += 32;
    }
    return findMarkerLinePortable(first, last);
}

const bool hasVector = __builtin_cpu_supports("avx2");

#elif defined(VESK_NEON)

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

// As with AVX2, the marker's last byte picks the candidates.
const char* findMarkerLineVector(const char* first, const char* last) {
    const uint8x16_t sign = vdupq_n_u8(static_cast<std::uint8_t>(kMarkerLast));
    for (; last - first >= 16; first += 16) {
        const auto* tails = reinterpret_cast<const std::uint8_t*>(first + kMarkerSize - 1);
        for (std::uint64_t hits = byteBits(vceqq_u8(vld1q_u8(tails), sign)); hits != 0;
             hits &= hits - 1) {
            if (const char* candidate = atBit(first, hits); isMarkerAt(candidate)) {
                return candidate;
            }
        }
    }
    return findMarkerLinePortable(first, last);
}

const bool hasVector = true;  // every 64-bit ARM processor has NEON

#else

const bool hasVector = false;
const char* findLineEndVector(const char* first, const char* last) {
    return findLineEndPortable(first, last);
}
const char* findMarkerLineVector(const char* first, const char* last) {
    return findMarkerLinePortable(first, last);
}

#endif

bool useVector = hasVector;

}  // namespace

const char* findLineEnd(const char* first, const char* last) {
    return useVector ? findLineEndVector(first, last) : findLineEndPortable(first, last);
}

const char* findMarkerLine(const char* first, const char* last) {
    return useVector ? findMarkerLineVector(first, last) : findMarkerLinePortable(first, last);
}

bool hasVectorSearch() {
    return hasVector;
}

void useVectorSearch(bool use) {
    useVector = use && hasVector;
}

}  // namespace vesk
