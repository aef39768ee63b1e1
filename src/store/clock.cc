#include "store/clock.h"

#include <chrono>
#include <ratio>

namespace database_interface {

int64_t NowMilliseconds() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
  const auto ticks =
      std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
  return ticks.count() / 10000;
}

}  // namespace database_interface
