// A log sink for tests: installed for the lifetime of a LogCapture, it keeps
// every line the store writes, formatted, with its level and thread id.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/log.h"

namespace dbi_test {

struct LogEntry {
  int32_t level;
  int32_t tid;
  std::string line;
};

class CapturingSink final : public base::IBaseLogInterface {
 public:
  void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) override {
    char buffer[8192];
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(buffer, sizeof(buffer), format, args);  // long lines are cut
    va_end(args);
    std::lock_guard<std::mutex> guard(mutex_);
    entries_.push_back({level, tid, buffer});
  }

  std::vector<LogEntry> Entries() {
    std::lock_guard<std::mutex> guard(mutex_);
    return entries_;
  }

  std::vector<std::string> Lines() {
    const std::vector<LogEntry> entries = Entries();
    std::vector<std::string> lines(entries.size());
    std::transform(entries.begin(), entries.end(), lines.begin(),
                   [](const LogEntry& entry) { return entry.line; });
    return lines;
  }

  void Clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    entries_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<LogEntry> entries_;
};

class LogCapture {
 public:
  LogCapture() : sink_(std::make_shared<CapturingSink>()) {
    base::IBaseLogInterface::SetLogInstance(sink_);
  }
  ~LogCapture() { base::IBaseLogInterface::SetLogInstance(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() { return sink_->Lines(); }
  std::vector<LogEntry> Entries() { return sink_->Entries(); }
  void Clear() { sink_->Clear(); }

 private:
  std::shared_ptr<CapturingSink> sink_;
};

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
