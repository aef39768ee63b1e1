#include "private_file.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <iterator>
#define DATABASE_INTERFACE_HAS_FILE_MODES 1
#else
#include <fcntl.h>
#include <io.h>

#include <cstdio>
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

// SQLite's own bound (SQLITE_MAX_SYMLINK), counted as it counts.
constexpr int kMaxLinks = 100;

std::string CurrentFolder() {
  char folder[PATH_MAX];
  return getcwd(folder, sizeof folder) != nullptr ? std::string(folder) : std::string();
}

// Empty when the link cannot be read, or names nothing.
std::string LinkTarget(const std::string& link) {
  char target[PATH_MAX];
  const ssize_t size = readlink(link.c_str(), target, sizeof target);
  return size > 0 && static_cast<size_t>(size) < sizeof target
             ? std::string(target, static_cast<size_t>(size))
             : std::string();
}

enum class Step { kNext, kLink, kFail };

// Puts `element` on the name built so far as SQLite does: an empty one or
// "." dropped, ".." taking off the last one, any other appended and looked
// at. kLink when the name now ends in a symbolic link.
Step Append(std::string& full, const std::string& element) {
  if (element.empty() || element == ".") {
    return Step::kNext;
  }
  if (element == "..") {
    if (full.size() <= 1) {
      return Step::kFail;
    }
    full.erase(full.rfind('/'));
    return Step::kNext;
  }
  full += '/';
  full += element;
  struct stat file = {};
  if (lstat(full.c_str(), &file) != 0) {
    return errno == ENOENT ? Step::kNext : Step::kFail;
  }
  return S_ISLNK(file.st_mode) ? Step::kLink : Step::kNext;
}

#if defined(__linux__)
// File systems whose "files" are the kernel's: reads may wait for an event
// or never end, and their sizes say nothing.
constexpr unsigned long kKernelFileSystems[] = {PROC_SUPER_MAGIC,
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
constexpr unsigned long kRemoteFileSystems[] = {
    NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC, SMB2_SUPER_MAGIC, CEPH_SUPER_MAGIC,
    AFS_SUPER_MAGIC, AFS_FS_MAGIC,    CODA_SUPER_MAGIC, V9FS_MAGIC,       FUSE_SUPER_MAGIC};

template <size_t N>
bool Among(unsigned long type, const unsigned long (&types)[N]) {
  return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

bool OfFiles(const struct statfs& system, bool local_only) {
  // f_type's own type differs between C libraries and word sizes.
  const auto type = static_cast<unsigned long>(system.f_type) & 0xffffffffUL;
  return !Among(type, kKernelFileSystems) && !(local_only && Among(type, kRemoteFileSystems));
}

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

std::string FullPathname(const std::string& path) {
  std::string rest = path;  // the elements still to append
  if (path.empty() || path[0] != '/') {
    const std::string folder = CurrentFolder();
    if (folder.empty()) {
      return std::string();
    }
    rest = folder + "/" + path;
  }
  std::string full;
  int links = 0;
  size_t start = 0;
  while (start < rest.size()) {
    const size_t end = std::min(rest.find('/', start), rest.size());
    const std::string element = rest.substr(start, end - start);
    start = end + 1;
    const Step step = Append(full, element);
    if (step == Step::kFail) {
      return std::string();
    }
    if (step == Step::kLink) {
      // The link's target takes its place, in front of the elements after it.
      const std::string target = LinkTarget(full);
      if (links++ > kMaxLinks || target.empty()) {
        return std::string();
      }
      full.erase(target[0] == '/' ? 0 : full.size() - element.size() - 1);
      rest.replace(0, std::min(start, rest.size()), target + '/');
      start = 0;
    }
  }
  return full.size() < 2 ? std::string() : full;
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

bool NamesSuperJournal(const std::string& path) {
  // Never waits: a journal swapped for a FIFO since it was looked at is no
  // plain file and names nothing.
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY | O_CLOEXEC, 0, false);
  if (fd < 0) {
    return false;
  }
  struct stat journal = {};
  unsigned char trailer[kJournalTrailerBytes] = {};
  const bool read =
      fstat(fd, &journal) == 0 && journal.st_size >= static_cast<off_t>(sizeof trailer) &&
      pread(fd, trailer, sizeof trailer, journal.st_size - static_cast<off_t>(sizeof trailer)) ==
          static_cast<ssize_t>(sizeof trailer);
  (void)close(fd);
  return read && TrailerNamesSuperJournal(trailer);
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

std::string FullPathname(const std::string& path) {
  return path;
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

bool NamesSuperJournal(const std::string& path) {
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    return false;
  }
  unsigned char trailer[kJournalTrailerBytes] = {};
  const bool read = _lseeki64(fd, -static_cast<long long>(sizeof trailer), SEEK_END) >= 0 &&
                    _read(fd, trailer, sizeof trailer) == static_cast<int>(sizeof trailer);
  (void)_close(fd);
  return read && TrailerNamesSuperJournal(trailer);
}

int OpenPlainFile(const char* path, int flags, int mode, bool /*local_only*/) {
  return open(path, flags, mode);
}

#endif

}  // namespace database_interface
