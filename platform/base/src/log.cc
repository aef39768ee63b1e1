#include "base/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace base {

int32_t GetTid() {
#if defined(__linux__)
  return static_cast<int32_t>(syscall(SYS_gettid));
#elif defined(__APPLE__)
  uint64_t id = 0;
  pthread_threadid_np(nullptr, &id);
  return static_cast<int32_t>(id);
#elif defined(_WIN32)
  return static_cast<int32_t>(GetCurrentThreadId());
#else
  return 0;
#endif
}

IBaseLogInterface::~IBaseLogInterface() = default;

namespace {

// Formats the whole line first and hands it to stdio in one call, so that
// lines written by different threads never interleave.
class StderrSink final : public IBaseLogInterface {
 public:
  void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) override {
    va_list args;
    va_start(args, format);
    const std::string message = Format(format, args);
    va_end(args);
    const std::string line =
        "[level " + std::to_string(level) + "][tid " + std::to_string(tid) + "] " + message + "\n";
    (void)std::fputs(line.c_str(), stderr);  // a log sink has nowhere to report its own failure
  }

 private:
  static std::string Format(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int size = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (size <= 0) {
      return std::string();
    }
    std::vector<char> buffer(static_cast<size_t>(size) + 1);
    (void)std::vsnprintf(buffer.data(), buffer.size(), format, args);  // measured above
    return std::string(buffer.data(), static_cast<size_t>(size));
  }
};

struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<IBaseLogInterface> sink;
};

// Built on first use and never destroyed, so that a library logging from its
// own exit-time clean-up still finds a sink.
SinkSlot& Slot() {
  static auto* const slot = new SinkSlot{{}, std::make_shared<StderrSink>()};
  return *slot;
}

}  // namespace

std::shared_ptr<IBaseLogInterface> IBaseLogInterface::GetLogInstance() {
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> guard(slot.mutex);
  return slot.sink;
}

void IBaseLogInterface::SetLogInstance(std::shared_ptr<IBaseLogInterface> sink) {
  if (sink == nullptr) {
    sink = std::make_shared<StderrSink>();
  }
  SinkSlot& slot = Slot();
  std::lock_guard<std::mutex> guard(slot.mutex);
  slot.sink.swap(sink);
  // The previous sink is released after the lock, in case its destructor logs.
}

}  // namespace base
