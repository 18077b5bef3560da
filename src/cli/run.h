// A command's batch run as its options ask: the ordered runner on as many
// jobs as the system allows, each entry's problem reported in order.
#pragma once

#include <functional>

#include "../convert/file_io.h"
#include "../os/native_platform.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "texts.h"

// How a batch ended: how many of its entries failed, and, when it was
// interrupted, how many it never started.
struct Tally {
  std::size_t failed = 0;
  std::size_t notStarted = 0;
  bool interrupted = false;
};

// What a command does with its batch: the suffix of its outputs, the job of
// each entry, the line -v gives of an entry done, and the summary of `plan`
// as it ended; what it says of a folder named without -r, and of another
// name it refuses, where it has more to say than that the name is none it
// takes.
struct BatchWork {
  const NativeChar* suffix;
  std::function<Outcome(Entry&, Workspace&)> job;
  std::function<NativeString(const Entry&)> done;
  std::function<NativeString(const Plan& plan, const Tally& tally)> summary;
  Text folder;
  std::function<NativeString(const Entry&)> refusedName = [](const Entry&) { return NativeString(); };
  // Before any file: whether the command can go on, having reported why not.
  std::function<bool(Report&)> ready = [](Report&) { return true; };
  // After the batch: what the command makes of it as a whole, given the
  // summary of the run, its problems reported.
  std::function<void(const Plan&, const NativeString&, Report&)> conclude = [](const Plan&, const NativeString&, Report&) {};
};

// A command's whole run, and its exit status: the standard streams made
// safe, the options read, then the batch that work(options, os) describes
// run and reported, what it makes of the batch as a whole, and the summary
// after more than one file; no file when it is not ready. When memory
// runs out outside the jobs, which say so for their own files, it says so
// for the command. Interrupted, it starts no more files, finishes those
// under way, and exits with the status the interruption asks for.
int RunCommand(const Command& command, const std::vector<NativeString>& args,
               BatchWork (*work)(const Options& options, NativePlatform& os));

// ", N skipped" for the other files met in the plan's folders, or nothing.
NativeString Skipped(const Plan& plan);

// ", N not started: interrupted" for an interrupted batch, or nothing.
NativeString Interrupted(const Tally& tally);

// Makes the folder the entry's output goes in, which only -o asks for;
// false, with the entry's problem saying why, when it cannot be made.
bool PrepareOutput(const Options& options, Entry& entry);

// Runs job(entry, workspace) for each entry of `plan` without a problem yet,
// on any thread, with that thread's workspace, and reports each in order: its problem, in words, when the job
// failed or gave it one, else the line done(entry) gives, for -v, after the
// files skipped before it, for -v too. Stops starting jobs once a report
// cannot be written or the program is interrupted; an entry not started
// then is marked so and not reported.
void RunPlan(const Options& options, Plan& plan, Report& report, const NativeChar* suffix,
             const std::function<Outcome(Entry&, Workspace&)>& job,
             const std::function<NativeString(const Entry&)>& done);
