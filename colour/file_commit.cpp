#include "file_commit.h"

#include <aclapi.h>

namespace colour {
namespace {

// "\\?\C:\x" becomes "C:\x" and "\\?\UNC\server\share" becomes "\\server\share" when the
// short form fits the functions that do not take the long one.
std::wstring WithoutLongPrefix(const std::wstring& path) {
  static const wchar_t kLong[] = L"\\\\?\\";
  static const wchar_t kUnc[] = L"\\\\?\\UNC\\";
  if (path.compare(0, 8, kUnc) == 0 && path.size() - 6 < MAX_PATH)
    return L"\\" + path.substr(7);
  if (path.compare(0, 4, kLong) == 0 && path.size() - 4 < MAX_PATH && path.size() > 6 &&
      path[5] == L':')
    return path.substr(4);
  return path;
}

// A file's owner, group and access control list, to be given to the file that replaces it.
class SecurityOf {
 public:
  explicit SecurityOf(const std::wstring& path) {
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, kWhat, &owner_, &group_, &dacl_,
                              nullptr, &descriptor_) != ERROR_SUCCESS)
      descriptor_ = nullptr;
  }
  ~SecurityOf() {
    if (descriptor_) LocalFree(descriptor_);
  }
  SecurityOf(const SecurityOf&) = delete;
  SecurityOf& operator=(const SecurityOf&) = delete;

  // The list as it was, inherited entries taken again from the folder unless it was
  // protected from them; the owner and group where the caller may set them.
  void SetOn(const std::wstring& path) const {
    if (!descriptor_) return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision;
    GetSecurityDescriptorControl(descriptor_, &control, &revision);
    const SECURITY_INFORMATION dacl =
        DACL_SECURITY_INFORMATION | (control & SE_DACL_PROTECTED ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION);
    wchar_t* name = const_cast<wchar_t*>(path.c_str());
    if (dacl_) SetNamedSecurityInfoW(name, SE_FILE_OBJECT, dacl, nullptr, nullptr, dacl_, nullptr);
    SetNamedSecurityInfoW(name, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                          owner_, group_, nullptr, nullptr);
  }

 private:
  static constexpr SECURITY_INFORMATION kWhat =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  PSID owner_ = nullptr, group_ = nullptr;
  PACL dacl_ = nullptr;
};

}  // namespace

std::wstring FinalPathName(HANDLE file) {
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file, &final[0], DWORD(final.size()), VOLUME_NAME_DOS);
  if (length >= final.size()) {
    final.assign(length + 1, L'\0');
    length = GetFinalPathNameByHandleW(file, &final[0], DWORD(final.size()), VOLUME_NAME_DOS);
  }
  if (length == 0 || length >= final.size()) return std::wstring();
  final.resize(length);
  return WithoutLongPrefix(final);
}

std::wstring FinalPathName(const std::wstring& path) {
  // No access asked for: the file may be open without sharing, as a profile being saved is.
  const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  const std::wstring final = FinalPathName(h);
  CloseHandle(h);
  return final.empty() ? path : final;
}

namespace {

DWORD MarkForDeletion(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition = {marked};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)
             ? ERROR_SUCCESS
             : GetLastError();
}

// A name for a new file in `folder` ("icc" and eight hex digits), different on every call
// of the process and unlikely to be one that another process picks.
std::wstring TemporaryName(const std::wstring& folder) {
  static volatile LONG counter = 0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const DWORD seed = DWORD(now.QuadPart) ^ (GetCurrentProcessId() << 16);
  wchar_t name[16];
  wsprintfW(name, L"icc%08X.tmp", seed + DWORD(InterlockedIncrement(&counter)) * 0x9E3779B1u);
  return folder + name;
}

}  // namespace

DWORD OpenTemporaryFile(const std::wstring& beside, std::wstring* temp, HANDLE* file) {
  *file = INVALID_HANDLE_VALUE;
  const std::size_t cut = beside.find_last_of(L"\\/:");
  const std::wstring folder = cut == std::wstring::npos ? std::wstring() : beside.substr(0, cut + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TemporaryName(folder);
    // Created and marked in two steps with nothing between them: a process that ends in
    // that instant leaves an empty file, the only thing that can be left before the mark
    // is taken back.
    const HANDLE h = CreateFileW(temp->c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      temp->clear();
      return error;
    }
    const DWORD error = MarkForDeletion(h, true);
    if (error == ERROR_SUCCESS) {
      *file = h;
      return ERROR_SUCCESS;
    }
    CloseHandle(h);
    DeleteFileW(temp->c_str());
    temp->clear();
    return error;
  }
  temp->clear();
  return ERROR_FILE_EXISTS;
}

DWORD KeepTemporaryFile(HANDLE file) { return MarkForDeletion(file, false); }

DWORD ReplaceWithFile(const std::wstring& target, const std::wstring& replacement) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD missing = GetLastError();
    if (missing != ERROR_FILE_NOT_FOUND) return missing;
    // Nothing to replace; a file that appeared meanwhile is not overwritten.
    return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)
               ? DWORD(ERROR_SUCCESS)
               : GetLastError();
  }
  // Not every file system refuses to rename over a read-only file, so it is refused here.
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ACCESS_DENIED;
  // A target that cannot be deleted (held open without delete sharing, or protected)
  // cannot be replaced: said before the replacement is touched.
  const HANDLE probe = CreateFileW(target.c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(probe);
  // The new file takes the old one's security and attributes first, so that the one rename
  // that follows is the whole replacement: at every instant the name holds the old file or
  // the new one.
  SecurityOf(target).SetOn(replacement);
  const DWORD kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE);
  SetFileAttributesW(replacement.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
  return MoveFileExW(replacement.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? DWORD(ERROR_SUCCESS)
             : GetLastError();
}

}  // namespace colour
