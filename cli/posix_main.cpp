// tagwright-cli on Linux and other POSIX systems: UTF-8 arguments and output, profiles
// through the container over POSIX files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "commands.h"
#include "posix_file.h"

namespace {

class PosixSession : public cli::ProfileSession {
 public:
  PosixSession(std::unique_ptr<icc::Profile> profile, std::string path)
      : profile_(std::move(profile)), tags_(*profile_), path_(std::move(path)) {}

  icc::Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override {
    return tags_.ReadTag(signature, bytes);
  }
  icc::Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override {
    return tags_.ReplaceTag(signature, bytes);
  }
  icc::Result Header(uint8_t header[icc::kHeaderSize]) override {
    profile_->GetHeader(header);
    return {};
  }
  icc::Result Save() override {
    icc::PosixReplacement replacement(path_);
    return icc::Commit(*profile_, replacement);
  }

 private:
  std::unique_ptr<icc::Profile> profile_;
  icc::ProfileTags tags_;
  std::string path_;
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
        *reason = std::strerror(errno);
        return nullptr;
      }
      target = resolved;
    }
    struct stat st;
    if (stat(target.c_str(), &st) != 0) {
      *reason = std::strerror(errno);
      return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
      *reason = "not a file";
      return nullptr;
    }
    // Refused even where the system would let the caller replace it (root, or a folder
    // the caller may write in): read-only means left alone.
    if (writable && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      *reason = "the file is read-only";
      return nullptr;
    }
    std::unique_ptr<icc::SourceFile> file;
    std::unique_ptr<icc::Profile> profile;
    icc::Result result = icc::OpenPosixFile(target, &file);
    if (result.ok()) result = icc::Profile::Open(std::move(file), &profile);
    if (!result.ok()) {
      *reason = result.status == icc::Status::Io ? ErrorText(result.os_error)
                                                  : "not a profile, or a damaged one";
      return nullptr;
    }
    return std::unique_ptr<cli::ProfileSession>(new PosixSession(std::move(profile), target));
  }

  std::unique_ptr<icc::SourceFile> OpenFile(const std::string& path, std::string* reason) override {
    std::unique_ptr<icc::SourceFile> file;
    const icc::Result r = icc::OpenPosixFile(path, &file);
    if (!r.ok()) *reason = r.os_error == EISDIR ? "not a file" : ErrorText(r.os_error);
    return file;
  }

  // A new file gets the mode that the umask leaves, as a file made by open would.
  bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* reason) override {
    std::string temp = path + ".part.XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
      *reason = std::strerror(errno);
      return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    int error = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno != EINTR) error = errno;
      if (n > 0) done += std::size_t(n);
    }
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
      unlink(temp.c_str());
      *reason = std::strerror(error);
    }
    return error == 0;
  }

  bool MakeFolder(const std::string& path, std::string* reason) override {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int error = errno;
    if (error == EEXIST && IsFolder(path)) return true;
    *reason = std::strerror(error);
    return false;
  }

  bool IsFolder(const std::string& path) override {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool List(const std::string& folder, std::vector<std::string>* files,
            std::vector<std::string>* folders, std::string* reason) override {
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
      *reason = std::strerror(errno);
      return false;
    }
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      const std::string path = prefix + name;
      if (lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode))
        folders->push_back(path);
      else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        files->push_back(path);
    }
    closedir(dir);
    std::sort(files->begin(), files->end());
    std::sort(folders->begin(), folders->end());
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

  void Out(const std::string& text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
  void Err(const std::string& text) override {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
  bool ErrIsTerminal() override { return isatty(2) != 0; }
};

}  // namespace

int main(int argc, char** argv) {
  PosixPlatform platform;
  const int code = cli::RunTool(platform, std::vector<std::string>(argv + 1, argv + argc));
  if (std::fflush(stdout) != 0) return cli::kExitFailed;
  return code;
}
