// The window's conversion of one dropped file: beside the source, as BMP,
// with a notice naming the file for each failure.
#pragma once

#include <functional>

#include "../convert/job.h"

// Puts one notice in front of the user and returns once it has been seen.
using ShowNotice = std::function<void(const NativeString& text)>;

// The window's message for a failure; nullptr for kOk.
const NativeChar* MessageText(Status status);

// Shows "ファイル：<path>\n<message>".
void ShowFileError(const ShowNotice& show, const NativeString& path, Status status);

// Converts `path` to `path` + ".bmp" beside it, showing a notice on failure,
// and one naming the output where an earlier one shows another picture
// than the carrier, or no picture: that one is kept, as it may be an edit.
Outcome ConvertFile(Platform& os, const NativeString& path, const ShowNotice& show);
