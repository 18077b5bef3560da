// A command's batch run as its options ask: the ordered runner on as many
// jobs as the system allows, each entry's problem reported in order.
#pragma once

#include <functional>

#include "../convert/file_io.h"
#include "options.h"
#include "plan.h"
#include "report.h"

// Runs job(entry, workspace) for each entry of `plan` without a problem yet,
// on any thread, with that thread's workspace, and reports each in order: its problem, in words, when the job
// failed or gave it one, else the line done(entry) gives, for -v. Stops
// starting jobs once a report cannot be written.
void RunPlan(const Options& options, Plan& plan, Report& report, const NativeChar* suffix,
             const std::function<Outcome(Entry&, Workspace&)>& job,
             const std::function<NativeString(const Entry&)>& done);
