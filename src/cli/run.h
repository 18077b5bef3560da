// What every tool's run shares: its start, the batch on as many jobs as the
// system allows with each entry's problem reported in order, and the sums
// of how it ended.
#pragma once

#include <functional>

#include "../convert/file_io.h"
#include "options.h"
#include "plan.h"
#include "report.h"
#include "texts.h"

// A tool's whole run, and its exit status: the standard streams made safe,
// interruptions caught, the language chosen and the options read, then
// `run`. When memory runs out outside the jobs, which say so for their own
// files, it says so for the tool.
int RunTool(const Command& command, const std::vector<NativeString>& args, int (*run)(const Options& options));

// Puts in words each entry of `plan` refused for its name: a folder, which
// `folder` tells what to do with, or a name of no carrier; with
// `pictures`, a picture named for its carrier names that carrier.
void SayRefusedNames(Plan& plan, Text folder, bool pictures);

// Makes the folder the entry's output goes in, which only -o asks for;
// false, with the entry's problem saying why, when it cannot be made.
bool PrepareOutput(const Options& options, Entry& entry);

// Where `output`, the entry's, is kept when it is replaced, where backups
// are asked for and something stands there; none, with the entry's problem
// saying why, when its name cannot be had.
Result<BackupName> PrepareBackup(const Options& options, Entry& entry, const NativeString& output);

// The job of entry i of a plan, on a thread with `workspace` its own.
using EntryJob = std::function<Outcome(std::size_t i, Workspace& workspace)>;

// Runs the job of each entry of `plan` without a problem yet, on any
// thread, and reports each in order: its problem, in words, when the job
// failed or gave it one, else its warnings and, for -v, its `done` line,
// after the files skipped before it, for -v too. Stops starting jobs once a
// report cannot be written or the program is interrupted; an entry not
// started then is marked so and not reported.
void RunPlan(const Options& options, Plan& plan, Report& report, const NativeChar* suffix, const EntryJob& job);

// How a batch ended: how many of its entries failed, were found no carrier
// at all, and, when it was interrupted, the exit status it asks for and how
// many it never started.
struct Tally {
  std::size_t failed = 0;
  std::size_t noCarrier = 0;
  std::size_t notStarted = 0;
  int interrupted = 0;  // 128 + the signal's number, or 0
};
// Read once, so that the summary and the exit status tell the same.
Tally TallyOf(const Plan& plan, const Report& report);

// ", N skipped" for the other files met in the plan's folders, and ", N not
// carriers" for the .gif files among them that are no carrier, or nothing.
NativeString Skipped(const Plan& plan, const Tally& tally);

// ", N not started: interrupted" for an interrupted batch, or nothing.
NativeString Interrupted(const Tally& tally);

// The summary after more than one file, and the exit status of the run.
int Conclude(const Plan& plan, const Tally& tally, const NativeString& summary, Report& report);
