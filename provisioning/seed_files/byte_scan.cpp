#include "provisioning/seed_files/byte_scan.h"

#include <cstring>

#include "provisioning/seed_files/sse2_support.h"

namespace {

const char* FindAnyOfPlain(const char* from, const char* end, std::string_view set) {
  for (; from < end; ++from) {
    for (const char c : set) {
      if (*from == c) return from;
    }
  }
  return end;
}

#ifdef OTP_SCAN_SSE2
__attribute__((target("sse2"))) inline __m128i Load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Each place is checked for the needle's first and last byte before the
// whole is compared, 32 places at a time: in the seed files a place passes
// that nearly only where the needle is.
__attribute__((target("sse2"))) const char* FindTextSse2(const char* from, const char* end, std::string_view needle) {
  const std::size_t last = needle.size() - 1;
  const __m128i first = _mm_set1_epi8(needle[0]), final = _mm_set1_epi8(needle[last]);
  const char* at = from;
  for (; end - at >= static_cast<std::ptrdiff_t>(32 + last); at += 32) {
    const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(Load(at), first), _mm_cmpeq_epi8(Load(at + last), final));
    const __m128i high =
        _mm_and_si128(_mm_cmpeq_epi8(Load(at + 16), first), _mm_cmpeq_epi8(Load(at + 16 + last), final));
    if (_mm_movemask_epi8(_mm_or_si128(low, high)) == 0) continue;
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(low)) | static_cast<unsigned>(_mm_movemask_epi8(high))
                                                                        << 16;
    while (hits != 0) {
      const char* candidate = at + __builtin_ctz(hits);
      if (std::memcmp(candidate, needle.data(), needle.size()) == 0) return candidate;
      hits &= hits - 1;
    }
  }
  const std::string_view rest(at, static_cast<std::size_t>(end - at));
  const std::size_t found = rest.find(needle);
  return found == std::string_view::npos ? end : at + found;
}

__attribute__((target("sse2"))) const char* FindAnyOfSse2(const char* from, const char* end, std::string_view set) {
  // A set of fewer than four repeats its first byte.
  const __m128i b0 = _mm_set1_epi8(set[0]);
  const __m128i b1 = _mm_set1_epi8(set[set.size() > 1 ? 1 : 0]);
  const __m128i b2 = _mm_set1_epi8(set[set.size() > 2 ? 2 : 0]);
  const __m128i b3 = _mm_set1_epi8(set[set.size() > 3 ? 3 : 0]);
  const char* at = from;
  for (; end - at >= 16; at += 16) {
    const __m128i x = Load(at);
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, b0), _mm_cmpeq_epi8(x, b1)),
                                     _mm_or_si128(_mm_cmpeq_epi8(x, b2), _mm_cmpeq_epi8(x, b3)));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return at + __builtin_ctz(mask);
  }
  return FindAnyOfPlain(at, end, set);
}

// How many of the sixteen bytes at `at` are plain, up to 16.
__attribute__((target("sse2"))) unsigned SixteenPlain(const char* at) {
  const __m128i x = Load(at);
  // Signed compare: 0x20..0x7F is above 0x1F, bytes from 0x80 are negative.
  const __m128i printable = _mm_cmpgt_epi8(x, _mm_set1_epi8(0x1F));
  const __m128i markup = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('&')),
                                      _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(0x02)), _mm_set1_epi8('>')));
  const unsigned plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(markup, printable)));
  return plain == 0xFFFF ? 16 : static_cast<unsigned>(__builtin_ctz(~plain));
}
#endif

}  // namespace

const char* FindText(const char* from, const char* end, std::string_view needle) {
#ifdef OTP_SCAN_SSE2
  if (needle.size() >= 2 && HasSse2()) return FindTextSse2(from, end, needle);
#endif
  const std::string_view rest(from, static_cast<std::size_t>(end - from));
  const std::size_t found = rest.find(needle);
  return found == std::string_view::npos ? end : from + found;
}

const char* FindAnyOf(const char* from, const char* end, std::string_view set) {
#ifdef OTP_SCAN_SSE2
  if (HasSse2()) return FindAnyOfSse2(from, end, set);
#endif
  return FindAnyOfPlain(from, end, set);
}

const char* SkipPlainText(const char* from, const char* end) {
#ifdef OTP_SCAN_SSE2
  if (HasSse2()) {
    while (end - from >= 16) {
      const unsigned plain = SixteenPlain(from);
      from += plain;
      if (plain < 16) break;  // a tab is plain too: the loop below decides
    }
  }
#endif
  while (from < end && IsPlainTextByte(*from)) ++from;
  return from;
}
