// What opening a file does to it, decided from the version row it holds.
// The store's version check acts on this decision, and the inspector tool
// tells it in advance, so that the two can never judge a file differently.
// What each decision does for a host is the table in README.md, "The file
// and its versions".

#ifndef DATABASE_INTERFACE_SCHEMA_OPENING_RULE_H_
#define DATABASE_INTERFACE_SCHEMA_OPENING_RULE_H_

namespace database_interface {

enum class Opening {
  kNothing,  // the file is at the library's schema version
  kStamp,    // no version row: the missing tables are created, the version written
  kMigrate,  // an older version: migrated, every row kept
  kRebuild,  // a newer version: its data tables emptied by kDropScript (schema.h)
  kRefuse,   // a version that is not three numbers: opening fails
};

// The opening of a file whose version row holds `stored_version`, read up
// to its first NUL byte; nullptr when the file has no version row.
Opening OpeningFor(const char* stored_version);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_SCHEMA_OPENING_RULE_H_
