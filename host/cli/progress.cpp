// Status line, plain lines and the closing summary.

#include "host/cli/progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// The width of the terminal on standard output, read at every redraw so that
// a resized window is followed; COLUMNS, then 80, where it cannot be asked.
std::size_t TerminalColumns() {
  struct winsize size {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    char* end = nullptr;
    const long value = std::strtol(columns, &end, 10);
    if (end != columns && *end == '\0' && value > 0 && value < 10000) return static_cast<std::size_t>(value);
  }
  return 80;
}

std::string Safe(const std::string& text) { return text::TerminalSafe(text); }

}  // namespace

Progress::Progress(std::ostream& out, std::ostream& errors, bool terminal, std::uint64_t total_files)
    : out_(out), errors_(errors), terminal_(terminal), total_files_(total_files) {}

std::string Progress::FormatBytes(std::uint64_t bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

void Progress::ClearLine() {
  if (!line_drawn_) return;
  out_ << "\r\033[K" << std::flush;
  line_drawn_ = false;
}

void Progress::Line(const std::string& text) {
  ClearLine();
  // Flushed line by line so that a pipe or log watching the run sees each
  // item as it finishes.
  out_ << text << "\n" << std::flush;
}

namespace {

// "0:07", "12:30", "1:02:03"
std::string Duration(std::uint64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

}  // namespace

void Progress::Draw() {
  if (!terminal_) return;
  const auto now = std::chrono::steady_clock::now();
  if (line_drawn_ && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  std::uint64_t bytes = tally_.bytes;
  for (const auto& [thread, moved] : in_flight_) bytes += moved;
  const auto rate = seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(bytes) / seconds) : 0;
  std::string status;
  if (total_files_ != 1) {
    status = "[" + std::to_string(tally_.copied + tally_.failed);
    if (total_files_ > 0) status += "/" + std::to_string(total_files_);
    status += "] ";
  }
  status += FormatBytes(bytes);
  if (total_bytes_ > 0) {
    status += " of " + FormatBytes(total_bytes_);
    const auto percent = std::min<std::uint64_t>(100, bytes * 100 / total_bytes_);
    status += "  " + std::to_string(percent) + "%";
  }
  status += "  " + FormatBytes(rate) + "/s";
  if (total_bytes_ > 0 && bytes <= total_bytes_) {
    status += rate > 0 && seconds >= 1 ? "  " + Duration((total_bytes_ - bytes) / rate) + " left" : "  --:-- left";
  }
  status += "  " + current_;
  // Within one line of the terminal, its last column left free (a full line
  // wraps on some terminals), so that "\r" redraws it in place: a line that
  // wrapped would leave its first part behind at every redraw.
  out_ << "\r\033[K" << text::FitToColumns(status, std::max<std::size_t>(TerminalColumns(), 2) - 1) << std::flush;
  line_drawn_ = true;
}

void Progress::Start(const std::string& name) {
  std::lock_guard lock(mutex_);
  current_ = Safe(name);
  in_flight_[std::this_thread::get_id()] = 0;
  Draw();
}

void Progress::Advance(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  in_flight_[std::this_thread::get_id()] = bytes;
  Draw();
}

void Progress::Copied(const std::string& name, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  ++tally_.copied;
  tally_.bytes += bytes;
  in_flight_.erase(std::this_thread::get_id());
  if (!terminal_) Line("copied " + Safe(name) + " (" + std::to_string(bytes) + " bytes)");
  Draw();
}

void Progress::Failed(const std::string& name, const std::string& report) {
  std::lock_guard lock(mutex_);
  ++tally_.failed;
  in_flight_.erase(std::this_thread::get_id());
  ClearLine();
  out_ << std::flush;
  errors_ << "failed " << Safe(name) << ": " << Safe(report) << "\n" << std::flush;
  Draw();
}

void Progress::Created(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (!terminal_) Line("created " + Safe(name));
}

void Progress::Deleted(const std::string& name) {
  std::lock_guard lock(mutex_);
  ++tally_.deleted;
  if (!terminal_) Line("deleted " + Safe(name));
}

void Progress::Skipped(const std::string&) {
  std::lock_guard lock(mutex_);
  ++tally_.skipped;
}

void Progress::LeftOut(const std::string& name, const std::string& reason) {
  std::lock_guard lock(mutex_);
  ClearLine();
  out_ << std::flush;
  errors_ << "left out " << Safe(name) << ": " << Safe(reason) << "\n" << std::flush;
  Draw();
}

void Progress::Warn(const std::string& name, const std::string& text) {
  ClearLine();
  out_ << std::flush;
  errors_ << Safe(name) << ": " << Safe(text) << "\n" << std::flush;
  Draw();
}

void Progress::Stopped(const std::string& why) {
  std::lock_guard lock(mutex_);
  ClearLine();
  out_ << std::flush;
  errors_ << "orvex: " << Safe(why) << "\n" << std::flush;
}

void Progress::Warn(const std::string& text) {
  std::lock_guard lock(mutex_);
  ClearLine();
  out_ << std::flush;
  errors_ << "orvex: warning: " << Safe(text) << "\n" << std::flush;
  Draw();
}

void Progress::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!terminal_) Line(Safe(text));
}

void Progress::Planned(const std::string& action, const std::string& name, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  if (action == "copy") {
    ++tally_.copied;
    tally_.bytes += bytes;
  } else if (action == "delete") {
    ++tally_.deleted;
  }
  Line("would " + action + " " + Safe(name));
}

void Progress::Summary(const std::string& prefix) {
  std::lock_guard lock(mutex_);
  ClearLine();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const auto rate = seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(tally_.bytes) / seconds) : 0;
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  out_ << prefix << "copied " << tally_.copied << ", skipped " << tally_.skipped << ", deleted " << tally_.deleted
       << ", failed " << tally_.failed
       << (tally_.not_attempted > 0 ? ", not attempted " + std::to_string(tally_.not_attempted) : std::string())
       << ", " << tally_.bytes << " bytes in " << time << " s ("
       << FormatBytes(rate) << "/s)\n"
       << std::flush;
}

}  // namespace orvex::cli

namespace orvex::cli {

void Progress::PlanSummary() {
  std::lock_guard lock(mutex_);
  ClearLine();
  out_ << "dry run, nothing changed: would copy " << tally_.copied << (tally_.copied == 1 ? " file (" : " files (")
       << FormatBytes(tally_.bytes) << "), delete " << tally_.deleted << ", skipped " << tally_.skipped
       << ", failed " << tally_.failed << "\n"
       << std::flush;
}

}  // namespace orvex::cli
