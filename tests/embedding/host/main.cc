// Uses the embedded store as an SDK would: a failing Init must reach the
// host's own sink at level 60, then a session entry is stored and read back.

#include <base/log.h>
#include <database_interface/database_interface.h>

#include <cstdio>
#include <string>

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
  std::printf("host_program: %s\n", failure == nullptr ? "the embedded store works" : failure);
  return failure == nullptr ? 0 : 1;
}
