#include "paths.h"

#include <filesystem>

namespace fs = std::filesystem;

NativeString JoinPath(const NativeString& folder, const NativeString& name) { return (fs::path(folder) / name).native(); }

NativeString FolderOf(const NativeString& path) { return fs::path(path).parent_path().native(); }

NativeString NameOf(const NativeString& path) { return fs::path(path).filename().native(); }
