#include <base/log.h>
#include <database_interface/database_interface.h>
#include <database_interface/version.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    return 2;
  }
  auto db = database_interface::IDatabaseInterface::CreateDatabaseInterface();
  if (db->Init(argv[1]) != 0 || db->InsertSessionCache("greeting", "hello", 100) != 0) {
    return 1;
  }
  std::string value;
  if (db->SelectSessionCache("greeting", 0, value) != 1 || value != "hello") {
    return 1;
  }
  db->Close();
  std::printf("consumer of %s read back: %s (thread %d)\n", DATABASE_INTERFACE_VERSION_STRING,
              value.c_str(), base::GetTid());
  return 0;
}
