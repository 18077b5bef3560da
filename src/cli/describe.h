// What the tools say of their work in words: why an entry failed, what a
// carried bitmap is, why a picture does not go back.
#pragma once

#include <vector>

#include "../picture/conversion.h"
#include "../picture/pack.h"
#include "plan.h"

// What went wrong with an entry's outcome, its output `base` + `suffix`, in words.
NativeString OutcomeProblem(const Entry& entry, const NativeChar* suffix);

// Why a carried bitmap shows no picture to write or take back, in words.
NativeString BitmapTrouble(const BitmapInfo& bitmap);
// Why a carried bitmap shows no picture, `trouble` and `fault` as a canvas found it, in words.
NativeString CanvasTrouble(Canvas::Trouble trouble, RleFault fault, const BitmapInfo& bitmap);
// Whether the bitmap has rows of no pixels, or none of them.
bool HasNoPixels(const BitmapInfo& bitmap);

// Why `output`, judged so against its carrier, is kept: it shows another
// picture, or is no picture.
NativeString KeptLine(const Judged& judged, const NativeString& output);
// That `output`, judged so, was replaced (or with `checkOnly` would be),
// and where it was kept.
NativeString ReplacedLine(const Judged& judged, const NativeString& output, const NativeString& backup, bool checkOnly);
// Why the picture or output at `path` could not be read, in words.
NativeString UnreadableProblem(const PictureProblem& problem, const NativeString& path);

// The bitmap's depth as an editor needs to know it: the length of its
// palette, or the widths of its channels under their masks.
NativeString DepthText(const BitmapInfo& bitmap);

// What a checked file carries, for --dry-run --verbose.
NativeString Description(const Entry& entry);

// Why the picture `picture` did not go back into its carrier, in words.
NativeString RefusalProblem(const PackOutcome& outcome, const NativeString& picture);
// The colours a palette lacks that most pixels had, a line each with the nearest entry, for -v.
std::vector<NativeString> OffColourLines(const PatchResult& patch);
// The palette entries a picture changes, or would, a line each, for -v.
std::vector<NativeString> PaletteLines(const PatchResult& patch);
// Palette entries as a person writes them: "0-15, 255".
NativeString EntryList(const EntrySet& entries);
// What --nearest moved visibly far for a carrier packed from `picture`, a
// line and one for each of the commonest such colours; none when it moved none so far.
std::vector<NativeString> FarColourLines(const PatchResult& patch, const NativeString& carrier,
                                         const NativeString& picture);
