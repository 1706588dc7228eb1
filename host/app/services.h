#pragma once
// ReferenceServices: the reference host's HostServices - its log, message
// boxes, icon and translation.
//
// Log: the latest entries (up to kKeptLogRecords, so that a long-running host
// does not grow without end) are kept in memory (LogRecords), and every entry
// is appended to the log file, when one is given, as one line:
//
//   2024-05-01 14:03:07.250 [4] FTP(id) Error getting files for: ...
//
// local time, the type in brackets, the text, and " | " and the details when
// there are any. Line breaks inside text or details are written as the two
// characters "\n" (or "\r") so that one entry stays one line. A log line that
// cannot be written does not fail the caller (a plug-in reporting an error
// must not fail because of the log); the entry is still recorded in memory
// and the first such failure is reported on standard error.
//
// Message boxes: nothing is shown. Each call is recorded (MessageBoxes),
// written to standard error when `print_messages` is on (a console host),
// and answered by the handler when one is set, otherwise with the fixed
// answer (1, "OK", unless changed).
//
// Translate: the table's translation of the text (the text itself when
// there is none), then FillPlaceholders with the parameters.
//
// All members may be called from any thread.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "connection/host/plugin_interface.h"
#include "host/app/log_file.h"
#include "host/app/translation_table.h"

namespace orvex::hostapp {

struct LogRecord {
  Date time;
  std::int32_t type = 0;
  std::string text;
  std::string details;
};

struct MessageRecord {
  std::string text;
  std::int32_t flags = 0;
  std::string title;
  std::string details;
  std::int32_t number = 0;
};

class ReferenceServices final : public com::Object<ReferenceServices, HostServices> {
 public:
  static constexpr std::size_t kKeptLogRecords = 10000;

  // `log_file` may be empty: then entries are kept in memory only. Raises 76
  // when the log file cannot be opened.
  ReferenceServices(const std::filesystem::path& log_file, TranslationTable translations,
                    bool print_messages);

  void Log(const std::string& text, std::int32_t type, const std::string& details) override;
  std::int32_t MessageBox(const std::string& text, std::int32_t flags, const std::string& title,
                          const std::string& details, std::int32_t number,
                          const com::ComPtr<com::IUnknown>& owner, const Variant& extra) override;
  // A 16 x 16 PNG picture.
  com::ComPtr<orvex::Picture> Icon() override;
  std::string Translate(const std::string& text, const std::vector<std::string>& parameters) override;

  // The latest log entries, oldest first.
  std::vector<LogRecord> LogRecords() const;
  std::vector<MessageRecord> MessageBoxes() const;
  void ClearRecords();
  // The answer every message box gets while no handler is set.
  void SetMessageAnswer(std::int32_t answer);
  // Answers message boxes from now on; an empty function removes it.
  void SetMessageHandler(std::function<std::int32_t(const MessageRecord&)> handler);
  // Sees every log entry first; an entry it returns true for is taken (not
  // kept and not written to the log file). An empty function removes it.
  void SetLogHandler(std::function<bool(const LogRecord&)> handler);

 private:
  std::unique_ptr<LogFile> log_file_;
  const TranslationTable translations_;
  const bool print_messages_;

  mutable std::mutex mutex_;
  std::deque<LogRecord> log_records_;
  std::vector<MessageRecord> message_records_;
  std::int32_t message_answer_ = 1;
  std::function<std::int32_t(const MessageRecord&)> message_handler_;
  std::function<bool(const LogRecord&)> log_handler_;
  bool log_failure_reported_ = false;
};

// The host's icon, a PNG image of 16 x 16 pixels.
const std::vector<std::uint8_t>& HostIconPng();

}  // namespace orvex::hostapp
