// The SDK's log facility as seen by the libraries built on it: a process-wide
// sink that takes printf-style lines, and the calling thread's kernel id.
//
// This is a small stand-in for the SDK's own `base` library, with the same
// names and calls, so that the store builds, runs and is tested without the
// SDK. It is a shared library of its own because the store only imports it.

#ifndef BASE_LOG_H_
#define BASE_LOG_H_

#include <cstdint>
#include <memory>

#if defined(_WIN32)
#if defined(BASE_BUILDING_LIBRARY)
#define BASE_EXPORT __declspec(dllexport)
#else
#define BASE_EXPORT __declspec(dllimport)
#endif
#else
#define BASE_EXPORT __attribute__((visibility("default")))
#endif

namespace base {

// The kernel's id of the calling thread (what `gettid` gives on Linux).
BASE_EXPORT int32_t GetTid();

// Declares only its destructor, as the SDK's own does; that one is defined
// out of line so that the class's vtable lives in the library.
// NOLINTNEXTLINE(cppcoreguidelines-special-member-functions)
class BASE_EXPORT IBaseLogInterface {
 public:
  virtual ~IBaseLogInterface();

  // Writes one line. `format` is printf-style; its values follow it. May be
  // called from any thread at once, and must not call back into its caller.
  virtual void WriteLog(const int32_t& level, const int32_t& tid, const char* format, ...) = 0;

  // The sink in use: the one last given to SetLogInstance, or the default sink
  // (one line per call on standard error). Never null.
  static std::shared_ptr<IBaseLogInterface> GetLogInstance();

  // Makes `sink` the sink that GetLogInstance hands out from now on; nullptr
  // restores the default. A sink already handed out stays alive while held.
  static void SetLogInstance(std::shared_ptr<IBaseLogInterface> sink);
};

}  // namespace base

#endif  // BASE_LOG_H_
