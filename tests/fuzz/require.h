// The fuzz targets' one check.
#pragma once

#include <cstdio>
#include <cstdlib>

// Aborts with `what` on stderr unless `holds`, so the fuzzer keeps the input.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
