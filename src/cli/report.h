// What a command tells of its batch: a line on standard error for each
// problem, in argument order; with -v a line on standard output for each
// file done; on a terminal a progress line above them; and a summary.
#pragma once

#include <cstddef>
#include <vector>

#include "../os/system.h"
#include "options.h"

class Report {
 public:
  Report(const Command& command, const Options& options, std::size_t files);

  // Each says false once a stream could not be written, for the batch to stop.
  // The problem's line, and with -v the lines that tell more of it.
  bool Problem(const NativeString& name, const NativeString& problem, const std::vector<NativeString>& details = {});
  // What -v says of a file done, and the lines that tell more of it, indented.
  bool Done(const NativeString& line, const std::vector<NativeString>& details = {});
  // Lines about a file that did not fail, the first one whole, the others
  // indented below it; none with -q.
  bool Warning(const std::vector<NativeString>& lines);
  bool Summary(const NativeString& line);
  // Shows, on a terminal, that `done` files are done and `next` is next.
  void Progress(std::size_t done, const NativeString& next);
  void ClearProgress();
  // 0 when every file was done and every line written, else 1, after
  // saying, where it can, that standard output could not be written.
  int Finish();

  std::size_t Failed() const { return failed_; }

 private:
  bool Write(Stream stream, const NativeString& line);

  NativeString prefix_;
  const Options& options_;
  std::size_t files_;
  bool progressShown_;
  bool progressVisible_ = false;
  std::size_t failed_ = 0;
  SystemError outputError_;
  bool errorFailed_ = false;
};

// `text` safe to print: control characters escaped ("\n", "\033"), so a
// name cannot split a line or reach the terminal as a command.
NativeString Printable(const NativeString& text);
