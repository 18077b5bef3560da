// The window's conversion of one dropped file on a test platform, which keeps
// the notices it shows.
#pragma once

#include "../src/shell/convert_file.h"

template <typename TestingPlatform>
Outcome DropFile(TestingPlatform& os, const NativeString& path) {
  return ConvertFile(os, path, [&](const NativeString& text) { os.notices.push_back(text); });
}
