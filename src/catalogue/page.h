// index.html: a whole run on one page that a browser opens offline.
#pragma once

#include <string_view>

#include "record.h"
#include "text_file.h"

// How the page begins when --catalogue made it.
inline constexpr std::string_view kPageMark = "<!DOCTYPE html>\n<!-- made by quillane-convert -->\n";

// Writes the page of `run`, titled `title`, to `out`.
void WritePage(const CatalogueRun& run, const NativeString& title, TextOut& out);
