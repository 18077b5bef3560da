// The pictures of a carrier on the review page: before and after, as the
// converter writes them, and the pixels that look different marked.
#pragma once

#include <span>
#include <vector>

#include "model.h"

// The kinds of picture, as their names end: review-pictures/<number>-before.png.
inline constexpr const char* kReviewKinds[] = {"before", "after", "tint", "outline"};

// Writes the pictures of `carrier` into the review's `folder`: the carrier
// as it is and as it would be written, its payloads `before` and `after`,
// as PNG the way the converter writes them, and the pixels that look
// different after (or are new) tinted, and outlined by the pixels around
// them; fills in what changed, or why there are no pictures.
void WriteReviewPictures(Platform& os, const NativeString& folder, std::vector<std::uint8_t>& before,
                         std::vector<std::uint8_t>& after, ReviewedCarrier& carrier, std::span<std::uint8_t> buffer);

// The name of a picture of carrier `number` below the review's folder, `/` between.
NativeString ReviewPictureName(std::size_t number, const char* kind);
