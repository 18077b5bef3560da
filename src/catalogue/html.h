// What the pages the tools write share: names and words as HTML text, and a
// head whose policy runs the page's own style and script by their hashes
// alone, the rules of the page, its header and controls among that style.
#pragma once

#include <string>
#include <string_view>

#include "../native.h"
#include "text_file.h"

// A text of names or words for a page: escaped as the command line shows
// it, then for HTML, in text and in quoted attributes alike.
std::string Html(const NativeString& text);

// The policy's source for the inline style or script `text`: 'sha256-...'.
std::string HashSource(std::string_view text);

// What a page's head tells of it.
struct PageHead {
  std::string_view mark;       // its first lines, which tell it as the tool's own
  std::string generator;       // the tool and its version
  NativeString title;
  std::string_view style;      // its own rules, after those every page has
  std::string_view script;
  std::string_view body;       // the body's attributes
};

// Writes the page up to and including its <body>, in the language of the
// tools' words.
void WritePageHead(const PageHead& head, TextOut& out);
