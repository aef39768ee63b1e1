#include "files/sqlite_names.h"

#include <sqlite3.h>

#include <cstring>
#include <mutex>

#include "files/open_flags.h"

namespace database_interface {

namespace {

constexpr char kProbeName[] = "database_interface-probe";

// What the probe's open was handed for the main database.
struct ProbeAnswer {
  bool opened = false;
  std::string file;
  int flags = 0;
  std::string vfs;  // the URI's own vfs= parameter, if it has one
};

thread_local ProbeAnswer* probe_answer = nullptr;

// Opens nothing: it only notes what SQLite asked for, and fails.
int ProbeOpen(sqlite3_vfs* /*vfs*/, const char* name, sqlite3_file* file, int flags,
              int* /*out_flags*/) {
  if (probe_answer != nullptr && name != nullptr && (flags & SQLITE_OPEN_MAIN_DB) != 0) {
    probe_answer->opened = true;
    probe_answer->file = name;
    probe_answer->flags = flags;
    // The first vfs= is the URI's own: the probe's comes last.
    const char* vfs = sqlite3_uri_parameter(name, "vfs");
    probe_answer->vfs = vfs != nullptr && std::strcmp(vfs, kProbeName) != 0 ? vfs : "";
  }
  file->pMethods = nullptr;
  return SQLITE_CANTOPEN;
}

// A layer that names files as the default one does, registered once in
// the SQLite the store runs on (it is never the default).
const char* Probe() {
  static std::once_flag once;
  static sqlite3_vfs probe;
  static bool registered = false;
  std::call_once(once, [] {
    sqlite3_vfs* underlying = sqlite3_vfs_find(nullptr);
    if (underlying == nullptr) {
      return;
    }
    probe = *underlying;
    probe.pNext = nullptr;
    probe.zName = kProbeName;
    probe.xOpen = ProbeOpen;
    registered = sqlite3_vfs_register(&probe, 0) == SQLITE_OK;
  });
  return registered ? kProbeName : nullptr;
}

// `uri` with the probe as its file-system layer. SQLite takes the last
// vfs= of a URI; its query begins at the first '?' and a '#' ends it.
std::string ThroughProbe(const std::string& uri, const char* probe) {
  const size_t end = uri.find('#');
  const std::string query = uri.substr(0, end);
  return query + (query.find('?') == std::string::npos ? "?" : "&") + "vfs=" + probe;
}

// A vfs= of the URI's own creates files as the default layer does when it is
// one of SQLite's unix layers.
bool IsUnixVfs(const std::string& name) {
  return sqlite3_vfs_find(name.c_str()) != nullptr && name.rfind("unix", 0) == 0;
}

}  // namespace

std::string FullPathname(const std::string& path) {
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (vfs == nullptr) {
    return std::string();
  }
  std::string full(static_cast<size_t>(vfs->mxPathname) + 1, '\0');
  const int rc = vfs->xFullPathname(vfs, path.c_str(), vfs->mxPathname + 1, full.data());
  // SQLITE_OK_SYMLINK, a link followed on the way, is a success too.
  if ((rc & 0xff) != SQLITE_OK) {
    return std::string();
  }
  full.resize(std::strlen(full.c_str()));
  return full;
}

OpenTarget WhatUriOpens(const char* uri) {
  const char* probe = Probe();
  if (probe == nullptr) {
    return {OpenTarget::kUnknown, {}, false};
  }
  ProbeAnswer answer;
  probe_answer = &answer;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(ThroughProbe(uri, probe).c_str(), &db, kOpenFlags, nullptr);
  probe_answer = nullptr;
  (void)sqlite3_close(db);
  if (!answer.opened) {
    // In memory, or refused before any file: a bad parameter, an authority
    // SQLite does not take. Out of memory is no answer.
    return {rc == SQLITE_NOMEM ? OpenTarget::kUnknown : OpenTarget::kNoFile, {}, false};
  }
  if (!answer.vfs.empty() && !IsUnixVfs(answer.vfs)) {
    return {OpenTarget::kNoFile, {}, false};  // another layer's files are its own affair
  }
  return {OpenTarget::kFile, answer.file, (answer.flags & SQLITE_OPEN_CREATE) != 0};
}

}  // namespace database_interface
