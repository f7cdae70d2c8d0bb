// tagwright-cli on Linux and other POSIX systems: UTF-8 arguments and output, profiles
// through the container over POSIX files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "commands.h"
#include "posix_file.h"

namespace {

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string PathError(int error) {
  return error == ENAMETOOLONG ? "the path is longer than the system takes (PATH_MAX)"
                               : std::strerror(error);
}

// Saves made durable together: every new file is written beside its old one, then each
// file system is flushed once (syncfs), then the files are renamed, each reported as it
// is, and each folder is flushed once for the renames.
class Batch {
 public:
  ~Batch() { pending_.clear(); }  // the replacements remove their temporary files

  void Add(std::unique_ptr<posix::PosixReplacement> replacement, const std::string& path,
           uint64_t bytes, std::function<void(const icc::Result&)> committed) {
    pending_.push_back({std::move(replacement), path, Folder(path), std::move(committed)});
    bytes_ += bytes;
    if (pending_.size() >= kMostFiles || bytes_ >= kMostBytes) Commit();
  }

  void Commit() {
    std::map<dev_t, icc::Result> devices;       // each file system's flush
    std::map<std::string, icc::Result> folders;  // the flush of each folder's file system
    for (const Pending& p : pending_) {
      if (folders.count(p.folder)) continue;
      const int fd = open(p.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st;
      icc::Result r;
      if (fd < 0 || fstat(fd, &st) != 0) {
        r = icc::Result::Io(uint32_t(errno));
      } else {
        auto device = devices.find(st.st_dev);
        if (device == devices.end())
          device = devices.emplace(st.st_dev, syncfs(fd) == 0 ? icc::Result()
                                                             : icc::Result::Io(uint32_t(errno)))
                       .first;
        r = device->second;
      }
      if (fd >= 0) close(fd);
      folders[p.folder] = r;
    }
    std::vector<Pending> pending;
    pending.swap(pending_);
    bytes_ = 0;
    std::vector<int> replaced;
    for (Pending& p : pending) {
      const posix::SignalsHeld held;  // a file renamed is a file reported
      icc::Result r = folders[p.folder];
      // Held open across the rename, the old file is freed when it is let go of, below.
      const int old = r.ok() ? open(p.path.c_str(), O_PATH | O_CLOEXEC) : -1;
      if (old >= 0) replaced.push_back(old);
      if (r.ok()) r = p.replacement->Replace();
      if (!r.ok()) p.replacement->Discard();
      p.committed(r);
      if (replaced.size() == kHeld) CloseTogether(&replaced);
    }
    CloseTogether(&replaced);
    for (const auto& folder : folders) {
      const int fd = open(folder.first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd >= 0) fsync(fd), close(fd);
    }
  }

 private:
  // A batch is as large as can be, within bounds of memory and of the work a signal throws
  // away: new inodes are then all made before old ones are freed, which the file system
  // would otherwise look past when it makes the next ones.
  static constexpr std::size_t kMostFiles = 16384;
  static constexpr uint64_t kMostBytes = 512u << 20;
  static constexpr std::size_t kHeld = 512, kClosers = 16;

  // Lets go of files by several threads at once: freeing an old file's blocks can cost more
  // than writing its replacement (where the file system discards them at once), and the
  // threads' waits overlap.
  static void CloseTogether(std::vector<int>* fds) {
    const posix::SignalsHeld held;  // the threads leave the signals to this one
    auto close_share = [fds](std::size_t first) {
      for (std::size_t i = first; i < fds->size(); i += kClosers) close((*fds)[i]);
    };
    std::vector<std::thread> threads;
    try {
      while (threads.size() < kClosers && threads.size() < fds->size())
        threads.emplace_back(close_share, threads.size());
    } catch (const std::system_error&) {
    }
    for (std::size_t share = threads.size(); share < kClosers; ++share) close_share(share);
    for (std::thread& thread : threads) thread.join();
    fds->clear();
  }

  struct Pending {
    std::unique_ptr<posix::PosixReplacement> replacement;
    std::string path, folder;
    std::function<void(const icc::Result&)> committed;
  };
  std::vector<Pending> pending_;
  uint64_t bytes_ = 0;
};

class PosixSession : public cli::ProfileSession {
 public:
  PosixSession(std::unique_ptr<icc::Profile> profile, std::string path, Batch& batch,
               bool in_place)
      : profile_(std::move(profile)), tags_(*profile_), path_(std::move(path)), batch_(batch),
        in_place_(in_place) {}

