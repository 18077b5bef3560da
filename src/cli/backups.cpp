#include "backups.h"

#include <algorithm>

#include "../convert/job.h"
#include "../os/paths.h"
#include "../os/system.h"
#include "../picture/picture.h"
#include "texts.h"

namespace {

constexpr const NativeChar* kDefaultSuffix = NATIVE_TEXT("~");

struct ControlName {
  const NativeChar* name;
  BackupControl control;
};

// In the order GNU's tools list them.
constexpr ControlName kControls[] = {
    {NATIVE_TEXT("none"), BackupControl::kNone},         {NATIVE_TEXT("off"), BackupControl::kNone},
    {NATIVE_TEXT("simple"), BackupControl::kSimple},     {NATIVE_TEXT("never"), BackupControl::kSimple},
    {NATIVE_TEXT("existing"), BackupControl::kExisting}, {NATIVE_TEXT("nil"), BackupControl::kExisting},
    {NATIVE_TEXT("numbered"), BackupControl::kNumbered}, {NATIVE_TEXT("t"), BackupControl::kNumbered},
};

// The control `value` names: itself, or the start of names that all mean
// one control; the usage error naming `shown` otherwise.
NativeString MatchControl(const NativeString& value, const NativeString& shown, BackupControl* control) {
  bool found = false, ambiguous = false;
  for (const ControlName& candidate : kControls) {
    const NativeString name = candidate.name;
    if (name == value) {
      *control = candidate.control;
      return {};
    }
    if (!name.starts_with(value)) continue;
    ambiguous = ambiguous || (found && *control != candidate.control);
    found = true;
    *control = candidate.control;
  }
  if (found && !ambiguous) return {};
  return Say(ambiguous ? Text::kAmbiguousValue : Text::kBadValue, {shown, value}) + Say(Text::kBackupControls);
}

// Whether a backup named with `suffix` may stand where the tools put a file
// of their own: a carrier, its picture or output, or a staging file. Letter
// case is ignored, as some systems ignore it in names.
bool TakesToolsName(const NativeString& suffix) {
  NativeString name = NATIVE_TEXT("x.gif");
  name += suffix;
  for (NativeChar& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<NativeChar>(c - 'A' + 'a');
  }
  const auto strip = [&](const NativeChar* ending) {
    if (name.ends_with(ending)) name.resize(name.size() - NativeString(ending).size());
  };
  strip(kStagingSuffix);
  strip(kBmpSuffix);
  strip(kPngSuffix);
  return name.ends_with(NATIVE_TEXT(".gif"));
}

}  // namespace

NativeString ChooseBackups(const NativeString& control, const NativeString* suffix, BackupPolicy* policy) {
  const bool given = !control.empty();
  const NativeString value = given ? control : EnvironmentValue(NATIVE_TEXT("VERSION_CONTROL"));
  policy->control = BackupControl::kExisting;
  if (!value.empty()) {
    const NativeString problem =
        MatchControl(value, given ? NATIVE_TEXT("--backup") : NATIVE_TEXT("$VERSION_CONTROL"), &policy->control);
    if (!problem.empty()) return problem;
  }
  policy->suffix = suffix ? *suffix : EnvironmentValue(NATIVE_TEXT("SIMPLE_BACKUP_SUFFIX"));
  if (policy->suffix.empty() || HoldsSeparator(policy->suffix)) policy->suffix = NativeString(kDefaultSuffix);
  if (policy->control != BackupControl::kNone && TakesToolsName(policy->suffix))
    return Say(Text::kBadSuffix, {suffix ? NATIVE_TEXT("--suffix") : NATIVE_TEXT("$SIMPLE_BACKUP_SUFFIX"), policy->suffix});
  return {};
}

Result<BackupName> NameBackup(const BackupPolicy& policy, const NativeString& output) {
  const BackupName simple{output + policy.suffix, false};
  if (policy.control == BackupControl::kSimple) return {simple};
  const NativeString folder = FolderOf(output);
  const Result<std::vector<FolderEntry>> listed = ListFolder(folder.empty() ? NATIVE_TEXT(".") : folder);
  if (!listed.Ok()) return {{}, listed.error};
  // NAME.~N~, N of digits without a leading 0, as GNU's tools count them.
  const NativeString start = NameKey(NameOf(output) + NATIVE_TEXT(".~"));
  NativeString highest;
  for (const FolderEntry& entry : listed.value) {
    const NativeString name = NameKey(entry.name);
    if (name.size() < start.size() + 2 || !name.starts_with(start) || name.back() != '~') continue;
    const NativeString digits = name.substr(start.size(), name.size() - start.size() - 1);
    if (digits.front() == '0' || !std::all_of(digits.begin(), digits.end(), [](NativeChar c) { return c >= '0' && c <= '9'; }))
      continue;
    if (digits.size() > highest.size() || (digits.size() == highest.size() && digits > highest)) highest = digits;
  }
  if (highest.empty() && policy.control == BackupControl::kExisting) return {simple};
  return {NextNumbered({output + NATIVE_TEXT(".~") + highest + NATIVE_TEXT("~"), true})};
}
