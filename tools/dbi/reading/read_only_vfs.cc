#include "reading/read_only_vfs.h"

#include <sqlite3.h>

namespace dbi {

namespace {

constexpr int kWriteFlags =
    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE | SQLITE_OPEN_DELETEONCLOSE;

sqlite3_vfs* Underlying(sqlite3_vfs* vfs) {
  return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  if (name != nullptr) {
    flags = (flags & ~kWriteFlags) | SQLITE_OPEN_READONLY;
  }
  sqlite3_vfs* underlying = Underlying(vfs);
  return underlying->xOpen(underlying, name, file, flags, out_flags);
}

int Delete(sqlite3_vfs* /*vfs*/, const char* /*name*/, int /*sync_dir*/) {
  return SQLITE_IOERR_DELETE;
}

sqlite3_vfs* Register() {
  static sqlite3_vfs layer;
  sqlite3_vfs* underlying = sqlite3_vfs_find(nullptr);
  if (underlying == nullptr) {
    return nullptr;
  }
  layer = *underlying;
  layer.pNext = nullptr;
  layer.zName = "dbi-read-only";
  layer.pAppData = underlying;
  layer.xOpen = Open;
  layer.xDelete = Delete;
  return sqlite3_vfs_register(&layer, 0) == SQLITE_OK ? &layer : nullptr;
}

}  // namespace

const char* ReadOnlyVfs() {
  static sqlite3_vfs* const layer = Register();
  // Without the layer, opening by this name fails: never a silent fallback.
  return layer != nullptr ? layer->zName : "dbi-read-only";
}

}  // namespace dbi
