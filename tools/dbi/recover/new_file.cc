#include "recover/new_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "recover/system_files.h"

namespace dbi {

namespace {

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
// terminal, a service manager or a file-size limit, for as long as it
// lives; SIGKILL cannot be caught, which is why Linux gets a file without a
// name instead.
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
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};
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
