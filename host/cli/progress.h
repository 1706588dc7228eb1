#pragma once
// What a copying command shows while it works and the summary it ends with.
//
// On a terminal one status line is redrawn in place (at most ten times a
// second, cut to the terminal's width): files done of total, bytes done of
// total, percent, rate, time left and the current name:
//   [3/12] 1.5 MiB of 4.0 MiB  37%  812.0 KiB/s  0:03 left  docs/a.pdf
// (a single file, as get and put show it, leaves out the file counts).
// Otherwise every finished item is one plain line ("copied NAME (BYTES
// bytes)", "deleted NAME", ...), easy to read in a log or a pipe. Failures
// always go to standard error with the plug-in's own report. Names and
// reports are shown terminal-safe (control characters escaped). The summary
// is one line:
//   copied C, skipped S, deleted D, failed F, B bytes in T s (R/s)
// with ", not attempted N" after the failures when a run stopped early, and
// a dry run's says what would be done, without a rate:
//   dry run, nothing changed: would copy C files (B bytes), delete D, skipped S, failed F
// Every member may be called from several threads (a parallel run's
// transfers); each call is one step. Each thread's transfer in flight counts
// towards the bytes shown; the name shown is the one started last.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

namespace orvex::cli {

struct Tally {
  std::uint64_t copied = 0;
  std::uint64_t skipped = 0;
  std::uint64_t deleted = 0;
  std::uint64_t failed = 0;
  std::uint64_t not_attempted = 0;
  std::uint64_t bytes = 0;
};

class Progress {
 public:
  // `total_files`: how many files will be copied (0 when not known).
  Progress(std::ostream& out, std::ostream& errors, bool terminal, std::uint64_t total_files = 0);

  void set_total_files(std::uint64_t total) { total_files_ = total; }
  // How many bytes all the copies move (0 when not known: no percent, no
  // time left).
  void set_total_bytes(std::uint64_t total) { total_bytes_ = total; }

  // A file starts moving, then moved `bytes` of it so far.
  void Start(const std::string& name);
  void Advance(std::uint64_t bytes);
  // The file is done (counted as copied) or failed.
  void Copied(const std::string& name, std::uint64_t bytes);
  void Failed(const std::string& name, const std::string& report);
  // Other outcomes: a created folder, a deletion, a skipped file.
  void Created(const std::string& name);
  void Deleted(const std::string& name);
  void Skipped(const std::string& name);
  // A source item that is not synchronised (a notice on standard error, not
  // a failure), and a plain remark such as a removed left-over.
  void LeftOut(const std::string& name, const std::string& reason);
  void Note(const std::string& text);
  // Something a person should know about an item that was dealt with:
  // "NAME: TEXT" on standard error, neither a failure nor counted.
  void Warn(const std::string& name, const std::string& text);
  // Why a run stops early: "orvex: WHY" on standard error.
  void Stopped(const std::string& why);
  // Something a person must hear of though the run goes on: "orvex:
  // warning: TEXT" on standard error, on a terminal too.
  void Warn(const std::string& text);
  // A failure already explained by the line that stopped the run (a lost
  // connection): counted, without a line of its own.
  void FailedUnreported() {
    std::lock_guard lock(mutex_);
    ++tally_.failed;
    in_flight_.erase(std::this_thread::get_id());
  }
  // Steps a stopped run never reached.
  void NotAttempted(std::uint64_t count) {
    std::lock_guard lock(mutex_);
    tally_.not_attempted += count;
  }
  // A dry run's "would copy NAME" and the like; "copy" and "delete" are
  // counted in the summary as if done.
  void Planned(const std::string& action, const std::string& name, std::uint64_t bytes = 0);

  const Tally& tally() const { return tally_; }
  // Writes the summary line (clearing the status line first).
  void Summary(const std::string& prefix = "");
  // A dry run's summary.
  void PlanSummary();
  // Takes the status line away, for a caller's own closing line.
  void Clear() {
    std::lock_guard lock(mutex_);
    ClearLine();
  }

  static std::string FormatBytes(std::uint64_t bytes);

 private:
  void Draw();
  void ClearLine();
  void Line(const std::string& text);

  std::recursive_mutex mutex_;
  std::ostream& out_;
  std::ostream& errors_;
  const bool terminal_;
  std::uint64_t total_files_;
  std::uint64_t total_bytes_ = 0;
  Tally tally_;
  std::string current_;
  // Bytes moved so far of the file each thread is moving.
  std::map<std::thread::id, std::uint64_t> in_flight_;
  bool line_drawn_ = false;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace orvex::cli
