// Whether the processor has SSE2, for the scans that look at sixteen bytes at
// a time: every x86-64 one, and every one that 32-bit Windows has needed since
// Windows 8; older ones take the plain loops.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#define OTP_SCAN_SSE2 1

inline bool HasSse2() {
#ifdef __x86_64__
  return true;
#else
  static const bool has = __builtin_cpu_supports("sse2");
  return has;
#endif
}
#endif
