// A command's batch run as its options ask: the ordered runner on as many
// jobs as the system allows, each entry's problem reported in order.
#pragma once

#include <functional>

#include "../convert/file_io.h"
#include "../os/native_platform.h"
#include "options.h"
#include "plan.h"
#include "report.h"

// Makes the standard streams safe and runs `run`; when memory runs out
// outside the jobs, which say so for their own files, says so for the command.
int RunSafely(const Command& command, const std::vector<NativeString>& args,
              int (*run)(const std::vector<NativeString>& args));

// Makes the folder the entry's output goes in, which only -o asks for;
// false, with the entry's problem saying why, when it cannot be made.
bool PrepareOutput(const Options& options, Entry& entry);

// Runs job(entry, workspace) for each entry of `plan` without a problem yet,
// on any thread, with that thread's workspace, and reports each in order: its problem, in words, when the job
// failed or gave it one, else the line done(entry) gives, for -v. Stops
// starting jobs once a report cannot be written.
void RunPlan(const Options& options, Plan& plan, Report& report, const NativeChar* suffix,
             const std::function<Outcome(Entry&, Workspace&)>& job,
             const std::function<NativeString(const Entry&)>& done);
