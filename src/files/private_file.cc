#include "files/private_file.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#elif defined(__APPLE__)
#include <sys/mount.h>
#include <sys/param.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#define DATABASE_INTERFACE_HAS_FILE_MODES 1
#else
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace database_interface {

namespace {

// A journal's last bytes: the super-journal name's length, its checksum and
// the magic, the first two as big-endian 32-bit numbers.
constexpr size_t kJournalTrailerBytes = 16;
constexpr unsigned char kJournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};

bool TrailerNamesSuperJournal(const unsigned char (&trailer)[kJournalTrailerBytes]) {
  const uint32_t name_length = (uint32_t{trailer[0]} << 24) | (uint32_t{trailer[1]} << 16) |
                               (uint32_t{trailer[2]} << 8) | uint32_t{trailer[3]};
  return std::memcmp(trailer + 8, kJournalMagic, sizeof kJournalMagic) == 0 && name_length != 0;
}

}  // namespace

#if defined(DATABASE_INTERFACE_HAS_FILE_MODES)
namespace {

#if defined(__linux__)
// File systems whose "files" are the kernel's: reads may wait for an event
// or never end, and their sizes say nothing.
constexpr uint64_t kKernelFileSystems[] = {PROC_SUPER_MAGIC,
                                           SYSFS_MAGIC,
                                           DEBUGFS_MAGIC,
                                           TRACEFS_MAGIC,
                                           SECURITYFS_MAGIC,
                                           SELINUX_MAGIC,
                                           SMACK_MAGIC,
                                           CGROUP_SUPER_MAGIC,
                                           CGROUP2_SUPER_MAGIC,
                                           PSTOREFS_MAGIC,
                                           EFIVARFS_MAGIC,
                                           BPF_FS_MAGIC,
                                           BINFMTFS_MAGIC,
                                           RDTGROUP_SUPER_MAGIC,
                                           NSFS_MAGIC,
                                           OPENPROM_SUPER_MAGIC,
                                           USBDEVICE_SUPER_MAGIC,
                                           XENFS_SUPER_MAGIC,
                                           DEVPTS_SUPER_MAGIC,
                                           BINDERFS_SUPER_MAGIC,
                                           0x62656570 /* configfs */,
                                           0x65735543 /* fusectl */};

// File systems whose reads another machine or process serves.
constexpr uint64_t kRemoteFileSystems[] = {
    NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC, SMB2_SUPER_MAGIC, CEPH_SUPER_MAGIC,
    AFS_SUPER_MAGIC, AFS_FS_MAGIC,    CODA_SUPER_MAGIC, V9FS_MAGIC,       FUSE_SUPER_MAGIC};

template <size_t N>
bool Among(uint64_t type, const uint64_t (&types)[N]) {
  return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

bool OfFiles(const struct statfs& system, bool local_only) {
  // f_type's own type differs between C libraries and word sizes.
  const uint64_t type = static_cast<uint64_t>(system.f_type) & 0xffffffffU;
  return !Among(type, kKernelFileSystems) && !(local_only && Among(type, kRemoteFileSystems));
}
#elif defined(__APPLE__)
// The system keeps none of its own state in files (no procfs or sysfs); its
// mounts say themselves whether they are local. A FUSE volume, served by
// another process, may be mounted as local all the same, so it is known by
// how its type's name starts: macFUSE's, or osxfuse, as it was called before
// version 4.
bool OfFiles(const struct statfs& system, bool local_only) {
  const bool served = std::strncmp(system.f_fstypename, "macfuse", 7) == 0 ||
                      std::strncmp(system.f_fstypename, "osxfuse", 7) == 0;
  return !local_only || ((system.f_flags & MNT_LOCAL) != 0 && !served);
}
#endif

#if defined(__linux__) || defined(__APPLE__)
bool OnFileSystemOfFiles(const std::string& path) {
  struct statfs system = {};
  return statfs(path.c_str(), &system) != 0 || OfFiles(system, false);
}

bool OnFileSystemOfFiles(int fd, bool local_only) {
  struct statfs system = {};
  return fstatfs(fd, &system) == 0 && OfFiles(system, local_only);
}
#else
bool OnFileSystemOfFiles(const std::string& /*path*/) {
  return true;
}

bool OnFileSystemOfFiles(int /*fd*/, bool /*local_only*/) {
  return true;
}
#endif

}  // namespace

bool FilesHaveModes() {
  return true;
}

FileKind KindOf(const std::string& path) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) != 0) {
    return FileKind::kMissing;
  }
  return S_ISREG(file.st_mode) && OnFileSystemOfFiles(path) ? FileKind::kRegular : FileKind::kOther;
}

