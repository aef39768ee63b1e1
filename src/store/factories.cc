// The exported surface: the interface's special members, defined here so
// that the library exports them with its table of operations, and the two
// factories.

#include <mutex>

#include "store/clock.h"
#include "store/database.h"

namespace database_interface {

namespace {

constexpr const char* kSharedInstancePath = "./qvdata";

}  // namespace

IDatabaseInterface::IDatabaseInterface() = default;
IDatabaseInterface::IDatabaseInterface(const IDatabaseInterface&) = default;
IDatabaseInterface::IDatabaseInterface(IDatabaseInterface&&) noexcept = default;
IDatabaseInterface& IDatabaseInterface::operator=(const IDatabaseInterface&) = default;
IDatabaseInterface& IDatabaseInterface::operator=(IDatabaseInterface&&) noexcept = default;

std::shared_ptr<IDatabaseInterface> IDatabaseInterface::CreateDatabaseInterface() {
  return std::make_shared<CDatabase>();
}

std::shared_ptr<IDatabaseInterface> IDatabaseInterface::GetDbInstance() {
  // Built once under the language's thread-safe static initialisation and
  // released at exit; an exception while building leaves it to the next call.
  static const std::shared_ptr<IDatabaseInterface> instance = CreateDatabaseInterface();
  // Opened once, whatever the outcome: a caller may Init it again itself.
  // An exception leaves the step undone and the instance closed (Init
  // undoes itself before it lets one go), so the next call runs it again.
  static std::once_flag opened;
  std::call_once(opened, [] {
    instance->Init(kSharedInstancePath);
    instance->DeleteSessionCache(NowMilliseconds());
  });
  return instance;
}

}  // namespace database_interface
