// Init on a file holding arbitrary bytes: it opens the file or refuses it,
// never crashes or leaks, and then every operation answers within its
// results, -1 for all of them when the file was refused.

#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "database_interface/database_interface.h"
#include "fuzz_support.h"

using database_interface::CoreRecode;
using database_interface::IDatabaseInterface;
using database_interface::InstanceInfo;

namespace {

std::string folder;
std::string path;

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

// Every record operation once; a refused store answers -1 to each.
bool AnswersWithinResults(IDatabaseInterface& db, bool open) {
  std::string a, b;
  int32_t id = 0;
  int64_t time = 0;
  CoreRecode core;
  InstanceInfo info;
  std::vector<CoreRecode> cores;
  std::vector<InstanceInfo> infos;
  const int32_t results[] = {db.SelectMessageCollectKey(a, b),
                             db.SelectStartRecode(1, a, b, time),
                             db.SelectAllCoreRecode(cores),
                             db.SelectInstanceInfoWithStartRecodeId(1, infos),
                             db.SelectSessionCache("k", 0, a),
                             db.InsertStartRecode(id, "v", 1, "t", 1, 1),
                             db.InsertCoreRecode(core),
                             db.InsertInstanceInfo(info),
                             db.UpdataInstanceSessionId(1, "s", 1),
                             db.InsertSessionCache("k", "v", 1),
                             db.InsertMessageCollectKey("k", 1, "s", 1),
                             db.DeleteSessionCache(1),
                             db.DeleteInstanceInfo(1),
                             db.DeleteCoreRecode(1),
                             db.DeleteStartRecode(1),
                             db.DeleteAllStartRecode()};
  for (int32_t result : results) {
    if (result < -1 || (!open && result != -1)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dbi_fuzz::DropLogLines();
  std::string pattern = (std::filesystem::temp_directory_path() / "dbi_fuzz_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    abort();
  }
  folder = pattern;
  path = folder + "/store.db";
  atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::filesystem::remove(path + "-journal");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto db = IDatabaseInterface::CreateDatabaseInterface();
  const bool open = db->Init(path.c_str()) == 0;
  if (!AnswersWithinResults(*db, open)) {
    __builtin_trap();
  }
  db->Close();
  return 0;
}
