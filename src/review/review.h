// --review DIR: a pack seen before it is trusted. After the batch, in DIR:
// review.html, one page a browser opens offline with each carrier packed
// (or, with -n, that would be) before and after and its changes marked, each
// refused with its reason; review.json, the same for scripts; and in
// review-pictures/ the pictures the page shows, numbered, never named after
// a carrier.
#pragma once

#include <vector>

#include "model.h"

// Why the review cannot be written into `folder`, in words: a file there
// under one of its names that --review did not make. Empty when nothing
// stands in the way; the folders are made.
NativeString PrepareReview(Platform& os, const NativeString& folder);

// Writes review.json, then review.html, each through a staging file; what
// went wrong, in words.
std::vector<NativeString> WriteReview(Platform& os, const Review& review);
