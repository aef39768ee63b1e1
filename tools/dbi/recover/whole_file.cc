#include "recover/whole_file.h"

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "files/plain_file.h"

#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dbi {

namespace {

#if defined(_WIN32)
constexpr int kReadFlags = O_RDONLY | O_BINARY;
bool SizeOf(int fd, uint64_t& size) {
  struct _stati64 file = {};
  if (_fstati64(fd, &file) != 0) {
    return false;
  }
  size = static_cast<uint64_t>(file.st_size);
  return true;
}
int ReadSome(int fd, char* data, size_t size) {
  return _read(fd, data, static_cast<unsigned>(size));
}
int CreateExclusive(const std::string& path) {
  return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}
// None: the temporary always has a name.
int CreateUnnamed(const std::string& /*folder*/) {
  errno = EOPNOTSUPP;
  return -1;
}
int LinkUnnamed(int /*fd*/, const std::string& /*path*/) {
  errno = EOPNOTSUPP;
  return -1;
}
int RemoveFile(const char* path) {
  return _unlink(path);
}
int WriteSome(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size));
}
int Flush(int fd) {
  return _commit(fd);
}
int CloseFile(int fd) {
  return _close(fd);
}
// Windows' rename never replaces an existing file.
int MoveIntoPlace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str());
}
#else
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC;
bool SizeOf(int fd, uint64_t& size) {
  struct stat file = {};
  if (fstat(fd, &file) != 0) {
    return false;
  }
  size = static_cast<uint64_t>(file.st_size);
  return true;
}
ssize_t ReadSome(int fd, char* data, size_t size) {
  return read(fd, data, size);
}
int CreateExclusive(const std::string& path) {
  return open(path.c_str(), O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
}
#if defined(O_TMPFILE)
// A file in `folder` that has no name until LinkUnnamed gives it one: one
// cut off, by SIGKILL or a power cut, leaves nothing to clean up.
int CreateUnnamed(const std::string& folder) {
  return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}
// Gives the file its name only if nothing has it, as link(2) does. The
// descriptor's name in /proc needs no privilege; AT_EMPTY_PATH, where /proc
// is not mounted, needs CAP_DAC_READ_SEARCH.
int LinkUnnamed(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return 0;
  }
  return errno == ENOENT ? linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) : -1;
}
#else
int CreateUnnamed(const std::string& /*folder*/) {
  errno = EOPNOTSUPP;
  return -1;
}
int LinkUnnamed(int /*fd*/, const std::string& /*path*/) {
  errno = EOPNOTSUPP;
  return -1;
}
#endif
int RemoveFile(const char* path) {
  return unlink(path);
}
ssize_t WriteSome(int fd, const char* data, size_t size) {
  return write(fd, data, size);
}
int Flush(int fd) {
  return fsync(fd);
}
int CloseFile(int fd) {
  return close(fd);
}
// POSIX rename replaces what is there; a hard link never does.
int MoveIntoPlace(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) != 0) {
    return -1;
  }
  (void)unlink(from.c_str());
  return 0;
}
#endif

bool WriteAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto written = WriteSome(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return Flush(fd) == 0;
}

std::string Describe(int error_number) {
  return std::error_code(error_number, std::generic_category()).message();
}

// A named temporary's name while it exists, for a signal to remove it: a
// handler may not allocate, so it is copied here before the file is made.
char pending_name[4096];
volatile std::sig_atomic_t pending = 0;

extern "C" void RemovePendingAndDie(int signal_number) {
  if (pending != 0) {
    (void)RemoveFile(pending_name);
  }
  (void)std::signal(signal_number, SIG_DFL);
  (void)std::raise(signal_number);
}

