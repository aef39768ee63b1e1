// Init on a file holding arbitrary bytes: it opens the file or refuses it,
// never crashes or leaks, and afterwards reads and writes answer within
// their results, -1 for all of them when the file was refused.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "database_interface/database_interface.h"

namespace {

// Drops every line: the inputs are mostly refused, and each refusal writes one.
struct DroppingSink final : base::IBaseLogInterface {
  void WriteLog(const int32_t& /*level*/, const int32_t& /*tid*/, const char* /*format*/,
                ...) override {}
};

std::string folder;

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  base::IBaseLogInterface::SetLogInstance(std::make_shared<DroppingSink>());
  std::string pattern = (std::filesystem::temp_directory_path() / "dbi_fuzz_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || std::atexit(RemoveFolder) != 0) {
    std::abort();
  }
  folder = pattern;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = folder + "/store.db";
  std::filesystem::remove(path + "-journal");
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  auto db = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  const bool open = db->Init(path.c_str()) == 0;
  std::string key, secret;
  int32_t id = 0;
  std::vector<database_interface::CoreRecode> cores;
  std::vector<database_interface::InstanceInfo> infos;
  for (const int32_t result :
       {db->SelectMessageCollectKey(key, secret), db->SelectAllCoreRecode(cores),
        db->SelectInstanceInfoWithStartRecodeId(1, infos), db->SelectSessionCache("k", 0, key),
        db->InsertStartRecode(id, "v", 1, "t", 1, 1), db->DeleteAllStartRecode()}) {
    if (result < -1 || (!open && result != -1)) {
      __builtin_trap();
    }
  }
  db->Close();
  return 0;
}
