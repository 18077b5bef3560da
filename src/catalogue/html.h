// What the pages a run writes share: names and words as HTML text, and the
// Content-Security-Policy source of a style or script, which runs by its
// hash alone.
#pragma once

#include <string>
#include <string_view>

#include "../native.h"

// A text of names or words for a page: escaped as the command line shows
// it, then for HTML, in text and in quoted attributes alike.
std::string Html(const NativeString& text);

// The policy's source for the inline style or script `text`: 'sha256-...'.
std::string HashSource(std::string_view text);
