#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <vector>

namespace posix {
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
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come; what is not
  // a regular file is refused before anything is read from it.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Result::Io(uint32_t(errno));
  struct stat st;
  const bool stated = fstat(fd, &st) == 0;
  if (!stated || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, O_RDONLY) != 0) {
    const int e = stated && !S_ISREG(st.st_mode) ? EISDIR : errno;
    close(fd);
    return Result::Io(uint32_t(e));
  }
  out->reset(new PosixSourceFile(fd, uint64_t(st.st_size)));
  return {};
}

namespace {

PosixReplacement* live = nullptr;  // replacements that hold a temporary file

constexpr uint64_t kBlock = 4096;  // holes are kept in whole blocks of this size

bool IsZero(const uint8_t* p, std::size_t count) {
  return count != 0 && p[0] == 0 && std::memcmp(p, p + 1, count - 1) == 0;
}

// PATH.tagwright-PID-XXXXXX, the name shortened where it would not fit the folder.
std::string TempPattern(const std::string& path) {
  const std::string tag = ".tagwright-" + std::to_string(getpid()) + "-XXXXXX";
  const std::size_t slash = path.rfind('/');
  const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t room = NAME_MAX > tag.size() ? NAME_MAX - tag.size() : 0;
  return path.substr(0, name_at + std::min(path.size() - name_at, room)) + tag;
}

Result WriteAt(int fd, const uint8_t* p, std::size_t count, uint64_t offset) {
  while (count != 0) {
    const ssize_t n = pwrite(fd, p, count, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return Result::Io(uint32_t(errno));
    }
    p += n;
    count -= std::size_t(n);
    offset += uint64_t(n);
  }
  return {};
}

}  // namespace

SignalsHeld::SignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaddset(&held, s);
  sigprocmask(SIG_BLOCK, &held, &old_);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

PosixReplacement::~PosixReplacement() { Discard(); }

void RemoveTemporaryFiles() {
  for (PosixReplacement* r = live; r; r = r->next_) unlink(r->temp_.c_str());
}

void PosixReplacement::Unlist() {
  if (!prev_) return;
  *prev_ = next_;
  if (next_) next_->prev_ = prev_;
  next_ = nullptr;
  prev_ = nullptr;
}

Result PosixReplacement::Create(Sink** sink) {
  written_ = flushing_ = 0;
  had_file_ = stat(path_.c_str(), &old_) == 0;
  sparse_ = had_file_ && uint64_t(old_.st_blocks) * 512 < uint64_t(old_.st_size);
  SignalsHeld held;
  temp_ = TempPattern(path_);
  fd_ = mkstemp(&temp_[0]);
  if (fd_ < 0) {
    temp_.clear();
    return Result::Io(uint32_t(errno));
  }
  next_ = live;
  if (live) live->prev_ = &next_;
  prev_ = &live;
  live = this;
  *sink = this;
  return {};
}

Result PosixReplacement::Write(const void* data, std::size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  const uint64_t end = written_ + count;
  // Where the old file had holes, the new one leaves every stretch of zeros within a block
  // unwritten (it reads as zeros), so that whole blocks of them stay holes.
  auto piece_end = [&](uint64_t at) { return sparse_ ? std::min(end, at / kBlock * kBlock + kBlock) : end; };
  auto zeros = [&](uint64_t at) { return sparse_ && IsZero(p + (at - written_), std::size_t(piece_end(at) - at)); };
  for (uint64_t at = written_; at < end;) {
    uint64_t data_end = at;
    while (data_end < end && !zeros(data_end)) data_end = piece_end(data_end);
    Result r = WriteAt(fd_, p + (at - written_), std::size_t(data_end - at), at);
    if (!r.ok()) return r;
    for (at = data_end; at < end && zeros(at);) at = piece_end(at);
  }
  written_ = end;
#ifdef SYNC_FILE_RANGE_WRITE
  // Start write-back of every full stretch; Finish's fsync still makes it all durable.
  constexpr uint64_t kStretch = 2u << 20;
  if (flush_ && written_ - flushing_ >= kStretch) {
    sync_file_range(fd_, off64_t(flushing_), off64_t(written_ - flushing_), SYNC_FILE_RANGE_WRITE);
    flushing_ = written_;
  }
#endif
  return {};
}

