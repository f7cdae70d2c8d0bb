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

DWORD CreateTemporaryFile(const std::wstring& beside, std::wstring* temp) {
  const std::size_t cut = beside.find_last_of(L"\\/:");
  const std::wstring folder = cut == std::wstring::npos ? std::wstring(L".") : beside.substr(0, cut + 1);
  wchar_t name[MAX_PATH];
  if (!GetTempFileNameW(folder.c_str(), L"icc", 0, name)) return GetLastError();
  *temp = name;
  return ERROR_SUCCESS;
}

namespace {

DWORD MarkForDeletion(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition = {marked};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)
             ? ERROR_SUCCESS
             : GetLastError();
}

}  // namespace

DWORD OpenTemporaryFile(const std::wstring& beside, std::wstring* temp, HANDLE* file) {
  *file = INVALID_HANDLE_VALUE;
  DWORD error = CreateTemporaryFile(beside, temp);
  if (error != ERROR_SUCCESS) return error;
  const HANDLE h = CreateFileW(temp->c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  error = h == INVALID_HANDLE_VALUE ? GetLastError() : MarkForDeletion(h, true);
  if (error == ERROR_SUCCESS) {
    *file = h;
    return ERROR_SUCCESS;
  }
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  DeleteFileW(temp->c_str());
  temp->clear();
  return error;
}

DWORD KeepTemporaryFile(HANDLE file) { return MarkForDeletion(file, false); }

DWORD ReplaceWithFile(const std::wstring& target, const std::wstring& replacement,
                      bool* keep_replacement) {
  *keep_replacement = false;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD missing = GetLastError();
    if (missing != ERROR_FILE_NOT_FOUND) return missing;
    // Nothing to replace; a file that appeared meanwhile is not overwritten.
    return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)
               ? DWORD(ERROR_SUCCESS)
               : GetLastError();
  }
  // A target that cannot be deleted (held open without delete sharing, or protected) cannot
  // be replaced: said before ReplaceFile, which some implementations let leave a file of
  // their own behind when it fails.
  const HANDLE probe = CreateFileW(target.c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(probe);
  const SecurityOf security(target);
  if (!ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
      return error;
    // The old file may already have been moved away or deleted: the new one must take its
    // place, or at least survive under its own name when the old one is gone.
    if (!MoveFileExW(replacement.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      *keep_replacement = GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
      return error;
    }
  }
  // Windows carries the attributes and the security descriptor over itself; not every
  // implementation does, nor the move above.
  security.SetOn(target);
  SetFileAttributesW(target.c_str(), attributes);
  return ERROR_SUCCESS;
}

}  // namespace colour
