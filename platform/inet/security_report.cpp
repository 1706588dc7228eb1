#include "platform/inet/tls_settings.h"

namespace orvex::inet {
namespace {
thread_local SecurityReport last_report;
}  // namespace

const SecurityReport& LastSecurityReport() { return last_report; }

void RecordSecurityReport(SecurityReport report) {
  // People read this text: no control characters from a certificate or reply.
  for (std::string* text : {&report.text, &report.subject, &report.issuer, &report.reason}) {
    for (char& character : *text) {
      const auto code = static_cast<unsigned char>(character);
      if (code < 0x20 || code == 0x7f) character = '?';
    }
  }
  last_report = std::move(report);
}

void RecordSecurityReport(std::string text) {
  SecurityReport report;
  report.text = std::move(text);
  RecordSecurityReport(std::move(report));
}

}  // namespace orvex::inet
