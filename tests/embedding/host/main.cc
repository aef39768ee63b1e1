// Uses the embedded store as an SDK would: a failing Init must reach the
// host's own sink at level 60, then a record is stored and read back.

#include <base/log.h>
#include <database_interface/database_interface.h>

#include <cstdio>
#include <string>

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "host_program: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    return Fail("usage: host_program DATABASE");
  }
  const auto store = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  if (store->Init("no-such-folder/for/the/store") != -1) {
    return Fail("Init on a path that cannot be opened did not answer -1");
  }
  bool logged = false;
  for (const std::string& line : base::RecordedLines()) {
    logged = logged || line.rfind("60 [database]", 0) == 0;
  }
  if (!logged) {
    return Fail("the store's line did not reach the host's sink at level 60");
  }

  std::remove(argv[1]);
  if (store->Init(argv[1]) != 0) {
    return Fail("Init on a new file failed");
  }
  int32_t id = 0;
  std::string version;
  std::string type;
  int64_t time = 0;
  if (store->InsertStartRecode(id, "2.1.0", 5, "host", 4, 1700000000) != 1 ||
      store->SelectStartRecode(id, version, type, time) != 1 || version != "2.1.0" ||
      type != "host" || time != 1700000000) {
    return Fail("a start record did not come back as stored");
  }
  store->Close();
  std::printf("host_program: the embedded store works and logs to the host's sink\n");
  return 0;
}
