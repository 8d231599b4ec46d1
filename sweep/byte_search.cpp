#include "byte_search.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

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
constexpr std::size_t kTail = kMarkerSize - 1;  // from a marker's start to its last byte
constexpr char kMarkerLast = MarkerFilter::marker.back();

constexpr auto isLineEnd = MarkerFilter::isLineEnd;
constexpr char kCr = MarkerFilter::cr;
constexpr char kLf = MarkerFilter::lf;

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

// A search of [from, last) for the scanner: the lowest place a marker line may start, and
// whether NULs are watched.
struct Search {
    const char* floor;
    const char* last;
    bool watchNul;

    // The start of the marker line whose marker this is, or null.
    const char* lineOf(const char* candidate) const {
        if (std::string_view(candidate, kMarkerSize) != MarkerFilter::marker) {
            return nullptr;
        }
        return MarkerFilter::markerLineStart(floor, candidate);
    }
};

// The marker's last byte alone filters the candidates: a number sign is rare in game logs, and
// the C library's memchr finds it with whatever vector unit the machine has. A marker line holds
// no NUL, so only a NUL before the marker line found can come first.
const char* findMarkerLinePortable(const Search& search, const char* from) {
    const char* line = nullptr;
    const char* tail = from + kTail;
    const char* const tailsEnd = search.last + kTail;
    while (tail < tailsEnd && line == nullptr) {
        const void* hit = std::memchr(tail, kMarkerLast, static_cast<std::size_t>(tailsEnd - tail));
        if (hit == nullptr) {
            break;
        }
        line = search.lineOf(static_cast<const char*>(hit) - kTail);
        tail = static_cast<const char*>(hit) + 1;
    }
    if (search.watchNul) {
        // A stamped line found here may begin before from, where NULs were looked for already.
        const char* const nulsEnd = line != nullptr ? std::max(line, from) : tailsEnd;
        if (const void* nul = std::memchr(from, 0, static_cast<std::size_t>(nulsEnd - from))) {
            return static_cast<const char*>(nul);
        }
    }
    return line;
}

// The first place to look again among the candidates of one stretch at p: each marker candidate
// by its bit in marks, each NUL at p + kTail by its bit in nuls.
template <typename Mask, typename FirstBit>
const char* checkStretch(const Search& search, const char* p, Mask marks, Mask nuls,
                         FirstBit firstBit) {
    const char* nul = nuls != 0 ? p + kTail + firstBit(nuls) : nullptr;
    for (; marks != 0; marks &= marks - 1) {
        const char* candidate = p + firstBit(marks);
        if (nul != nullptr && candidate > nul) {
            break;
        }
        if (const char* line = search.lineOf(candidate)) {
            return line;
        }
    }
    return nul;
}

// NULs in the first bytes, before the stretches' tails reach them.
const char* leadingNul(const Search& search, const char* from) {
    if (!search.watchNul) {
        return nullptr;
    }
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, from, sizeof low);
    std::memcpy(&high, from + kTail - sizeof high, sizeof high);
    if (!holdsByte(low, 0) && !holdsByte(high, 0)) {
        return nullptr;
    }
    return static_cast<const char*>(std::memchr(from, 0, kTail));
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
// the few it lets through are checked in full. The same loads find NULs.
__attribute__((target("avx2"))) __m256i tailAt(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + kTail));
}

__attribute__((target("avx2"))) unsigned maskOf(__m256i tail, char byte) {
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(tail, _mm256_set1_epi8(byte))));
}

template <bool kWatchNul>
__attribute__((target("avx2"))) const char* check(const Search& search, const char* p,
                                                  __m256i tail) {
    return checkStretch(search, p, maskOf(tail, kMarkerLast), kWatchNul ? maskOf(tail, 0) : 0u,
                        trailingZeros);
}

// The first 128 bytes from first on that hold a candidate, or where fewer than 128 are left.
// Nothing here calls out, so the constants stay in their registers.
template <bool kWatchNul>
__attribute__((target("avx2"))) const char* nextCandidates(const char* first, const char* last) {
    const __m256i sign = _mm256_set1_epi8(kMarkerLast);
    const __m256i zero = _mm256_setzero_si256();
    for (; last - first >= 128; first += 128) {
        const __m256i a = tailAt(first);
        const __m256i b = tailAt(first + 32);
        const __m256i c = tailAt(first + 64);
        const __m256i d = tailAt(first + 96);
        __m256i any = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpeq_epi8(a, sign), _mm256_cmpeq_epi8(b, sign)),
            _mm256_or_si256(_mm256_cmpeq_epi8(c, sign), _mm256_cmpeq_epi8(d, sign)));
        if constexpr (kWatchNul) {  // a NUL is the least byte there is
            const __m256i least = _mm256_min_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(c, d));
            any = _mm256_or_si256(any, _mm256_cmpeq_epi8(least, zero));
        }
        if (!_mm256_testz_si256(any, any)) {
            break;
        }
    }
    return first;
}