int OpenPlainFile(const char* path, int flags, int mode, bool local_only) {
  const int fd = open(path, flags | O_NONBLOCK, mode);
  if (fd < 0) {
    return fd;
  }
  struct stat file = {};
  bool plain =
      fstat(fd, &file) == 0 && ((S_ISREG(file.st_mode) && OnFileSystemOfFiles(fd, local_only)) ||
                                (S_ISDIR(file.st_mode) && (flags & O_ACCMODE) == O_RDONLY));
  if (plain && (flags & O_NONBLOCK) == 0) {
    const int status = fcntl(fd, F_GETFL);
    plain = status != -1 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
  }
  if (!plain) {
    (void)close(fd);
    errno = ENXIO;
    return -1;
  }
  return fd;
}

bool IsPlainFile(const std::string& path, bool local_only) {
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, local_only);
  return fd >= 0 && close(fd) == 0;
}

std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool local_only) {
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY, 0, local_only);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat file = {};
  std::optional<std::string> bytes;
  if (fstat(fd, &file) == 0) {
    const auto size = static_cast<uint64_t>(file.st_size);
    std::string read_bytes(static_cast<size_t>(std::min<uint64_t>(count, size)), '\0');
    const uint64_t start = std::min(offset, size - read_bytes.size());
    size_t done = 0;
    while (done < read_bytes.size()) {
      const ssize_t got =
          pread(fd, &read_bytes[done], read_bytes.size() - done, static_cast<off_t>(start + done));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    if (done == read_bytes.size()) {
      bytes = std::move(read_bytes);
    }
  }
  (void)close(fd);
  return bytes;
}

bool SameFile(const struct stat& file, const FileId& id) {
  return static_cast<uint64_t>(file.st_dev) == id.device &&
         static_cast<uint64_t>(file.st_ino) == id.inode;
}

bool CreatePrivateFile(const std::string& path, FileId& made) {
  // SQLite's rollback journal copies the file's mode.
  const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return false;
  }
  struct stat file = {};
  const bool known = fstat(fd, &file) == 0;
  (void)close(fd);
  if (!known) {
    (void)unlink(path.c_str());  // empty, and made a moment ago
    return false;
  }
  made = {static_cast<uint64_t>(file.st_dev), static_cast<uint64_t>(file.st_ino)};
  return true;
}

bool IsPrivateFile(const std::string& path, const FileId& made) {
  struct stat file = {};
  return lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && SameFile(file, made) &&
         (file.st_mode & 077) == 0;
}

void RemovePrivateFileIfEmpty(const std::string& path, const FileId& made) {
  struct stat file = {};
  if (lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0 &&
      SameFile(file, made)) {
    (void)unlink(path.c_str());
  }
}

#else
// No modes to set, no links or FIFOs to meet: SQLite opens every name.

bool FilesHaveModes() {
  return false;
}

FileKind KindOf(const std::string& /*path*/) {
  return FileKind::kMissing;
}

bool CreatePrivateFile(const std::string& /*path*/, FileId& /*made*/) {
  return false;
}

bool IsPrivateFile(const std::string& /*path*/, const FileId& /*made*/) {
  return true;
}

void RemovePrivateFileIfEmpty(const std::string& /*path*/, const FileId& /*made*/) {}

int OpenPlainFile(const char* path, int flags, int mode, bool /*local_only*/) {
  return open(path, flags | O_BINARY, mode);  // never text mode
}

bool IsPlainFile(const std::string& /*path*/, bool /*local_only*/) {
  return true;
}

std::optional<std::string> ReadPlainBytes(const std::string& path, uint64_t offset, size_t count,
                                          bool /*local_only*/) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  const std::streamoff end = file.tellg();
  if (!file || end < 0) {
    return std::nullopt;
  }
  const auto size = static_cast<uint64_t>(end);
  std::string bytes(static_cast<size_t>(std::min<uint64_t>(count, size)), '\0');
  const uint64_t start = std::min(offset, size - bytes.size());
  if (!file.seekg(static_cast<std::streamoff>(start)) ||
      !file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    return std::nullopt;
  }
  return bytes;
}

#endif

bool NamesSuperJournal(const std::string& path) {
  // Read through a plain file's descriptor: a journal swapped for a FIFO
  // since it was looked at names nothing and is never waited on.
  const std::optional<std::string> trailer =
      ReadPlainBytes(path, UINT64_MAX, kJournalTrailerBytes, false);
  if (!trailer || trailer->size() != kJournalTrailerBytes) {
    return false;
  }
  unsigned char bytes[kJournalTrailerBytes] = {};
  std::memcpy(bytes, trailer->data(), sizeof bytes);
  return TrailerNamesSuperJournal(bytes);
}

}  // namespace database_interface
