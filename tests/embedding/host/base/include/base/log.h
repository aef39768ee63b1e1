// The host SDK's log library as the store sees it.

#ifndef BASE_LOG_H_
#define BASE_LOG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#define HOST_BASE_API __declspec(dllexport)
#else
#define HOST_BASE_API __attribute__((visibility("default")))
#endif

namespace base {

HOST_BASE_API int32_t GetTid();

class HOST_BASE_API IBaseLogInterface {
 public:
  virtual ~IBaseLogInterface();
  virtual void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) = 0;
  static std::shared_ptr<IBaseLogInterface> GetLogInstance();
};

// The host's own: every line its sink was given, as "<level> <text>".
HOST_BASE_API std::vector<std::string> RecordedLines();

}  // namespace base

#endif  // BASE_LOG_H_
