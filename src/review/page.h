// review.html: a pack on one page that a browser opens offline, each
// carrier before and after at one zoom, its changes marked.
#pragma once

#include <string>
#include <string_view>

#include "../catalogue/text_file.h"
#include "model.h"
#include "version.h"

inline constexpr const char* kReviewVersion = QUILLANE_PRODUCT_VERSION_STR " (" QUILLANE_FILE_VERSION_STR ")";
inline constexpr const NativeChar* kReviewPageName = NATIVE_TEXT("review.html");
// How the page begins when --review made it.
inline constexpr std::string_view kReviewPageMark = "<!DOCTYPE html>\n<!-- made by quillane-pack --review -->\n";

// Writes the page of `review`, made on `date`, to `out`.
void WriteReviewPage(const Review& review, const std::string& date, TextOut& out);