// The same with AVX-512, where each compare gives its mask at once.
template <bool kWatchNul>
__attribute__((target("avx512bw"))) const char* nextCandidates512(const char* first,
                                                                  const char* last) {
    const __m512i sign = _mm512_set1_epi8(kMarkerLast);
    for (; last - first >= 128; first += 128) {
        const __m512i a = _mm512_loadu_si512(first + kTail);
        const __m512i b = _mm512_loadu_si512(first + kTail + 64);
        __mmask64 any = _mm512_cmpeq_epi8_mask(a, sign) | _mm512_cmpeq_epi8_mask(b, sign);
        if constexpr (kWatchNul) {
            any |= _mm512_testn_epi8_mask(a, a) | _mm512_testn_epi8_mask(b, b);
        }
        if (any != 0) {
            break;
        }
    }
    return first;
}

template <bool kWatchNul, bool kWide>
__attribute__((target("avx2"))) const char* findMarkerLineVector(const Search& search,
                                                                 const char* first) {
    if (const char* nul = leadingNul(search, first)) {
        return nul;
    }
    for (;;) {
        first = kWide ? nextCandidates512<kWatchNul>(first, search.last)
                      : nextCandidates<kWatchNul>(first, search.last);
        if (search.last - first < 128) {
            break;
        }
        for (const char* const group = first; first != group + 128; first += 32) {
            if (const char* hit = check<kWatchNul>(search, first, tailAt(first))) {
                return hit;
            }
        }
    }
    for (; search.last - first >= 32; first += 32) {
        if (const char* hit = check<kWatchNul>(search, first, tailAt(first))) {
            return hit;
        }
    }
    return findMarkerLinePortable(search, first);
}

template <bool kWide>
const char* findMarkerLineVector(const Search& search, const char* first) {
    return search.watchNul ? findMarkerLineVector<true, kWide>(search, first)
                           : findMarkerLineVector<false, kWide>(search, first);
}

constexpr SearchUnit kVectorUnits[] = {SearchUnit::avx512, SearchUnit::avx2};
bool has(SearchUnit path) {
    return path == SearchUnit::avx512 ? __builtin_cpu_supports("avx512bw") != 0
                                      : __builtin_cpu_supports("avx2") != 0;
}

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

int firstBit(std::uint64_t bits) {
    return __builtin_ctzll(bits) / 4;
}

// As with AVX2, the marker's last byte picks the candidates, and the same loads find NULs.
const char* findMarkerLineNeon(const Search& search, const char* first) {
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

constexpr SearchUnit kVectorUnits[] = {SearchUnit::neon};
bool has(SearchUnit) {
    return true;  // every 64-bit ARM processor has NEON
}

#else

constexpr SearchUnit kVectorUnits[] = {SearchUnit::portable};
bool has(SearchUnit) {
    return true;
}

#endif

// The paths this machine has, fastest first, and the one taken.
const std::vector<SearchUnit> kUnits = [] {
    std::vector<SearchUnit> paths;
    for (const SearchUnit path : kVectorUnits) {
        if (has(path)) {
            paths.push_back(path);
        }
    }
    if (paths.empty() || paths.back() != SearchUnit::portable) {
        paths.push_back(SearchUnit::portable);
    }
    return paths;
}();
SearchUnit current = kUnits.front();

}  // namespace

const char* findLineEnd(const char* first, const char* last) {
    switch (current) {
#if defined(VESK_X86)
        case SearchUnit::avx512:
        case SearchUnit::avx2:
            return findLineEndVector(first, last);
#elif defined(VESK_NEON)
        case SearchUnit::neon:
            return findLineEndVector(first, last);
#endif
        default:
            return findLineEndPortable(first, last);
    }
}

const char* findMarkerLine(const char* first, const char* last, bool watchNul) {
    const Search search{first, last, watchNul};
    switch (current) {
#if defined(VESK_X86)
        case SearchUnit::avx512:
            return findMarkerLineVector<true>(search, first);
        case SearchUnit::avx2:
            return findMarkerLineVector<false>(search, first);
#elif defined(VESK_NEON)
        case SearchUnit::neon:
            return findMarkerLineNeon(search, first);
#endif
        default:
            return findMarkerLinePortable(search, first);
    }
}

const std::vector<SearchUnit>& searchUnits() {
    return kUnits;
}

void useSearchUnit(SearchUnit path) {
    current = path;
}

std::string_view nameOf(SearchUnit path) {
    constexpr std::string_view kNames[] = {"AVX-512", "AVX2", "NEON", "portable"};
    return kNames[static_cast<int>(path)];
}

}  // namespace vesk
