// The system's own file calls, made before SQLite opens a file: what is at a
// name, and the owner-only file. Owner, group and other modes, symbolic
// links and FIFOs are POSIX's; Windows has none of them, and there SQLite
// makes the file itself (plain_file_windows.cc).

#ifndef DATABASE_INTERFACE_FILES_PLAIN_FILE_H_
#define DATABASE_INTERFACE_FILES_PLAIN_FILE_H_

#include <string>

namespace database_interface {

enum class FileKind { kMissing, kRegular, kOther };

// What is at `path`, a symbolic link itself being kOther; never opens it,
// so a FIFO cannot block. A regular file on a file system of the kernel's
// (procfs, sysfs and the like) is kOther too: a read of /proc/kmsg waits
// for the next kernel message. An element that cannot be looked at reads
// as kMissing: whoever then tries to create the file meets the same error.
FileKind KindOf(const std::string& path);

// Creates `path` as an empty file that only its owner may read or write,
// where the file system keeps modes, when nothing, not even a symbolic link,
// is there; answers whether it made one. Always false where files have no
// modes: SQLite makes the file itself.
bool CreateOwnerOnlyFile(const std::string& path);

// Removes the regular file at `path` while it is still empty: one that is
// no longer empty has been written, by SQLite or someone else, and stays.
void RemoveIfStillEmpty(const std::string& path);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_PLAIN_FILE_H_
