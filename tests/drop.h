// The window's conversion of one dropped file, the notices it shows kept.
#pragma once

#include <vector>

#include "../src/shell/convert_file.h"

inline Outcome DropFile(Platform& os, const NativeString& path, std::vector<NativeString>* notices) {
  return ConvertFile(os, path, [&](const NativeString& text) { notices->push_back(text); });
}
