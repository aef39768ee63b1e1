// The layout of the store's file: the texts that create its tables, the
// script that empties the data tables, and the schema version it carries.

#ifndef DATABASE_INTERFACE_SCHEMA_H_
#define DATABASE_INTERFACE_SCHEMA_H_

#include <cstddef>

namespace database_interface {

// Entry 0 switches foreign keys on for a new connection, so that deleting a
// start cascades to its core and instance records. Entries 1 to 6 create
// the tables if missing, in this order: db_version, message_collect_key,
// core_recode, instance_info, start_recode, session_cache.
constexpr size_t kDdlCount = 7;
extern const char* const kDdl[kDdlCount];

// Drops core_recode, instance_info, start_recode and session_cache, the
// referencing tables first. The version row and the key pair survive it.
extern const char* const kDropScript;

// The schema version this library writes, as major.minor.patch.
extern const char* const kSchemaVersion;

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_H_
