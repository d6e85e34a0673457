// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// KORVANE_EXPECT(condition, words) checks a contract a header states in `words` (which thread
// may call, what must come first). The checked and sanitizer builds check it (KORVANE_CONTRACTS
// is 1) and stop the program at the first violation with the header's words and the place, so a
// test run cannot pass over one; Release compiles it out, condition and all.
#ifndef KORVANE_CONTRACTS
#define KORVANE_CONTRACTS 0
#endif

namespace korvane {

[[noreturn]] inline void ContractViolated(const char* words, const char* file, int line) {
  std::fprintf(stderr, "contract violated at %s:%d: %s\n", file, line, words);
  std::fflush(stderr);
  std::abort();
}

}  // namespace korvane

#if KORVANE_CONTRACTS
#define KORVANE_EXPECT(condition, words) \
  ((condition) ? static_cast<void>(0) : ::korvane::ContractViolated(words, __FILE__, __LINE__))
#else
#define KORVANE_EXPECT(condition, words) static_cast<void>(sizeof((condition) ? 1 : 0))
#endif
