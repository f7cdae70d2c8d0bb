// tagwright-cli's portable core: what every command needs (the platform's files and
// console, option parsing, the list of profiles to work on, errors, progress).  Text inside
// the tool is UTF-8 (paths too); each platform converts at its edge.
//
// A command is a function over a Tool (see commands.h).  It reports each file that fails
// with Tool::Fail (path and reason on standard error), goes on with the others, and returns
// the exit code: kExitOk, kExitFailed when any file failed, kExitUsage for a usage error.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "description.h"
#include "icc_profile.h"
#include "utf8.h"

namespace cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The longest text a command reads (--text-from), beyond what a description can hold.
constexpr std::size_t kLongestText = 16u << 20;
// The largest description tag set and replace rewrite: the tag is held whole, as read and as
// built, a few times over; a larger one (read or to be written) is refused.
constexpr uint32_t kLongestRewritten = 16u << 20;
// The largest profile whose colour is checked and that fix repairs: both hold its tables
// (Little CMS's and the repair's copy of the file) a few times over.  A larger profile gets
// the structural checks alone, and is not repaired.
constexpr uint64_t kLargestHeld = 32u << 20;
// "17.5 MB", for a reason that names a size.
std::string Megabytes(uint64_t bytes);
// The reason a platform gives for a file the container refuses; fix tells damaged profiles by it.
inline std::string NotAProfile() { return icc::ResultText({icc::Status::InvalidProfile}); }

// One open profile.  Reading and writing tags through the TagStore never touches the file
// until Save.
class ProfileSession : public icc::TagStore {
 public:
  // The tag's size, and up to *count of its bytes from `offset` (*count becomes the number
  // read): a reader takes what it shows of a large tag without the rest.
  virtual icc::Result TagSize(uint32_t signature, uint32_t* size) = 0;
  virtual icc::Result ReadTagPart(uint32_t signature, uint32_t offset, uint32_t* count,
                                  uint8_t* buffer) = 0;
  // Writes the changed profile atomically in place of the file (a session opened for
  // writing only).  Where the path is a link, the file it leads to is written.  The
  // platform may hold the last step back to do it for many files together: `committed`
  // is called when the new file has taken the old one's place, or with the reason it has
  // not, at the latest in Platform::CommitSaves.
  virtual void Save(std::function<void(const icc::Result&)> committed) = 0;
};

// What the platform gives the core.
class Platform {
 public:
  virtual ~Platform() = default;

  // Opens a profile; `writable` for changing it, which refuses a file the caller may not
  // write, or one in a folder where the new file cannot be made.  On failure returns null
  // and sets *reason.
  virtual std::unique_ptr<ProfileSession> Open(const std::string& path, bool writable,
                                               std::string* reason) = 0;
  // A file's bytes for the container, for commands that read a profile themselves (check,
  // fix, plot, --text-from).  Only a regular file is opened (Open too goes through this):
  // anything else, a FIFO that would never end among them, is "not a file".  On failure
  // returns null and sets *reason.
  virtual std::unique_ptr<icc::SourceFile> OpenFile(const std::string& path,
                                                    std::string* reason) = 0;
  // Writes a new file, or replaces one, with `bytes`: beside it first, then in its place,
  // so that a failure leaves no half-written file.
  virtual bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes,
                            std::string* reason) = 0;
  // Creates a folder; one that is already there is fine.
  virtual bool MakeFolder(const std::string& path, std::string* reason) = 0;
  // Commits the saves the platform holds back (see ProfileSession::Save).
  virtual void CommitSaves() {}
  // Whether a file with several names (hard links) is rewritten where it is, so that every
  // name sees the change; without, a platform that would split it refuses it.
  bool in_place = false;
  // Standard input, up to a little beyond kLongestText; false with *reason on failure.
  virtual bool ReadInput(std::string* bytes, std::string* reason) = 0;
  // Writes `profile` in place of the file, through the same atomic commit as a save.
  virtual icc::Result Replace(const std::string& path, icc::Profile& profile) = 0;
  // Whether the path names a folder; false for anything else, missing paths included.
  virtual bool IsFolder(const std::string& path) = 0;
  // The files and the folders directly inside a folder, as full paths, in name order.
  // Links to folders are not listed as folders.
  virtual bool List(const std::string& folder, std::vector<std::string>* files,
                    std::vector<std::string>* folders, std::string* reason) = 0;
  // The system's text for one of its error codes (icc::Status::Io).
  virtual std::string ErrorText(uint32_t os_error) = 0;

  // The characters of a description's ASCII record.
  virtual const icc::CodePage& CodePage() = 0;
  // The user's language, for choosing among localized records.
  virtual icc::Language UserLanguage() = 0;

  virtual void Out(const std::string& text) = 0;  // standard output
  virtual void Err(const std::string& text) = 0;  // standard error
  virtual bool ErrIsTerminal() = 0;
};

// A JSON string literal, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& utf8);
// "en-US"; "ca" for a record of a language alone.
std::string RecordName(const icc::LocalizedRecord& r);
// Text for a terminal: control characters and bytes that are not UTF-8 escaped (\n, \x1b).
std::string Printable(const std::string& utf8);

// The options a command accepts, and what was given.
struct OptionSpec {
  const char* name;   // "--json", "-r"
  bool takes_value;   // "--lang ll-CC"
};

class Tool {
 public:
  explicit Tool(Platform& platform) : platform_(platform) {}

  Platform& platform() { return platform_; }

  // Splits the arguments into options and operands; "--" ends the options.  A usage
  // error (unknown option, missing value) is reported and gives false.
  bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& spec,
                    std::vector<std::pair<std::string, std::string>>* options,
                    std::vector<std::string>* operands);
  static bool Has(const std::vector<std::pair<std::string, std::string>>& options,
                  const char* name, std::string* value = nullptr);

  // Reports a usage error on standard error; returns kExitUsage.
  int Usage(const std::string& message);

  // The profiles named: files as given, and with `recursive` the .icc and .icm files
  // under each folder.  A folder without `recursive`, or a path that is not there, is a
  // failure of its own and is left out.
  std::vector<std::string> CollectProfiles(const std::vector<std::string>& paths, bool recursive);

  // The text that describes a failed result.
  std::string Reason(const icc::Result& result);
  // Reports one file's failure as "path: reason" on standard error.
  void Fail(const std::string& path, const std::string& reason);
  bool Failed() const { return failed_; }
  int ExitCode() const { return failed_ ? kExitFailed : kExitOk; }

  // The text shown for a description (icc::DescriptionText).
  std::u16string Shown(const icc::Description& d);

  void Out(const std::string& text);

  // Progress over `total` files, shown on standard error when it is a terminal.
  void BeginProgress(std::size_t total);
  void Step();
  void EndProgress();

 private:
  void ClearProgress();
  void Walk(const std::string& folder, std::vector<std::string>* files);

  Platform& platform_;
  bool failed_ = false;
  std::size_t total_ = 0, done_ = 0, shown_width_ = 0;
  bool progress_ = false;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace cli