// Removes the named temporary on the signals that end a program from a
// terminal or a service manager, for as long as it lives; SIGKILL cannot
// be caught, which is why Linux gets a file without a name instead.
class RemovedOnSignal {
 public:
  RemovedOnSignal() {
    for (const int signal_number : kSignals) {
      (void)std::signal(signal_number, &RemovePendingAndDie);
    }
  }
  // Names the file a signal removes from now on; "" none.
  static void Name(const std::string& path) {
    pending = 0;
    if (!path.empty() && path.size() < sizeof(pending_name)) {
      std::memcpy(pending_name, path.c_str(), path.size() + 1);
      pending = 1;
    }
  }
  ~RemovedOnSignal() {
    for (const int signal_number : kSignals) {
      (void)std::signal(signal_number, SIG_DFL);
    }
    pending = 0;
  }
  RemovedOnSignal(const RemovedOnSignal&) = delete;
  RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

 private:
#if defined(SIGHUP)
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#else
  static constexpr int kSignals[] = {SIGINT, SIGTERM};
#endif
};

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): where, then what, as every file call
Publish WriteNamed(const std::string& path, std::string_view bytes, std::string& error) {
  const RemovedOnSignal guard;
  std::string temporary;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = path + ".dbi-partial-" + std::to_string(attempt);
    // Named before it exists, so that no signal finds it made and unnamed.
    RemovedOnSignal::Name(temporary);
    fd = CreateExclusive(temporary);
    if (fd < 0) {
      RemovedOnSignal::Name("");
      if (errno != EEXIST) {
        break;
      }
    }
  }
  if (fd < 0) {
    error = Describe(errno);
    return Publish::kFailed;
  }
  const bool written = WriteAll(fd, bytes);
  const int write_errno = errno;
  if (CloseFile(fd) != 0 || !written) {
    error = Describe(written ? errno : write_errno);
    (void)RemoveFile(temporary.c_str());
    return Publish::kFailed;
  }
  if (MoveIntoPlace(temporary, path) != 0) {
    const int move_errno = errno;
    (void)RemoveFile(temporary.c_str());
    if (PathTaken(path)) {
      return Publish::kTaken;
    }
    error = Describe(move_errno);
    return Publish::kFailed;
  }
  return Publish::kWritten;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  const int fd = database_interface::OpenPlainFile(path.c_str(), kReadFlags, 0,
                                                   /*local_only=*/true);
  if (fd < 0) {
    error = "cannot open it: " + Describe(errno);
    return std::nullopt;
  }
  // The size judged is the one the descriptor had when opened: a file that
  // grows meanwhile is not read past it, and one that shrinks is read as it
  // then is.
  uint64_t size = 0;
  std::string bytes;
  if (!SizeOf(fd, size)) {
    error = "cannot read it: " + Describe(errno);
  } else if (size > kLargestFileRead) {
    error = "it has " + std::to_string(size) + " bytes, more than the " +
            std::to_string(kLargestFileRead >> 20) +
            " MiB that dbi reads whole (no store comes near that)";
  } else {
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
      const auto got = ReadSome(fd, &bytes[done], bytes.size() - done);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got < 0) {
        error = "cannot read it: " + Describe(errno);
        break;
      }
      if (got == 0) {
        break;
      }
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
  }
  (void)CloseFile(fd);
  if (!error.empty()) {
    return std::nullopt;
  }
  return bytes;
}

bool PathTaken(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): where, then what, as every file call
Publish PublishNewFile(const std::string& path, std::string_view bytes, std::string& error) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  const int fd = CreateUnnamed(folder.empty() ? "." : folder);
  if (fd < 0) {
    // A system or file system without files that have no name.
    return WriteNamed(path, bytes, error);
  }
  const bool written = WriteAll(fd, bytes);
  const int write_errno = errno;
  const bool linked = written && LinkUnnamed(fd, path) == 0;
  const int link_errno = errno;
  // Flushed before it was linked: a close that fails now loses nothing.
  (void)CloseFile(fd);
  if (linked) {
    return Publish::kWritten;
  }
  if (written && link_errno == EEXIST) {
    return Publish::kTaken;
  }
  error = Describe(written ? link_errno : write_errno);
  return Publish::kFailed;
}

}  // namespace dbi
