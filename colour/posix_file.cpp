#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace icc {
namespace {

class PosixSourceFile : public SourceFile {
 public:
  PosixSourceFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixSourceFile() override { close(fd_); }

  uint64_t Size() const override { return size_; }

  Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count != 0) {
      const ssize_t n = pread(fd_, p, count, off_t(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Result::Io(uint32_t(errno));
      }
      if (n == 0) return Result::Io(uint32_t(EIO));  // the file shrank under us
      p += n;
      offset += uint64_t(n);
      count -= std::size_t(n);
    }
    return {};
  }

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace

Result OpenPosixFile(const std::string& path, std::unique_ptr<SourceFile>* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Result::Io(uint32_t(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int e = S_ISREG(st.st_mode) ? errno : EISDIR;
    close(fd);
    return Result::Io(uint32_t(e));
  }
  out->reset(new PosixSourceFile(fd, uint64_t(st.st_size)));
  return {};
}

PosixReplacement::~PosixReplacement() { Discard(); }

Result PosixReplacement::Create(Sink** sink) {
  temp_ = path_ + ".XXXXXX";
  written_ = flushing_ = 0;
  fd_ = mkstemp(&temp_[0]);
  if (fd_ < 0) {
    temp_.clear();
    return Result::Io(uint32_t(errno));
  }
  *sink = this;
  return {};
}

Result PosixReplacement::Write(const void* data, std::size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (count != 0) {
    const ssize_t n = write(fd_, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Result::Io(uint32_t(errno));
    }
    p += n;
    count -= std::size_t(n);
    written_ += uint64_t(n);
  }
#ifdef SYNC_FILE_RANGE_WRITE
  // Start write-back of every full stretch; Finish's fsync still makes it all durable.
  constexpr uint64_t kStretch = 2u << 20;
  if (written_ - flushing_ >= kStretch) {
    sync_file_range(fd_, off64_t(flushing_), off64_t(written_ - flushing_), SYNC_FILE_RANGE_WRITE);
    flushing_ = written_;
  }
#endif
  return {};
}

Result PosixReplacement::Finish() {
  struct stat st;
  if (stat(path_.c_str(), &st) == 0) fchmod(fd_, st.st_mode & 07777);
  if (fsync(fd_) != 0) return Result::Io(uint32_t(errno));
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Result::Io(uint32_t(errno));
  return {};
}

Result PosixReplacement::Replace() {
  if (rename(temp_.c_str(), path_.c_str()) != 0) return Result::Io(uint32_t(errno));
  temp_.clear();
  return {};
}

void PosixReplacement::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

}  // namespace icc
