// What kind of file system a file lives on, which only the system can say:
// its own local files, files another machine or process serves (a network
// share, a FUSE view), or the kernel's state dressed as files (procfs,
// sysfs), whose reads may wait for an event or never end. One file per
// system answers it.

#ifndef DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
#define DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_

namespace database_interface {

enum class FileSystem { kUnknown, kLocal, kServed, kKernel };

FileSystem FileSystemOfPath(const char* path);
FileSystem FileSystemOfFile(int fd);

}  // namespace database_interface

#endif  // DATABASE_INTERFACE_FILES_FILE_SYSTEM_H_
