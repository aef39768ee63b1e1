// The file-system calls made before SQLite opens the store's file, kept in
// one place because they are the system's own: owner, group and other file
// modes, symbolic links and FIFOs are POSIX's. Where the system has no such
// modes (Windows) FilesHaveModes() says so and nothing else here is asked.

#ifndef DATABASE_INTERFACE_FILES_PRIVATE_FILE_H_
#define DATABASE_INTERFACE_FILES_PRIVATE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace database_interface {

// Whether files here have owner, group and other modes.
bool FilesHaveModes();

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
// FIFO without a writer fails. Where the system has no such kinds, a plain
// open(2).
int OpenPlainFile(const char* path, int flags, int mode, bool local_only);

// Whether OpenPlainFile would open `path` for reading.
bool IsPlainFile(const std::string& path, bool local_only);

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

// Creates `path` as an empty file of mode 0600 when nothing, not even a
// symbolic link, is there; answers whether it made one, and sets `made` to it.
bool CreatePrivateFile(const std::string& path, FileId& made);

// Whether `path`, itself and not through a link, is still the file `made`,
// regular and its owner's alone: a folder of the path swapped since can
// have put another file under the name. Always true where files have no
// modes.
bool IsPrivateFile(const std::string& path, const FileId& made);

// Whether the rollback journal at `path` names a super-journal: it ends with
// that name's length, a checksum and the journal magic. Rolling it back
// deletes the file it names, whatever that is, and no store ever has one (it
// is never in a transaction over attached files). False for a journal that
// cannot be read as a plain file.
bool NamesSuperJournal(const std::string& path);

// Removes the file at `path` while it is the empty regular file `made`: the
// one CreatePrivateFile made for an open that then failed, where SQLite
// itself would have left no file. One that is no longer empty has been
// written by someone else and stays, and so does any other file the name
// now leads to.
void RemovePrivateFileIfEmpty(const std::string& path, const FileId& made);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_PRIVATE_FILE_H_
