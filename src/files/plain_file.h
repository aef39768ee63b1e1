// The system's own file calls, made before SQLite opens a file or instead
// of it: what is at a name, an open that never waits, and the owner-only
// file. Owner, group and other modes, symbolic links and FIFOs are POSIX's;
// Windows has none of them, and there every name is a plain file that SQLite
// may open (plain_file_windows.cc).

#ifndef DATABASE_INTERFACE_FILES_PLAIN_FILE_H_
#define DATABASE_INTERFACE_FILES_PLAIN_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace database_interface {

enum class FileKind { kMissing, kRegular, kOther };

// What is at `path`, a symbolic link itself being kOther; never opens it,
// so a FIFO cannot block. A regular file on a file system of the kernel's
// (procfs, sysfs and the like) is kOther too: a read of /proc/kmsg waits
// for the next kernel message. An element that cannot be looked at reads
// as kMissing: whoever then tries to create the file meets the same error.
FileKind KindOf(const std::string& path);

// Opens `path` as open(2) does with `flags` and `mode`, but the open itself
// never waits (a FIFO or a device is opened non-blocking) and the answer is
// a descriptor only for what its own kind says is a plain file: a regular
// file that KindOf would not call kOther, or a folder where `flags` are
// O_RDONLY. With `local_only`, a file on a network or FUSE file system,
// whose reads another machine or process can hold up, is refused too.
// Anything refused is closed again: -1 with errno ENXIO, as an open of a
// FIFO without a writer fails.
int OpenPlainFile(const char* path, int flags, int mode, bool local_only);

// Up to `count` bytes of the plain file at `path` from `offset`, or its last
// `count` bytes when `offset` is past them, read through one descriptor of
// OpenPlainFile's: a file swapped for a FIFO after it was judged is refused,
// never waited on. None when it cannot be opened or read.
std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool local_only);

// Which file a name led to, where files have devices and inodes.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
};

// Creates `path` as an empty file that only its owner may read or write,
// where the file system keeps modes, when nothing, not even a symbolic link,
// is there; answers whether it made one, and sets `made` to it. Always false
// where files have no modes: SQLite makes the file itself.
bool CreateOwnerOnlyFile(const std::string& path, FileId& made);

// Removes the file at `path` while it is still the empty regular file
// `made`. One that is no longer empty has been written by someone else and
// stays, and so does any other file the name now leads to.
void RemoveIfStillEmpty(const std::string& path, const FileId& made);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_PLAIN_FILE_H_
