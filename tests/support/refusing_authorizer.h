// An authorizer that refuses one kind of action, as a hostile or broken
// connection would: the way to make one step of a sequence of statements
// fail where SQLite itself never fails.

#ifndef DATABASE_INTERFACE_TESTS_SUPPORT_REFUSING_AUTHORIZER_H_
#define DATABASE_INTERFACE_TESTS_SUPPORT_REFUSING_AUTHORIZER_H_

#include <sqlite3.h>

#include <string>

namespace dbi_test {

struct Refusal {
  int action = 0;  // an authorizer action code; 0 refuses nothing
  // The object refused (a table, a pragma, "BEGIN"), or null for any but
  // SQLite's bookkeeping in its sqlite_ tables.
  const char* object = nullptr;
};

inline int Refuse(void* refusal, int action, const char* object, const char* /*unused*/,
                  const char* /*unused*/, const char* /*unused*/) {
  const auto& refused = *static_cast<const Refusal*>(refusal);
  const bool matches = refused.object == nullptr
                           ? object == nullptr || std::string(object).rfind("sqlite_", 0) != 0
                           : object != nullptr && sqlite3_stricmp(object, refused.object) == 0;
  return action == refused.action && matches ? SQLITE_DENY : SQLITE_OK;
}

// Installs `refusal`, which must outlive its use, on `db`.
inline void RefuseOn(sqlite3* db, const Refusal& refusal) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): SQLite takes a void*
  sqlite3_set_authorizer(db, &Refuse, const_cast<Refusal*>(&refusal));
}

}  // namespace dbi_test

#endif  // DATABASE_INTERFACE_TESTS_SUPPORT_REFUSING_AUTHORIZER_H_
