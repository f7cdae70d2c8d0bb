// POSIX files for the portable container: used by the native tests, fuzzers and benchmarks.
#pragma once

#include <string>

#include "icc_profile.h"

namespace icc {

// Opens `path` for reading; errno values are reported as Status::Io.
Result OpenPosixFile(const std::string& path, std::unique_ptr<SourceFile>* out);

// Writes beside `path` into a temporary file, fsyncs it and renames it over `path`,
// keeping the file's permission bits.  Written data is sent to the disk while the rest is
// still being written, so that the final fsync has little left to wait for.
class PosixReplacement : public Replacement, private Sink {
 public:
  explicit PosixReplacement(std::string path) : path_(std::move(path)) {}
  ~PosixReplacement() override;

  Result Create(Sink** sink) override;
  Result Finish() override;
  Result Replace() override;
  void Discard() override;

  const std::string& TempPath() const { return temp_; }

 private:
  Result Write(const void* data, std::size_t count) override;

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  uint64_t written_ = 0;
  uint64_t flushing_ = 0;  // bytes already handed to the disk before Finish
};

}  // namespace icc
