// tagwright-cli on Windows: UTF-16 arguments and paths, profiles through the colour service
// (each saved as the editor saves), and the console written in UTF-16 so that it shows every
// character; output into a file or a pipe is UTF-8.
#include <windows.h>

#include <algorithm>
#include <new>

#include "ansi_code_page.h"
#include "commands.h"
#include "service_tags.h"
#include "user_language.h"
#include "wide_text.h"

namespace {

// Ctrl+C, Ctrl+Break and a closed console window end the run between two saves, never
// within one: the save in progress finishes (its file replaced and reported, or discarded),
// and the next one does not start.  A run ended from outside while a new file is being
// written leaves nothing either: the system deletes a temporary file until it is complete.
CRITICAL_SECTION saving;

class Saving {
 public:
  Saving() { EnterCriticalSection(&saving); }
  ~Saving() { LeaveCriticalSection(&saving); }
  Saving(const Saving&) = delete;
  Saving& operator=(const Saving&) = delete;
};

// The process ends here, on the handler's thread, once no save is in progress.  It is
// terminated rather than exited: exiting runs the libraries' clean-up on this thread while
// the main thread, stopped wherever it was (inside the heap or the console's lock), may
// hold a lock that clean-up needs, and then the process never ends.  Nothing is lost by
// it: every report is written unbuffered, and every file is complete or marked for deletion.
BOOL WINAPI OnConsoleEvent(DWORD) {
  EnterCriticalSection(&saving);
  TerminateProcess(GetCurrentProcess(), DWORD(STATUS_CONTROL_C_EXIT));
  return TRUE;
}

class ServiceSession : public cli::ProfileSession {
 public:
  explicit ServiceSession(HPROFILE profile) : profile_(profile), tags_(profile) {}

  icc::Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override {
    return tags_.ReadTag(signature, bytes);
  }
  icc::Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override {
    return tags_.ReplaceTag(signature, bytes);
  }
  icc::Result Header(icc::Header* header) override { return tags_.Header(header); }
  icc::Result TagSize(uint32_t signature, uint32_t* size) override {
    DWORD count = 0;
    BOOL reference = FALSE;
    if (!colour::GetColorProfileElement(profile_.get(), signature, 0, &count, nullptr, &reference) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return colour::LastResult();
    *size = count;
    return {};
  }
  icc::Result ReadTagPart(uint32_t signature, uint32_t offset, uint32_t* count,
                          uint8_t* buffer) override {
    DWORD n = *count;
    BOOL reference = FALSE;
    if (!colour::GetColorProfileElement(profile_.get(), signature, offset, &n, buffer, &reference))
      return colour::LastResult();
    *count = n;
    return {};
  }

  // Closing a handle opened for writing stores its changes, atomically.
  void Save(std::function<void(const icc::Result&)> committed) override {
    const Saving saving;
    committed(profile_.Close() ? icc::Result() : colour::LastResult());
  }

 private:
  colour::ProfileHandle profile_;
  colour::ServiceTags tags_;
};

class WindowsPlatform : public cli::Platform {
 public:
  std::unique_ptr<cli::ProfileSession> Open(const std::string& path, bool writable,
                                            std::string* reason) override {
    const std::wstring name = colour::WideFromUtf8(path);
    // A replacement would leave the file's other names (hard links) with the old text.
    const DWORD names = writable ? Names(name) : 1;
    if (names > 1) {
      *reason = "the file has " + std::to_string(names) +
                " names (hard links), which a new file would split";
      return nullptr;
    }
    PROFILE record = {PROFILE_FILENAME, const_cast<wchar_t*>(name.c_str()),
                      DWORD((name.size() + 1) * sizeof(wchar_t))};
    const HPROFILE profile = colour::OpenColorProfileW(
        &record, writable ? PROFILE_READWRITE : PROFILE_READ,
        writable ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (profile) return std::unique_ptr<cli::ProfileSession>(new ServiceSession(profile));
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
      *reason = "not a file";
    else if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
             (attributes & FILE_ATTRIBUTE_READONLY))
      *reason = "the file is read-only";
    else if (error == ERROR_ACCESS_DENIED && writable && attributes != INVALID_FILE_ATTRIBUTES)
      *reason = "you have no permission to write this file";  // its own access control list
    else if (error == ERROR_INVALID_PROFILE)
      *reason = cli::NotAProfile();
    else
      *reason = ErrorText(error);
    return nullptr;
  }

