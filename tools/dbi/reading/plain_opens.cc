#include "reading/plain_opens.h"

#include <sqlite3.h>

#include <cstring>

#include "recover/system_files.h"

namespace dbi {

namespace {

using OpenCall = int (*)(const char*, int, int);

OpenCall unix_open = nullptr;

// The devices SQLite's unix layer opens itself: its source of random bytes,
// and what it holds descriptors 0 to 2 with so that no file ever gets one.
bool IsSqlitesOwnDevice(const char* path) {
  return std::strcmp(path, "/dev/urandom") == 0 || std::strcmp(path, "/dev/null") == 0;
}

int PlainOpen(const char* path, int flags, int mode) {
  return IsSqlitesOwnDevice(path) ? unix_open(path, flags, mode) : OpenPlainFile(path, flags, mode);
}

}  // namespace

bool OpenOnlyPlainFiles() {
  sqlite3_vfs* unix_layer = sqlite3_vfs_find("unix");
  if (unix_layer == nullptr) {
    return false;
  }
  // Every unix layer shares one table of system calls.
  unix_open = reinterpret_cast<OpenCall>(unix_layer->xGetSystemCall(unix_layer, "open"));
  return unix_open != nullptr &&
         unix_layer->xSetSystemCall(unix_layer, "open",
                                    reinterpret_cast<sqlite3_syscall_ptr>(&PlainOpen)) == SQLITE_OK;
}

}  // namespace dbi
