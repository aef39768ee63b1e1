// A log sink for tests: installed for the lifetime of a LogCapture, it keeps
// every line the store writes, formatted. Every line must come at level 60
// and name the thread that wrote it, so the sink checks both as it goes. It
// can also hold a line, as a slow sink or one that waits for a lock would.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"

namespace dbi_test {

class LogCapture {
 public:
  LogCapture() { base::IBaseLogInterface::SetLogInstance(sink_); }
  ~LogCapture() { base::IBaseLogInterface::SetLogInstance(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> guard(sink_->mutex);
    return sink_->lines;
  }

  void Clear() {
    std::lock_guard<std::mutex> guard(sink_->mutex);
    sink_->lines.clear();
  }

  // Runs `hold` inside the sink when the next line comes, before keeping the
  // line, as a slow sink or one that waits for a lock of its own would.
  void OnNextLine(std::function<void()> hold) {
    std::lock_guard<std::mutex> guard(sink_->mutex);
    sink_->on_next_line = std::move(hold);
  }

 private:
  struct Sink final : base::IBaseLogInterface {
    void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) override {
      char buffer[8192];
      va_list args;
      va_start(args, format);
      (void)std::vsnprintf(buffer, sizeof(buffer), format, args);  // long lines are cut
      va_end(args);
      EXPECT_EQ(level, 60) << buffer;
      EXPECT_EQ(tid, base::GetTid()) << buffer;
      std::unique_lock<std::mutex> lock(mutex);
      const std::function<void()> hold = std::exchange(on_next_line, nullptr);
      if (hold) {
        lock.unlock();
        hold();
        lock.lock();
      }
      lines.emplace_back(buffer);
    }

    std::mutex mutex;
    std::vector<std::string> lines;
    std::function<void()> on_next_line;
  };

  std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
};

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