  std::unique_ptr<icc::SourceFile> OpenFile(const std::string& path, std::string* reason) override {
    std::unique_ptr<icc::SourceFile> file;
    const icc::Result r = colour::OpenFileForReading(colour::WideFromUtf8(path).c_str(), &file);
    if (!r.ok()) *reason = IsFolder(path) ? "not a file" : ErrorText(r.os_error);
    return file;
  }

  bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* reason) override {
    const Saving saving;
    const icc::Result r = colour::ReplaceFileBytes(colour::WideFromUtf8(path), bytes);
    if (!r.ok()) *reason = r.status == icc::Status::Io ? ErrorText(r.os_error) : "not written";
    return r.ok();
  }

  bool MakeFolder(const std::string& path, std::string* reason) override {
    if (CreateDirectoryW(colour::WideFromUtf8(path).c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsFolder(path)) return true;
    *reason = ErrorText(error);
    return false;
  }

  bool ReadInput(std::string* bytes, std::string* reason) override {
    char buffer[65536];
    DWORD n = 0;
    BOOL ok;
    while ((ok = ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &n, nullptr)) &&
           n != 0 && bytes->size() <= cli::kLongestText)
      bytes->append(buffer, n);
    if (ok || GetLastError() == ERROR_BROKEN_PIPE) return true;  // a pipe ends in an error
    *reason = ErrorText(GetLastError());
    return false;
  }

  icc::Result Replace(const std::string& path, icc::Profile& profile) override {
    return colour::ReplaceProfile(colour::WideFromUtf8(path), profile);
  }

  bool IsFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(colour::WideFromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool List(const std::string& folder, std::vector<std::string>* files,
            std::vector<std::string>* folders, std::string* reason) override {
    const std::string prefix =
        folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(colour::WideFromUtf8(prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      *reason = ErrorText(GetLastError());
      return false;
    }
    do {
      const std::string name = colour::Utf8(found.cFileName, wcslen(found.cFileName));
      if (name == "." || name == "..") continue;
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        files->push_back(prefix + name);
      else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        folders->push_back(prefix + name);  // junctions and links to folders are not followed
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(files->begin(), files->end());
    std::sort(folders->begin(), folders->end());
    return true;
  }

  std::string ErrorText(uint32_t os_error) override {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, os_error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? colour::Utf8(text, length) : "error " + std::to_string(os_error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' '))
      message.pop_back();
    return message;
  }

  const icc::CodePage& CodePage() override { return colour::AnsiCodePage(); }

  icc::Language UserLanguage() override {
    icc::Language language;
    colour::UserLanguage(language.language, language.country);
    return language;
  }

  void Out(const std::string& text) override { Write(STD_OUTPUT_HANDLE, text); }
  void Err(const std::string& text) override { Write(STD_ERROR_HANDLE, text); }
  bool ErrIsTerminal() override {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
  }

 private:
  static DWORD Names(const std::wstring& name) {
    const HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (file == INVALID_HANDLE_VALUE) return 1;
    if (!GetFileInformationByHandle(file, &info)) info.nNumberOfLinks = 1;
    CloseHandle(file);
    return info.nNumberOfLinks;
  }

  static void Write(DWORD which, const std::string& text) {
    const HANDLE out = GetStdHandle(which);
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
      const std::wstring wide = colour::WideFromUtf8(text);
      WriteConsoleW(out, wide.c_str(), DWORD(wide.size()), &written, nullptr);
    } else if (!WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr) &&
               (GetLastError() == ERROR_NO_DATA || GetLastError() == ERROR_BROKEN_PIPE)) {
      // The reader went away (| head -1): the run ends here, as a POSIX one does on
      // SIGPIPE; every file reported so far is committed, and none is half written.
      ExitProcess(cli::kExitFailed);
    }
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const char* message;
  InitializeCriticalSection(&saving);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  try {
    WindowsPlatform platform;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
      const std::u16string arg = colour::Utf16(argv[i]);
      // UTF-8 has no form for half a surrogate pair: such text is refused, not replaced.
      if (!arg.empty() && !icc::IsStorableText(arg)) {
        platform.Err("tagwright-cli: argument " + std::to_string(i) + " is not valid Unicode\n");
        return cli::kExitUsage;
      }
      args.push_back(icc::ToUtf8(arg));
    }
    return cli::RunTool(platform, args);
  } catch (const std::bad_alloc&) {
    message = "tagwright-cli: not enough memory\r\n";
  } catch (...) {
    message = "tagwright-cli: an unexpected error ended the run\r\n";
  }
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, DWORD(strlen(message)), &written, nullptr);
  return cli::kExitFailed;
}
