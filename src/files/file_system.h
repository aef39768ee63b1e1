// What kind of file system a file lives on, which only the system can say:
// its own local files, files another machine or process serves (a network
// share, a FUSE view), or the kernel's state dressed as files (procfs,
// sysfs), whose reads may wait for an event or never end. One file per
// system answers it.

#ifndef DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
#define DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_

namespace database_interface {

enum class FileSystem { kUnknown, kLocal, kServed, kKernel };

// The file system of `path`, or of the open file `fd` when `path` is null.
FileSystem FileSystemOf(const char* path, int fd);

inline FileSystem FileSystemOfPath(const char* path) {
  return FileSystemOf(path, -1);
}
inline FileSystem FileSystemOfFile(int fd) {
  return FileSystemOf(nullptr, fd);
}

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
