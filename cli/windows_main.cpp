// tagwright-cli on Windows: UTF-16 arguments and paths, profiles through the colour service
// (each saved as the editor saves), and the console written in UTF-16 so that it shows every
// character; output into a file or a pipe is UTF-8.
#include <windows.h>

#include <algorithm>

#include "colour_service.h"
#include "commands.h"
#include "file_commit.h"
#include "user_language.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = cli::FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  return cli::ToUtf8(std::u16string(text, text + length));
}

icc::Result LastResult() {
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_INVALID_PROFILE: return {icc::Status::InvalidProfile, 0};
    case ERROR_TAG_NOT_FOUND: return {icc::Status::TagNotFound, 0};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return {icc::Status::OutOfMemory, 0};
    default: return icc::Result::Io(error);
  }
}

class ServiceSession : public cli::ProfileSession {
 public:
  explicit ServiceSession(HPROFILE profile) : profile_(profile) {}

  icc::Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override {
    DWORD size = 0;
    BOOL reference = FALSE;
    if (!colour::GetColorProfileElement(profile_.get(), signature, 0, &size, nullptr, &reference) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return LastResult();
    bytes->resize(size);
    if (size == 0) return {};
    if (!colour::GetColorProfileElement(profile_.get(), signature, 0, &size, bytes->data(), &reference))
      return LastResult();
    return {};
  }

  icc::Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override {
    DWORD count = DWORD(bytes.size());
    if (!colour::SetColorProfileElementSize(profile_.get(), signature, count)) return LastResult();
    if (count &&
        !colour::SetColorProfileElement(profile_.get(), signature, 0, &count,
                                        const_cast<uint8_t*>(bytes.data())))
      return LastResult();
    return {};
  }

  icc::Result Header(uint8_t header[icc::kHeaderSize]) override {
    PROFILEHEADER host;
    if (!colour::GetColorProfileHeader(profile_.get(), &host)) return LastResult();
    uint32_t words[icc::kHeaderSize / 4];
    static_assert(sizeof host == sizeof words, "the header is 128 bytes");
    memcpy(words, &host, sizeof words);
    icc::HeaderFromHost(words, header);
    return {};
  }

  // Closing a handle opened for writing stores its changes, atomically.
  icc::Result Save() override { return profile_.Close() ? icc::Result() : LastResult(); }

 private:
  colour::ProfileHandle profile_;
};

class WindowsPlatform : public cli::Platform {
 public:
  std::unique_ptr<cli::ProfileSession> Open(const std::string& path, bool writable,
                                            std::string* reason) override {
    const std::wstring name = Wide(path);
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
    else if (error == ERROR_INVALID_PROFILE)
      *reason = "not a profile, or a damaged one";
    else
      *reason = ErrorText(error);
    return nullptr;
  }

  std::unique_ptr<icc::SourceFile> OpenFile(const std::string& path, std::string* reason) override {
    std::unique_ptr<icc::SourceFile> file;
    const icc::Result r = colour::OpenFileForReading(Wide(path).c_str(), &file);
    if (!r.ok()) *reason = IsFolder(path) ? "not a file" : ErrorText(r.os_error);
    return file;
  }

  bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* reason) override {
    const std::wstring target = Wide(path);
    std::wstring temp;
    DWORD error = colour::CreateTemporaryFile(target, &temp);
    if (error == ERROR_SUCCESS) {
      const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      if (file == INVALID_HANDLE_VALUE ||
          !::WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr))
        error = GetLastError();
      if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && error == ERROR_SUCCESS)
        error = GetLastError();
      bool keep = false;
      if (error == ERROR_SUCCESS) error = colour::ReplaceWithFile(target, temp, &keep);
      if (error != ERROR_SUCCESS && !keep) DeleteFileW(temp.c_str());
    }
    if (error != ERROR_SUCCESS) *reason = ErrorText(error);
    return error == ERROR_SUCCESS;
  }

  bool MakeFolder(const std::string& path, std::string* reason) override {
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsFolder(path)) return true;
    *reason = ErrorText(error);
    return false;
  }

  bool IsFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool List(const std::string& folder, std::vector<std::string>* files,
            std::vector<std::string>* folders, std::string* reason) override {
    const std::string prefix =
        folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(Wide(prefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
      *reason = ErrorText(GetLastError());
      return false;
    }
    do {
      const std::string name = Utf8(found.cFileName, wcslen(found.cFileName));
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
    std::string message = length ? Utf8(text, length) : "error " + std::to_string(os_error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' '))
      message.pop_back();
    return message;
  }

  // The ANSI form; what it cannot give back is kept by the Unicode record.
  std::string AsciiForm(const std::u16string& text, bool* lost) override {
    const std::wstring wide(text.begin(), text.end());
    std::string ansi;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes > 0) {
      ansi.resize(std::size_t(bytes));
      WideCharToMultiByte(CP_ACP, 0, wide.c_str(), int(wide.size()), &ansi[0], bytes, nullptr,
                          nullptr);
    }
    *lost = FromAscii(ansi) != text;
    return ansi;
  }

  std::u16string FromAscii(const std::string& ascii) override {
    const int units = MultiByteToWideChar(CP_ACP, 0, ascii.data(), int(ascii.size()), nullptr, 0);
    std::wstring wide(std::size_t(units > 0 ? units : 0), L'\0');
    if (units > 0)
      MultiByteToWideChar(CP_ACP, 0, ascii.data(), int(ascii.size()), &wide[0], units);
    return std::u16string(wide.begin(), wide.end());
  }

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
  static void Write(DWORD which, const std::string& text) {
    const HANDLE out = GetStdHandle(which);
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
      const std::wstring wide = Wide(text);
      WriteConsoleW(out, wide.c_str(), DWORD(wide.size()), &written, nullptr);
    } else {
      WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
    }
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i], wcslen(argv[i])));
  WindowsPlatform platform;
  return cli::RunTool(platform, args);
}
