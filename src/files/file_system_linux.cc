#include <linux/magic.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "files/file_system.h"

namespace database_interface {

namespace {

// File systems whose "files" are the kernel's; configfs and fusectl have
// no name in <linux/magic.h>.
// clang-format off
constexpr uint64_t kKernelFileSystems[] = {
    PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC, SECURITYFS_MAGIC, SELINUX_MAGIC,
    SMACK_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, PSTOREFS_MAGIC, EFIVARFS_MAGIC,
    BPF_FS_MAGIC, BINFMTFS_MAGIC, RDTGROUP_SUPER_MAGIC, NSFS_MAGIC, OPENPROM_SUPER_MAGIC,
    USBDEVICE_SUPER_MAGIC, XENFS_SUPER_MAGIC, DEVPTS_SUPER_MAGIC, BINDERFS_SUPER_MAGIC,
    0x62656570, 0x65735543};
// clang-format on

// File systems whose reads another machine or process serves.
constexpr uint64_t kServedFileSystems[] = {
    NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC, SMB2_SUPER_MAGIC, CEPH_SUPER_MAGIC,
    AFS_SUPER_MAGIC, AFS_FS_MAGIC,    CODA_SUPER_MAGIC, V9FS_MAGIC,       FUSE_SUPER_MAGIC};

template <size_t N>
bool Among(uint64_t type, const uint64_t (&types)[N]) {
  return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

FileSystem Kind(int rc, const struct statfs& system) {
  if (rc != 0) {
    return FileSystem::kUnknown;
  }
  // f_type's own type differs between C libraries and word sizes.
  const uint64_t type = static_cast<uint64_t>(system.f_type) & 0xffffffffU;
  if (Among(type, kKernelFileSystems)) {
    return FileSystem::kKernel;
  }
  return Among(type, kServedFileSystems) ? FileSystem::kServed : FileSystem::kLocal;
}

}  // namespace

// The kernel's file systems have no disk: they are given anonymous devices,
// of major number 0, as tmpfs, network and FUSE file systems are. Their
// files are made up as they are read, and take no room.
bool MayBeKernelFile(uint64_t device, int64_t blocks) {
  return major(static_cast<dev_t>(device)) == 0 && blocks == 0;
}

FileSystem FileSystemOf(const char* path, int fd) {
  struct statfs system = {};
  return Kind(path != nullptr ? statfs(path, &system) : fstatfs(fd, &system), system);
}

}  // namespace database_interface
