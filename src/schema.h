// The layout of the store's file: the texts that create its tables, the
// script that empties the data tables, and the schema version it carries.

#ifndef DATABASE_INTERFACE_SCHEMA_H_
#define DATABASE_INTERFACE_SCHEMA_H_

#include <cstddef>
#include <cstdint>

namespace database_interface {

// The DDL list, by name. The first entry switches foreign keys on for a new
// connection, so that deleting a start cascades to its core and instance
// records. The others create the tables if missing, in this order: the two
// tables that reference start_recode come before it, which SQLite allows,
// since it resolves a foreign key when rows are written.
enum Ddl : size_t {
  kForeignKeysOn = 0,
  kCreateDbVersion,
  kCreateMessageCollectKey,
  kCreateCoreRecode,
  kCreateInstanceInfo,
  kCreateStartRecode,
  kCreateSessionCache,
  kDdlCount
};
constexpr size_t kFirstCreateTable = kCreateDbVersion;
extern const char* const kDdl[kDdlCount];

// Drops core_recode, instance_info, start_recode and session_cache, the
// referencing tables first. The version row and the key pair survive it.
extern const char* const kDropScript;

// The schema version this library writes, as major.minor.patch, and its
// length in bytes as bound to the version statements.
constexpr char kSchemaVersion[] = "1.13.0";
constexpr int32_t kSchemaVersionLength = static_cast<int32_t>(sizeof kSchemaVersion - 1);
static_assert(kSchemaVersionLength == 6, "the stored version text is six bytes");

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_H_
