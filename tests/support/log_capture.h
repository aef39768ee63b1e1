// A log sink for tests: installed for the lifetime of a LogCapture, it keeps
// every line the store writes, formatted. Every line must come at level 60
// and name the thread that wrote it, so the sink checks both as it goes. It
// can also hold a line, as a slow sink or one that waits for a lock would.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
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

  // The writer of the next line waits in the sink until Release(), for ten
  // seconds at most, so that a store that waits for it cannot hang a test.
  void HoldNextLine() {
    std::lock_guard<std::mutex> guard(sink_->mutex);
    sink_->hold_next = true;
  }
  // Waits (ten seconds at most) until a writer is held; true if one is.
  bool WaitForHeldLine() {
    std::unique_lock<std::mutex> lock(sink_->mutex);
    return sink_->changed.wait_for(lock, kHoldLimit, [&] { return sink_->holding; });
  }
  // Lets the held writer go on: true if it was still held, not timed out.
  bool Release() {
    std::lock_guard<std::mutex> guard(sink_->mutex);
    const bool held = sink_->holding;
    sink_->holding = false;
    sink_->changed.notify_all();
    return held;
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
      if (hold_next) {
        hold_next = false;
        holding = true;
        changed.notify_all();
        changed.wait_for(lock, kHoldLimit, [&] { return !holding; });
        holding = false;
      }
      lines.emplace_back(buffer);
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> lines;
    bool hold_next = false;
    bool holding = false;
  };

  static constexpr std::chrono::seconds kHoldLimit{10};

  std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
};

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_LOG_CAPTURE_H_
