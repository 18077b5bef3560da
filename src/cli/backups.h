// Backups of the files quillane-pack replaces, asked for and named as GNU
// cp, mv and install do it: -b, --backup[=CONTROL] and -S SUFFIX, or the
// VERSION_CONTROL and SIMPLE_BACKUP_SUFFIX environment variables, give
// NAME~ or NAME.~N~ beside the file.
#pragma once

#include "../convert/file_io.h"

enum class BackupControl { kNone, kSimple, kExisting, kNumbered };

struct BackupPolicy {
  BackupControl control = BackupControl::kNone;
  NativeString suffix;  // of a simple backup's name
};

// The backups asked for with `control`, as --backup gave it (empty: as
// VERSION_CONTROL says, else `existing`), a name of one or a prefix of
// names of one meaning; and `suffix`, as -S gave it, else as
// SIMPLE_BACKUP_SUFFIX says, where one that is empty or holds a separator
// is "~". Empty when they are valid, else the usage error in words.
NativeString ChooseBackups(const NativeString& control, const NativeString* suffix, BackupPolicy* policy);

// The name of the backup of `output` under `policy` (not kNone): `output`
// and the suffix, or `output`.~N~, N one past the largest such number in
// its folder, where the policy numbers backups or, `existing`, where
// numbered ones are there already. Fails when the folder cannot be read.
Result<BackupName> NameBackup(const BackupPolicy& policy, const NativeString& output);
