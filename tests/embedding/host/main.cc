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
int PageSizeOf(const std::string& path) {
  unsigned char header[18] = {};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(header), sizeof header);
  return (header[16] << 8) | header[17];
}

// What the host finds wrong, or null.
const char* Failure(const std::string& path) {
  const auto store = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  if (store->Init("no-such-folder/for/the/store") != -1 || base::RecordedLines().empty() ||
      base::RecordedLines()[0].rfind("60 [database]", 0) != 0) {
    return "a failing Init did not answer -1 with a line at level 60 in the host's sink";
  }
  std::string value;
  std::remove(path.c_str());
  if (store->Init(path.c_str()) != 0 || store->InsertSessionCache("token", "tok-1", 100) != 0 ||
      store->SelectSessionCache("token", 0, value) != 1 || value != "tok-1") {
    return "a session entry did not come back as stored";
  }
  store->Close();
  if (PageSizeOf(path) != STORE_PAGE_SIZE) {
    return "the store's file was not made by the store's own SQLite";
  }
  sqlite3* db = nullptr;
  const std::string host = path + ".host";
  std::remove(host.c_str());
  const bool made = sqlite3_open(host.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return made && PageSizeOf(host) == 4096 && sqlite3_libversion_number() == SQLITE_VERSION_NUMBER
             ? nullptr
             : "the host's own SQLite calls did not reach the host's SQLite";
}

}  // namespace

int main(int argc, char** argv) {
  const char* failure = argc == 2 ? Failure(argv[1]) : "usage: host_program DATABASE";
  std::printf("host_program: %s\n", failure == nullptr ? "the embedded store works" : failure);
  return failure == nullptr ? 0 : 1;
}
