#include <sys/mount.h>
#include <sys/param.h>

#include <cstring>

#include "files/file_system.h"

namespace database_interface {

namespace {

// The system keeps none of its own state in files (no procfs or sysfs); its
// mounts say themselves whether they are local. A FUSE volume, served by
// another process, may be mounted as local all the same, so it is known by
// how its type's name starts: macFUSE's, or osxfuse, as it was called before
// version 4.
FileSystem Kind(int rc, const struct statfs& system) {
  if (rc != 0) {
    return FileSystem::kUnknown;
  }
  const bool served = std::strncmp(system.f_fstypename, "macfuse", 7) == 0 ||
                      std::strncmp(system.f_fstypename, "osxfuse", 7) == 0;
  return (system.f_flags & MNT_LOCAL) != 0 && !served ? FileSystem::kLocal : FileSystem::kServed;
}

}  // namespace

bool MayBeKernelFile(uint64_t /*device*/, int64_t /*blocks*/) {
  return false;
}

FileSystem FileSystemOf(const char* path, int fd) {
  struct statfs system = {};
  return Kind(path != nullptr ? statfs(path, &system) : fstatfs(fd, &system), system);
}

}  // namespace database_interface
