// What kind of file system a file lives on, which only the system can say:
// its own local files, files another machine or process serves (a network
// share, a FUSE view), or the kernel's state dressed as files (procfs,
// sysfs), whose reads may wait for an event or never end. One file per
// system answers it.

#ifndef DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
#define DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_

#include <cstdint>

namespace database_interface {

enum class FileSystem { kUnknown, kLocal, kServed, kKernel };

// The file system of `path`, or of the open file `fd` when `path` is null.
FileSystem FileSystemOf(const char* path, int fd);

// False when a file on `device` that takes `blocks` of room cannot be on a
// file system of the kernel's: a cheaper answer than FileSystemOf's.
bool MayBeKernelFile(uint64_t device, int64_t blocks);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