  icc::Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override {
    return tags_.ReadTag(signature, bytes);
  }
  icc::Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override {
    return tags_.ReplaceTag(signature, bytes);
  }
  icc::Result Header(icc::Header* header) override {
    *header = profile_->header();
    return {};
  }
  icc::Result TagSize(uint32_t signature, uint32_t* size) override {
    return profile_->GetTagSize(signature, size);
  }
  icc::Result ReadTagPart(uint32_t signature, uint32_t offset, uint32_t* count,
                          uint8_t* buffer) override {
    return profile_->GetTag(signature, offset, count, buffer, nullptr);
  }
  void Save(std::function<void(const icc::Result&)> committed) override {
    auto replacement = std::make_unique<posix::PosixReplacement>(path_);
    replacement->FlushLater();
    if (in_place_) replacement->WriteInPlace();
    const uint64_t bytes = profile_->OutputLength();
    const icc::Result r = icc::Prepare(*profile_, *replacement);
    if (r.ok())
      batch_.Add(std::move(replacement), path_, bytes, std::move(committed));
    else
      committed(r);
  }

 private:
  std::unique_ptr<icc::Profile> profile_;
  icc::ProfileTags tags_;
  std::string path_;
  Batch& batch_;
  bool in_place_;
};

class PosixPlatform : public cli::Platform {
 public:
  std::unique_ptr<cli::ProfileSession> Open(const std::string& path, bool writable,
                                            std::string* reason) override {
    // Written where the file really lives, so that a link stays a link.
    std::string target = path;
    if (writable) {
      char resolved[PATH_MAX];
      if (!realpath(path.c_str(), resolved)) {
        *reason = PathError(errno);
        return nullptr;
      }
      target = resolved;
    }
    struct stat st;
    if (writable && stat(target.c_str(), &st) != 0) {
      *reason = PathError(errno);
      return nullptr;
    }
    // What is not a regular file is refused by OpenFile, with the reason every command gives.
    if (writable && S_ISREG(st.st_mode) && !MayRewrite(target, st, reason)) return nullptr;
    std::unique_ptr<icc::SourceFile> file = OpenFile(target, reason);
    if (!file) return nullptr;
    std::unique_ptr<icc::Profile> profile;
    const icc::Result result = icc::Profile::Open(std::move(file), &profile);
    if (!result.ok()) {
      *reason = result.status == icc::Status::Io ? ErrorText(result.os_error)
                                                  : cli::NotAProfile();
      return nullptr;
    }
    return std::unique_ptr<cli::ProfileSession>(
        new PosixSession(std::move(profile), target, batch_, in_place));
  }

  std::unique_ptr<icc::SourceFile> OpenFile(const std::string& path, std::string* reason) override {
    std::unique_ptr<icc::SourceFile> file;
    const icc::Result r = posix::OpenPosixFile(path, &file);
    if (!r.ok()) *reason = r.os_error == EISDIR ? "not a file" : PathError(int(r.os_error));
    return file;
  }

  // Through the replacement that saves profiles (its temporary file named and removed on a
  // signal like theirs); a new file gets the mode that the umask leaves, as open would.
  bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* reason) override {
    struct stat st;
    const bool existed = stat(path.c_str(), &st) == 0;
    posix::PosixReplacement replacement(path);
    icc::Sink* sink = nullptr;
    icc::Result r = replacement.Create(&sink);
    if (r.ok()) r = sink->Write(bytes.data(), bytes.size());
    if (r.ok()) r = replacement.Finish();
    if (r.ok() && !existed) {
      const mode_t mask = umask(0);
      umask(mask);
      if (chmod(replacement.TempPath().c_str(), 0666 & ~mask) != 0) r = icc::Result::Io(uint32_t(errno));
    }
    if (r.ok()) r = replacement.Replace();
    if (r.ok()) return true;
    replacement.Discard();
    *reason = r.status == icc::Status::Io ? ErrorText(r.os_error) : "not written";
    return false;
  }

  bool MakeFolder(const std::string& path, std::string* reason) override {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int error = errno;
    if (error == EEXIST && IsFolder(path)) return true;
    *reason = std::strerror(error);
    return false;
  }
  void CommitSaves() override { batch_.Commit(); }

