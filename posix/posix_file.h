// The POSIX layer: files for the portable container, as tagwright-cli and the native tests
// and benchmarks open and replace them.
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <string>

#include "icc_profile.h"

namespace posix {

using icc::Replacement;
using icc::Result;
using icc::Sink;
using icc::SourceFile;

// Opens the regular file `path` for reading; errno values are reported as Status::Io, and
// EISDIR for anything but a regular file (a folder, a FIFO, a device), which is never waited on.
Result OpenPosixFile(const std::string& path, std::unique_ptr<SourceFile>* out);

// Writes beside `path` into a temporary file, fsyncs it and renames it over `path`.  The
// new file keeps what the old one had: its owner and group (as far as the caller may set
// them), its permission bits, its extended attributes (POSIX ACLs and security labels are
// among them) and, for a sparse file, its holes.  Written data is sent to the disk while
// the rest is still being written, so that the final fsync has little left to wait for.
//
// The temporary file is named PATH.tagwright-PID-XXXXXX.  While it exists it is on a list
// that RemoveTemporaryFiles empties, for a signal handler to call.
class PosixReplacement : public Replacement, private Sink {
 public:
  explicit PosixReplacement(std::string path) : path_(std::move(path)) {}
  ~PosixReplacement() override;

  // Finish leaves the flush to the caller, who makes the file system durable (syncfs)
  // before Replace: many files then cost one flush instead of one each.
  void FlushLater() { flush_ = false; }
  // Replace copies the new bytes into the old file instead of renaming, so that every
  // name of a file with hard links sees them (the temporary file is the complete copy
  // until then).
  void WriteInPlace() { in_place_ = true; }

  Result Create(Sink** sink) override;
  Result Finish() override;
  Result Replace() override;
  void Discard() override;

  const std::string& TempPath() const { return temp_; }

 private:
  Result Write(const void* data, std::size_t count) override;
  Result KeepIdentity();
  Result CopyIntoPlace();
  void Unlist();

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  uint64_t written_ = 0;
  uint64_t flushing_ = 0;  // bytes already handed to the disk before Finish
  bool flush_ = true, in_place_ = false;
  bool had_file_ = false, sparse_ = false;
  struct stat old_ {};
  PosixReplacement* next_ = nullptr;  // the list of temporary files
  PosixReplacement** prev_ = nullptr;

  friend void RemoveTemporaryFiles();
};

// Removes the temporary file of every PosixReplacement of the process; safe to call from a
// signal handler for SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE, which are held off
// while the list changes.
void RemoveTemporaryFiles();

// Holds those signals off while it lives.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();

 private:
  sigset_t old_;
};

}  // namespace posix
