// Paths as text, split and joined as the system does it, with nothing asked
// of the file system.
#pragma once

#include <vector>

#include "../native.h"

// `name` below `folder`.
NativeString JoinPath(const NativeString& folder, const NativeString& name);
// The folder `path` lies in, empty for a bare name.
NativeString FolderOf(const NativeString& path);
// The last name of `path`.
NativeString NameOf(const NativeString& path);
// Whether `name` holds a separator, and so names more than one thing.
bool HoldsSeparator(const NativeString& name);
// The names of `path` between its separators, in order: one that begins
// with a separator has an empty first name, its root; separators at its end
// give none.
std::vector<NativeString> NamesOf(const NativeString& path);
