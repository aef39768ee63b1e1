// A new file that appears under its name only once it is complete.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_NEW_FILE_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_NEW_FILE_H_

#include <string>
#include <string_view>

namespace dbi {

// Whether anything (a file, a folder, a dangling symbolic link) is at `path`.
bool PathTaken(const std::string& path);

enum class Publish { kWritten, kTaken, kFailed };

// Writes `bytes` to a new file `path`, owner-only where the system has file
// modes: first to a temporary file beside it, flushed to the disk, then put
// in place only if nothing is at `path` by then (kTaken otherwise). On any
// failure (kFailed, with `error` set) nothing is left at `path` or beside
// it, nor when the program is ended meanwhile: where the file system has
// files without a name (Linux's own, not FUSE's) the temporary has none
// until it is complete, so even SIGKILL leaves nothing; elsewhere it is
// removed on SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGXFSZ.
Publish PublishNewFile(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_NEW_FILE_H_
