// The layout of the store's file: the texts that create its tables, the
// script that empties the data tables, and the schema version it carries.

#ifndef DATABASE_INTERFACE_SCHEMA_SCHEMA_H_
#define DATABASE_INTERFACE_SCHEMA_SCHEMA_H_

#include <sqlite3.h>

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

// Creates each of the schema's tables that `db` lacks, in the schema's
// order: kDdlCount when every text ran, otherwise the one that failed, with
// SQLite's code in `rc`. Init, its re-creation of the data tables and dbi's
// new stores all create tables so.
Ddl CreateMissingTables(sqlite3* db, int& rc);

// How the library reads and binds a column: the integer primary key and the
// INTEGER and int columns as 32-bit integers, BIGINT as 64-bit, the rest as
// text. None may be NULL.
enum class ColumnType { kId, kInt32, kInt64, kText };

struct Column {
  const char* name;
  ColumnType type;
};

// A table of the store: its name and its columns in the order of the text
// that creates it, kDdl[kFirstCreateTable + its place in kTables].
struct Table {
  const char* name;
  const Column* columns;
  size_t column_count;
};

namespace schema_columns {
using T = ColumnType;
inline constexpr Column kDbVersion[] = {{"id", T::kId}, {"version", T::kText}};
inline constexpr Column kMessageCollectKey[] = {{"message_access_key", T::kText},
                                                {"message_access_secret_key", T::kText}};
inline constexpr Column kCoreRecode[] = {{"id", T::kId},
                                         {"dump_file_path", T::kText},
                                         {"log_file_path", T::kText},
                                         {"start_recode_id", T::kInt32},
                                         {"create_time", T::kInt64}};
inline constexpr Column kInstanceInfo[] = {{"id", T::kId},
                                           {"instance_no", T::kText},
                                           {"session_id", T::kText},
                                           {"business_type", T::kInt32},
                                           {"protocol_type", T::kText},
                                           {"start_recode_id", T::kInt32},
                                           {"create_time", T::kInt64}};
inline constexpr Column kStartRecode[] = {
    {"id", T::kId}, {"sdk_version", T::kText}, {"sdk_type", T::kText}, {"start_time", T::kInt64}};
inline constexpr Column kSessionCache[] = {{"id", T::kId},
                                           {"session_key", T::kText},
                                           {"session_value", T::kText},
                                           {"expire_time", T::kInt64}};
}  // namespace schema_columns

template <size_t kCount>
constexpr Table MakeTable(const char* name, const Column (&columns)[kCount]) {
  return {name, columns, kCount};
}

// The tables in creation order, one per CREATE text of kDdl.
inline constexpr Table kTables[] = {
    MakeTable("db_version", schema_columns::kDbVersion),
    MakeTable("message_collect_key", schema_columns::kMessageCollectKey),
    MakeTable("core_recode", schema_columns::kCoreRecode),
    MakeTable("instance_info", schema_columns::kInstanceInfo),
    MakeTable("start_recode", schema_columns::kStartRecode),
    MakeTable("session_cache", schema_columns::kSessionCache),
};

static_assert(sizeof kTables / sizeof kTables[0] == kDdlCount - kFirstCreateTable,
              "one table per CREATE text");

// Drops core_recode, instance_info, start_recode and session_cache, the
// referencing tables first. The version row and the key pair survive it.
extern const char* const kDropScript;

// The schema version this library writes, as major.minor.patch.
constexpr char kSchemaVersion[] = "1.13.0";

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_SCHEMA_H_