  // Written as a save writes (where the file really lives, so that a link stays a link;
  // with --in-place into the file itself), and made durable at once.
  icc::Result Replace(const std::string& path, icc::Profile& profile) override {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return icc::Result::Io(uint32_t(errno));
    posix::PosixReplacement replacement(resolved);
    if (in_place) replacement.WriteInPlace();
    return icc::Commit(profile, replacement);
  }

  bool IsFolder(const std::string& path) override {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool List(const std::string& folder, std::vector<std::string>* files,
            std::vector<std::string>* folders, std::string* reason) override {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
      *reason = PathError(errno);
      return false;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = prefix + name;
      unsigned type = entry->d_type;
      struct stat st;
      if (type == DT_UNKNOWN)  // a path the system cannot take is listed, to fail when opened
        type = lstat(path.c_str(), &st) != 0 ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR
               : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
      if (type == DT_DIR)
        folders->push_back(path);
      else if (type == DT_REG || type == DT_LNK)
        files->push_back(path);
      errno = 0;
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) {
      *reason = std::strerror(error);
      return false;
    }
    std::sort(files->begin(), files->end());
    std::sort(folders->begin(), folders->end());
    return true;
  }

  bool ReadInput(std::string* bytes, std::string* reason) override {
    char buffer[65536];
    for (ssize_t n; bytes->size() <= cli::kLongestText && (n = read(0, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *reason = std::strerror(errno);
        return false;
      }
      bytes->append(buffer, std::size_t(n));
    }
    return true;
  }

  std::string ErrorText(uint32_t os_error) override { return std::strerror(int(os_error)); }

  const icc::CodePage& CodePage() override { return icc::PortableCodePage(); }

  // LC_ALL, LC_MESSAGES or LANG, as "ll_CC.charset".
  icc::Language UserLanguage() override {
    icc::Language language;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (!value || !*value) continue;
      const std::string text = value;
      if (text.size() >= 5 && text[2] == '_' && text != "C.UTF-8") {
        language.language[0] = text[0];
        language.language[1] = text[1];
        language.country[0] = text[3];
        language.country[1] = text[4];
      } else if (text.size() >= 2 && text[0] >= 'a' && text[0] <= 'z' && text[1] >= 'a' &&
                 text[1] <= 'z' && (text.size() == 2 || text[2] == '.')) {
        language.language[0] = text[0];
        language.language[1] = text[1];
      }
      break;
    }
    return language;
  }

  // Each piece of output goes out at once: a report line stands for a file committed.
  void Out(const std::string& text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  void Err(const std::string& text) override {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  bool ErrIsTerminal() override { return isatty(2) != 0; }

 private:
  // Whether the caller may replace the file: refused when it is read-only, when the caller
  // may not write it (a folder open to the caller would otherwise let them replace another
  // user's file), when the new file cannot be made in its folder, and when it has several
  // names that a new file would split.
  bool MayRewrite(const std::string& target, const struct stat& st, std::string* reason) {
    const std::string folder = Folder(target);
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
      *reason = "the file is read-only";
    else if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
      *reason = errno == EACCES ? "you have no permission to write this file" : std::strerror(errno);
    else if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
      *reason = "the folder " + cli::Printable(folder) +
                " cannot be written, and the new file is made there: " + std::strerror(errno);
    else if (st.st_nlink > 1 && !in_place)
      *reason = "the file has " + std::to_string(st.st_nlink) +
                " names (hard links), which a new file would split; --in-place writes it "
                "where it is, so that every name sees the change";
    else
      return true;
    return false;
  }

  Batch batch_;
};

// SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE (a reader that went away) end the run as
// they would, without the temporary files of saves not yet committed.
extern "C" void OnSignal(int signal) {
  posix::RemoveTemporaryFiles();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void CatchSignals() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    struct sigaction action = {}, old = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int other : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaddset(&action.sa_mask, other);
    // A signal the run was started to ignore (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      sigaction(signal, &action, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CatchSignals();
  int code;
  try {
    PosixPlatform platform;
    code = cli::RunTool(platform, std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fputs("tagwright-cli: not enough memory\n", stderr);
    return cli::kExitFailed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tagwright-cli: %s\n", e.what());
    return cli::kExitFailed;
  }
  if (std::fflush(stdout) != 0) return cli::kExitFailed;
  return code;
}