// Owner and group where the caller may set them (a file of another user becomes the
// caller's, as any file the caller makes), extended attributes, then the permission bits,
// which changing the owner may have cleared.
Result PosixReplacement::KeepIdentity() {
  if (fchown(fd_, old_.st_uid, old_.st_gid) != 0) (void)fchown(fd_, uid_t(-1), old_.st_gid);
  std::vector<char> names(256), value(256);
  ssize_t length;
  while ((length = llistxattr(path_.c_str(), names.data(), names.size())) < 0 && errno == ERANGE)
    names.resize(names.size() * 4);
  if (length < 0 && errno != ENOTSUP) return Result::Io(uint32_t(errno));
  for (ssize_t at = 0; at < length; at += ssize_t(std::strlen(&names[std::size_t(at)])) + 1) {
    const char* name = &names[std::size_t(at)];
    ssize_t size;
    while ((size = lgetxattr(path_.c_str(), name, value.data(), value.size())) < 0 &&
           errno == ERANGE)
      value.resize(value.size() * 4);
    if (size < 0 && errno == ENODATA) continue;  // removed meanwhile
    if (size < 0 || fsetxattr(fd_, name, value.data(), std::size_t(size), 0) != 0)
      return Result::Io(uint32_t(errno));
  }
  if (fchmod(fd_, old_.st_mode & 07777) != 0) return Result::Io(uint32_t(errno));
  return {};
}

Result PosixReplacement::Finish() {
  Result r;
  if (had_file_) r = KeepIdentity();
  if (r.ok() && sparse_ && ftruncate(fd_, off_t(written_)) != 0) r = Result::Io(uint32_t(errno));
  if (r.ok() && flush_ && fsync(fd_) != 0) r = Result::Io(uint32_t(errno));
  if (!r.ok()) return r;
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) return Result::Io(uint32_t(errno));
  return {};
}

// The temporary file's bytes over the old file's, then the temporary file goes.  Signals
// are held off meanwhile: the temporary file is the only complete copy until the end.
Result PosixReplacement::CopyIntoPlace() {
  const int in = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = in < 0 ? -1 : open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  Result r;
  std::vector<uint8_t> buffer(1 << 20);
  uint64_t at = 0;
  for (ssize_t n; r.ok() && out >= 0 && (n = read(in, buffer.data(), buffer.size())) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    r = n < 0 ? Result::Io(uint32_t(errno)) : WriteAt(out, buffer.data(), std::size_t(n), at);
    at += uint64_t(n > 0 ? n : 0);
  }
  if (in < 0 || out < 0) r = Result::Io(uint32_t(errno));
  if (r.ok() && (ftruncate(out, off_t(at)) != 0 || fsync(out) != 0)) r = Result::Io(uint32_t(errno));
  if (out >= 0 && close(out) != 0 && r.ok()) r = Result::Io(uint32_t(errno));
  if (in >= 0) close(in);
  if (r.ok()) {
    unlink(temp_.c_str());
  } else if (at != 0) {
    Unlist();  // the old file is part written: the temporary file stays as the whole copy
    temp_.clear();
  }
  return r;
}

Result PosixReplacement::Replace() {
  SignalsHeld held;
  if (in_place_) {
    const Result r = CopyIntoPlace();
    if (!r.ok()) return r;
  } else if (rename(temp_.c_str(), path_.c_str()) != 0) {
    return Result::Io(uint32_t(errno));
  }
  Unlist();
  temp_.clear();
  return {};
}

void PosixReplacement::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  SignalsHeld held;
  if (!temp_.empty()) unlink(temp_.c_str());
  Unlist();
  temp_.clear();
}

}  // namespace posix
