// Uses the embedded store as an SDK would: a failing Init must reach the
// host's own sink at level 60, then a session entry is stored and read back.
// Beside it the host uses its own SQLite: each copy must serve its own
// caller, which the page sizes they give a new file tell apart.

#include <base/log.h>
#include <database_interface/database_interface.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// The page size in the header of the file at `path`.
int PageSizeOf(const char* path) {
  unsigned char header[18] = {};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
  return (header[16] << 8) | header[17];
}

// The page size the host's own SQLite gives a new file at `path`.
int HostPageSize(const std::string& path) {
  sqlite3* db = nullptr;
  std::remove(path.c_str());
  const bool made = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return made ? PageSizeOf(path.c_str()) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_program DATABASE\n");
    return 2;
  }
  std::remove(argv[1]);
  const auto store = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  const char* failure = nullptr;
  std::string value;
  if (store->Init("no-such-folder/for/the/store") != -1 || base::RecordedLines().empty() ||
      base::RecordedLines()[0].rfind("60 [database]", 0) != 0) {
    failure = "a failing Init did not answer -1 with a line at level 60 in the host's sink";
  } else if (store->Init(argv[1]) != 0 || store->InsertSessionCache("token", "tok-1", 100) != 0 ||
             store->SelectSessionCache("token", 0, value) != 1 || value != "tok-1") {
    failure = "a session entry did not come back as stored";
  }
  store->Close();
  if (failure == nullptr && PageSizeOf(argv[1]) != STORE_PAGE_SIZE) {
    failure = "the store's file was not made by the store's own SQLite";
  } else if (failure == nullptr && (HostPageSize(std::string(argv[1]) + ".host") != 4096 ||
                                    sqlite3_libversion_number() != SQLITE_VERSION_NUMBER)) {
    failure = "the host's own SQLite calls did not reach the host's SQLite";
  }
  std::printf("host_program: %s\n", failure == nullptr ? "the embedded store works" : failure);
  return failure == nullptr ? 0 : 1;
}
