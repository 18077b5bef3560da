// A test seam: QUILLANE_STOP_AT lists steps, "STEP" or "STEP@NAME", split by
// commas, at each of which the program pauses once, as a slow one would, so
// that a test can act beside it at a known point: stopped, on POSIX systems,
// until the test lets it go; on Windows, where a process cannot stop itself
// so, waiting for an interruption. A NAME restricts the step to the staging
// file whose last names those are.
#pragma once

#include "../native.h"

// Whether the program is to pause at `step` on its way with the staging file
// `staging`: true once for each listed step that these meet.
bool PauseWanted(const char* step, const NativeString& staging);
