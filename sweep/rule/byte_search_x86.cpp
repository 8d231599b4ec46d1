#include <immintrin.h>

#include "rule/search_kernel.h"

// The vector searches of x86-64 use GCC's and Clang's attributes and builtins.
namespace vesk {
namespace {

using namespace search;

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
const char* findMarkerLine(const char* first, const char* last, bool watchNul) {
    const Search search{first, last, watchNul};
    return watchNul ? findMarkerLineVector<true, kWide>(search, first)
                    : findMarkerLineVector<false, kWide>(search, first);
}

}  // namespace

std::vector<ByteSearch> vectorSearches() {
    std::vector<ByteSearch> searches;
    if (__builtin_cpu_supports("avx512bw") != 0) {
        searches.push_back({"AVX-512", findLineEndVector, findMarkerLine<true>});
    }
    if (__builtin_cpu_supports("avx2") != 0) {
        searches.push_back({"AVX2", findLineEndVector, findMarkerLine<false>});
    }
    return searches;
}

}  // namespace vesk
