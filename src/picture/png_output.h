// The PNG output of a conversion: the picture the converted bitmap shows,
// as indices on its own palette, RGB, or RGBA where the bitmap's header
// gives an alpha mask.
#pragma once

#include <cstdint>
#include <span>

#include "../convert/bitmap_rows.h"
#include "../convert/file_io.h"
#include "canvas.h"

// Writes the PNG file of `payload`, whose rows are `rows`, to `target`
// through `buffer`: kRefused for a payload that shows no picture,
// kOutOfMemory, or kIoError when the target fails.
Error WritePngOutput(std::span<std::uint8_t> payload, const BitmapRows& rows, OutputTarget& target,
                     std::span<std::uint8_t> buffer);
