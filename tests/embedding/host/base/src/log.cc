#include "base/log.h"

#include <mutex>
#include <thread>

namespace base {

namespace {

std::mutex lines_mutex;
std::vector<std::string> lines;

struct RecordingSink final : IBaseLogInterface {
  // The format names the line well enough for the host's checks.
  void WriteLog(const int32_t& level, const int32_t& /*tid*/, const char* format, ...) override {
    const std::lock_guard<std::mutex> guard(lines_mutex);
    lines.push_back(std::to_string(level) + " " + format);
  }
};

}  // namespace

int32_t GetTid() {
  return static_cast<int32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
}

IBaseLogInterface::~IBaseLogInterface() = default;

std::shared_ptr<IBaseLogInterface> IBaseLogInterface::GetLogInstance() {
  static const auto sink = std::make_shared<RecordingSink>();
  return sink;
}

std::vector<std::string> RecordedLines() {
  const std::lock_guard<std::mutex> guard(lines_mutex);
  return lines;
}

}  // namespace base
