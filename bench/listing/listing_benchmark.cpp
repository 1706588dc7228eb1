// Parse throughput of each listing format: 100,000 generated lines shaped
// like the real servers' output (varied names, sizes and dates), parsed
// five times; prints the median in lines per second.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/inet/listing/listing_parser.h"

namespace {

using orvex::inet::CivilTime;

constexpr int kLines = 100000;
constexpr int kRounds = 5;
constexpr CivilTime kNow{2026, 12, 9, 23, 29, 0};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Name(int index) {
  return "file number " + std::to_string(index) + (index % 3 ? ".txt" : ".tar.gz");
}

std::vector<std::string> UnixLines() {
  std::vector<std::string> lines;
  char buffer[256];
  for (int index = 0; index < kLines; ++index) {
    const bool old = index % 4 == 0;
    std::snprintf(buffer, sizeof buffer,
                  "%crw-r--r--    1 1000       1000       %12llu %s %2d %s %s",
                  index % 10 ? '-' : 'd',
                  static_cast<unsigned long long>(index) * 7919ULL,
                  kMonths[index % 12], index % 28 + 1, old ? " 2019" : "10:42",
                  Name(index).c_str());
    lines.emplace_back(buffer);
  }
  return lines;
}

std::vector<std::string> WindowsLines() {
  std::vector<std::string> lines;
  char buffer[256];
  for (int index = 0; index < kLines; ++index) {
    if (index % 10 == 0) {
      std::snprintf(buffer, sizeof buffer, "%02d-%02d-24  %02d:%02dPM       <DIR>          %s",
                    index % 12 + 1, index % 28 + 1, index % 12 + 1, index % 60,
                    Name(index).c_str());
    } else {
      std::snprintf(buffer, sizeof buffer, "%02d-%02d-24  %02d:%02dAM %20llu %s",
                    index % 12 + 1, index % 28 + 1, index % 12 + 1, index % 60,
                    static_cast<unsigned long long>(index) * 7919ULL,
                    Name(index).c_str());
    }
    lines.emplace_back(buffer);
  }
  return lines;
}

std::vector<std::string> MlsdLines() {
  std::vector<std::string> lines;
  char buffer[320];
  for (int index = 0; index < kLines; ++index) {
    std::snprintf(buffer, sizeof buffer,
                  "type=%s;size=%llu;modify=2024%02d%02d%02d%02d%02d;UNIX.mode=0644;"
                  "UNIX.uid=1000;UNIX.gid=1000;unique=fe00g%x; %s",
                  index % 10 ? "file" : "dir",
                  static_cast<unsigned long long>(index) * 7919ULL,
                  index % 12 + 1, index % 28 + 1, index % 24, index % 60,
                  index % 60, index, Name(index).c_str());
    lines.emplace_back(buffer);
  }
  return lines;
}

template <typename Parse>
void Measure(const char* format, const std::vector<std::string>& lines,
             Parse parse) {
  std::vector<double> rates;
  std::size_t parsed = 0;
  for (int round = 0; round < kRounds; ++round) {
    parsed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& line : lines) {
      if (parse(line)) ++parsed;
    }
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - start;
    rates.push_back(static_cast<double>(lines.size()) / elapsed.count());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("%-8s %zu/%zu lines parsed, median %.0f lines/s (min %.0f, max %.0f)\n",
              format, parsed, lines.size(), rates[kRounds / 2], rates.front(),
              rates.back());
}

}  // namespace

int main() {
  Measure("unix", UnixLines(), [](const std::string& line) {
    return orvex::inet::ParseListLine(line, kNow).has_value();
  });
  Measure("windows", WindowsLines(), [](const std::string& line) {
    return orvex::inet::ParseListLine(line, kNow).has_value();
  });
  Measure("mlsd", MlsdLines(), [](const std::string& line) {
    return orvex::inet::ParseMlsdLine(line).has_value();
  });
  return 0;
}
