// The staging files this process has in flight, kept where a handler that
// ends the process at once can remove them without taking a lock or memory.
#pragma once

#include "../convert/platform.h"

// Notes that the staging file held by `hold` and named `path` is this
// process's own from now on. When every place is taken, the file is not
// noted, and a process ended at once leaves its name behind.
void EnterInFlight(FileHandle hold, const NativeString& path);

// Takes the staging file held by `hold` back before it is renamed or
// removed. Once a handler has begun removing it, this never returns: the
// process is ending.
void LeaveInFlight(FileHandle hold);

// Calls remove(hold, path) for each staging file in flight; for a handler
// that ends the process right after, so none of them is taken back.
void RemoveInFlight(void (*remove)(FileHandle hold, const NativeChar* path));
