// The system's file calls that reading a file whole and publishing a new one
// make, one small function each; recover's files are written in terms of
// these alone. POSIX systems and Windows each have a file of their own.

#ifndef DATABASE_INTERFACE_TOOLS_DBI_RECOVER_SYSTEM_FILES_H_
#define DATABASE_INTERFACE_TOOLS_DBI_RECOVER_SYSTEM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace dbi {

// Flags that open a file for reading, as bytes.
extern const int kReadFlags;

// Opens `path` as open(2) does with `flags` and `mode`, but the open itself
// never waits (a FIFO or a device is opened non-blocking) and the answer is
// a descriptor only for a plain file: a regular file on a local file system
// that is not the kernel's, or a folder where `flags` are read-only. A file
// on a network or FUSE file system, whose reads another machine or process
// can hold up, is refused too. Anything refused is closed again: -1 with
// errno ENXIO, as an open of a FIFO without a writer fails.
int OpenPlainFile(const char* path, int flags, int mode);

bool SizeOf(int fd, uint64_t& size);
// As read(2) and write(2): the bytes done, or -1 with errno set.
int64_t ReadSome(int fd, char* data, size_t size);
int64_t WriteSome(int fd, const char* data, size_t size);
// A new file at `path`, owner-only, never one that is there (nor a link).
int CreateExclusive(const std::string& path);
// A file in `folder` that has no name until LinkUnnamed gives it one, so
// that one cut off leaves nothing; -1 with errno EOPNOTSUPP where the
// system has none.
int CreateUnnamed(const std::string& folder);
// Gives such a file its name only if nothing has it, as link(2) does.
int LinkUnnamed(int fd, const std::string& path);
int RemoveFile(const char* path);
// Flushes the file's bytes to the disk.
int Flush(int fd);
int CloseFile(int fd);
// What errno `error_number` means, in words.
inline std::string Describe(int error_number) {
  return std::error_code(error_number, std::generic_category()).message();
}
// Puts `from` at `to` only if nothing is at `to`, never replacing it.
int MoveIntoPlace(const std::string& from, const std::string& to);

}  // namespace dbi

#endif  // DATABASE_INTERFACE_TOOLS_DBI_RECOVER_SYSTEM_FILES_H_
