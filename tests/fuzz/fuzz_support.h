// What the fuzz targets share: a log sink that drops every line, since the
// inputs are mostly refused and each refusal writes one.

#ifndef DATABASE_INTERFACE_TESTS_FUZZ_FUZZ_SUPPORT_H_
#define DATABASE_INTERFACE_TESTS_FUZZ_FUZZ_SUPPORT_H_

#include <memory>

#include "base/log.h"

namespace dbi_fuzz {

struct DroppingSink final : base::IBaseLogInterface {
  void WriteLog(const int32_t& /*level*/, const int32_t& /*tid*/, const char* /*format*/,
                ...) override {}
};

inline void DropLogLines() {
  base::IBaseLogInterface::SetLogInstance(std::make_shared<DroppingSink>());
}

}  // namespace dbi_fuzz

#endif  // DATABASE_INTERFACE_TESTS_FUZZ_FUZZ_SUPPORT_H_
