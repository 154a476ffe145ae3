// The properties a fuzz target checks on each input: a broken one says which and where, and stops
// the run so that libFuzzer saves the input as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void CheckProperty(bool condition, const char* what, int line) {
  if (condition) return;
  std::fprintf(stderr, "property broken at line %d: %s\n", line, what);
  std::abort();
}

#define CHECK(condition) CheckProperty((condition), #condition, __LINE__)
