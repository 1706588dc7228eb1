#include "host/app/services.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>

#include "connection/host/host_objects.h"
#include "platform/text/terminal_text.h"

namespace orvex::hostapp {
namespace {

// Names and server replies arrive in the text: control characters shown as
// visible escapes keep one entry on one line and keep a terminal that shows
// the log (`cat`, `tail -f`) from acting on them.
std::string OneLine(const std::string& text) { return text::TerminalSafe(text); }

std::string Timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(milliseconds));
  return text;
}

}  // namespace

ReferenceServices::ReferenceServices(const std::filesystem::path& log_file, TranslationTable translations,
                                     bool print_messages)
    : translations_(std::move(translations)), print_messages_(print_messages) {
  if (!log_file.empty()) log_file_ = std::make_unique<LogFile>(log_file);
}

void ReferenceServices::Log(const std::string& text, std::int32_t type, const std::string& details) {
  std::function<bool(const LogRecord&)> handler;
  {
    std::lock_guard lock(mutex_);
    handler = log_handler_;
  }
  if (handler && handler(LogRecord{Date::Now(), type, text, details})) return;
  std::string line = Timestamp() + " [" + std::to_string(type) + "] " + OneLine(text);
  if (!details.empty()) line += " | " + OneLine(details);
  std::lock_guard lock(mutex_);
  log_records_.push_back(LogRecord{Date::Now(), type, text, details});
  if (log_records_.size() > kKeptLogRecords) log_records_.pop_front();
  if (log_file_ && !log_file_->Append(line) && !log_failure_reported_) {
    log_failure_reported_ = true;
    std::cerr << "orvex: cannot write to the log file " << log_file_->path().string() << "\n";
  }
}

std::int32_t ReferenceServices::MessageBox(const std::string& text, std::int32_t flags,
                                           const std::string& title, const std::string& details,
                                           std::int32_t number, const com::ComPtr<com::IUnknown>&,
                                           const Variant&) {
  MessageRecord record{text, flags, title, details, number};
  std::function<std::int32_t(const MessageRecord&)> handler;
  std::int32_t answer;
  {
    std::lock_guard lock(mutex_);
    message_records_.push_back(record);
    handler = message_handler_;
    answer = message_answer_;
  }
  if (print_messages_) {
    std::cerr << text::TerminalSafe(title.empty() ? std::string("Message") : title) << ": "
              << text::TerminalSafe(text) << "\n";
    if (!details.empty()) std::cerr << "  " << text::TerminalSafe(details) << "\n";
  }
  // Called without the lock held, so a handler may use the services itself.
  return handler ? handler(record) : answer;
}

com::ComPtr<orvex::Picture> ReferenceServices::Icon() { return NewPicture(HostIconPng()); }

std::string ReferenceServices::Translate(const std::string& text,
                                         const std::vector<std::string>& parameters) {
  return FillPlaceholders(translations_.Lookup(text), parameters);
}

std::vector<LogRecord> ReferenceServices::LogRecords() const {
  std::lock_guard lock(mutex_);
  return {log_records_.begin(), log_records_.end()};
}

std::vector<MessageRecord> ReferenceServices::MessageBoxes() const {
  std::lock_guard lock(mutex_);
  return message_records_;
}

void ReferenceServices::ClearRecords() {
  std::lock_guard lock(mutex_);
  log_records_.clear();
  message_records_.clear();
}

void ReferenceServices::SetMessageAnswer(std::int32_t answer) {
  std::lock_guard lock(mutex_);
  message_answer_ = answer;
}

void ReferenceServices::SetLogHandler(std::function<bool(const LogRecord&)> handler) {
  std::lock_guard lock(mutex_);
  log_handler_ = std::move(handler);
}

void ReferenceServices::SetMessageHandler(std::function<std::int32_t(const MessageRecord&)> handler) {
  std::lock_guard lock(mutex_);
  message_handler_ = std::move(handler);
}

}  // namespace orvex::hostapp
