#include "fsync_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace dbi_bench {

namespace {

struct File {
  explicit File(const std::string& path) : fd(open(path.c_str(), O_RDWR | O_CREAT, 0600)) {
    if (fd < 0) {
      throw std::runtime_error("cannot open " + path);
    }
  }
  ~File() { close(fd); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const int fd;
};

}  // namespace

Block FsyncBlock(const std::string& folder) {
  auto file = std::make_shared<File>(folder + "/fsync.probe");
  return Timed([file, page = std::string(4096, 'p')](int64_t) {
    const bool written =
        pwrite(file->fd, page.data(), page.size(), 0) == static_cast<ssize_t>(page.size());
    Expect(written && fdatasync(file->fd) == 0, "fsync probe");
  });
}

}  // namespace dbi_bench
