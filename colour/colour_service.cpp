// Our colour management service: the mscms operations over the portable container.
// A handle owns the open file and the pending changes; closing a read-write handle
// streams the changed profile into a temporary file beside it and swaps that in.
#include "colour_service.h"

#include <memory>
#include <new>
#include <string>
#include <unordered_set>

#include "icc_profile.h"

namespace colour {
namespace {

DWORD ToWin32(const icc::Result& r) {
  switch (r.status) {
    case icc::Status::Ok: return ERROR_SUCCESS;
    case icc::Status::InvalidProfile: return ERROR_INVALID_PROFILE;
    case icc::Status::TagNotFound: return ERROR_TAG_NOT_FOUND;
    case icc::Status::InsufficientBuffer: return ERROR_INSUFFICIENT_BUFFER;
    case icc::Status::InvalidParameter: return ERROR_INVALID_PARAMETER;
    case icc::Status::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case icc::Status::Io: return r.os_error;
  }
  return ERROR_INVALID_PARAMETER;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL Report(const icc::Result& r) { return r.ok() ? TRUE : Fail(ToWin32(r)); }

class Win32File : public icc::SourceFile {
 public:
  Win32File(HANDLE h, uint64_t size) : handle_(h), size_(size) {}
  ~Win32File() override { CloseHandle(handle_); }

  uint64_t Size() const override { return size_; }

  // Moves the file pointer and reads, rather than reading at an offset given in an
  // OVERLAPPED record: Wine serves the latter through its server, many times slower.  The
  // handle is this object's alone, so nothing else moves its pointer.
  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    auto* p = static_cast<BYTE*>(buffer);
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN)) return icc::Result::Io(GetLastError());
    while (count != 0) {
      const DWORD want = count > 0x10000000 ? 0x10000000 : DWORD(count);
      DWORD got = 0;
      if (!ReadFile(handle_, p, want, &got, nullptr)) return icc::Result::Io(GetLastError());
      if (got == 0) return icc::Result::Io(ERROR_HANDLE_EOF);
      p += got;
      count -= got;
    }
    return {};
  }

 private:
  HANDLE handle_;
  uint64_t size_;
};

// The new profile goes into a temporary file in the profile's folder, so that the final
// step is a rename on one volume.
class Win32Replacement : public icc::Replacement, private icc::Sink {
 public:
  explicit Win32Replacement(const std::string& path) : path_(path) {}
  ~Win32Replacement() override { Discard(); }

  icc::Result Create(icc::Sink** sink) override {
    std::string folder = path_;
    const std::size_t cut = folder.find_last_of("\\/:");
    folder = cut == std::string::npos ? std::string(".") : folder.substr(0, cut + 1);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(folder.c_str(), "icc", 0, temp)) return icc::Result::Io(GetLastError());
    temp_ = temp;
    file_ = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return icc::Result::Io(GetLastError());
    *sink = this;
    return {};
  }

  icc::Result Finish() override {
    const bool flushed = FlushFileBuffers(file_);
    const DWORD error = GetLastError();
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file) || !flushed) return icc::Result::Io(flushed ? GetLastError() : error);
    return {};
  }

  icc::Result Replace() override {
    const DWORD attributes = GetFileAttributesA(path_.c_str());
    if (!ReplaceFileA(path_.c_str(), temp_.c_str(), nullptr, 0, nullptr, nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
        return icc::Result::Io(error);
      // The old profile may already have been moved away or deleted: the new one must
      // take its place, or at least survive under its temporary name when the old one is
      // gone.
      if (!MoveFileExA(temp_.c_str(), path_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (GetFileAttributesA(path_.c_str()) == INVALID_FILE_ATTRIBUTES) temp_.clear();
        return icc::Result::Io(error);
      }
    }
    temp_.clear();
    // Windows carries the attributes over itself; not every implementation does.
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path_.c_str(), attributes);
    return {};
  }

  void Discard() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!temp_.empty()) DeleteFileA(temp_.c_str());
    temp_.clear();
  }

 private:
  icc::Result Write(const void* data, std::size_t count) override {
    const auto* p = static_cast<const BYTE*>(data);
    while (count != 0) {
      const DWORD chunk = count > 0x10000000 ? 0x10000000 : DWORD(count);
      DWORD done = 0;
      if (!WriteFile(file_, p, chunk, &done, nullptr)) return icc::Result::Io(GetLastError());
      p += done;
      count -= done;
    }
    return {};
  }

  std::string path_;
  std::string temp_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

struct OpenProfile {
  std::string path;
  bool writable = false;
  // A change that failed: closing then stores nothing, so that a caller abandoning a
  // half-done update never leaves it in the file.
  DWORD failure = ERROR_SUCCESS;
  std::unique_ptr<icc::Profile> profile;
};

// Handles are checked against the set of live ones, so a stale or foreign handle is an
// error instead of a crash.
SRWLOCK g_handles_lock = SRWLOCK_INIT;
std::unordered_set<OpenProfile*>* g_handles;

bool Register(OpenProfile* p) {
  AcquireSRWLockExclusive(&g_handles_lock);
  bool ok = true;
  try {
    if (!g_handles) g_handles = new std::unordered_set<OpenProfile*>;
    g_handles->insert(p);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  ReleaseSRWLockExclusive(&g_handles_lock);
  return ok;
}

OpenProfile* Lookup(HPROFILE h) {
  AcquireSRWLockShared(&g_handles_lock);
  OpenProfile* p = static_cast<OpenProfile*>(h);
  const bool live = g_handles && g_handles->count(p) != 0;
  ReleaseSRWLockShared(&g_handles_lock);
  if (!live) SetLastError(ERROR_INVALID_HANDLE);
  return live ? p : nullptr;
}

OpenProfile* Unregister(HPROFILE h) {
  AcquireSRWLockExclusive(&g_handles_lock);
  OpenProfile* p = static_cast<OpenProfile*>(h);
  const bool live = g_handles && g_handles->erase(p) != 0;
  ReleaseSRWLockExclusive(&g_handles_lock);
  if (!live) SetLastError(ERROR_INVALID_HANDLE);
  return live ? p : nullptr;
}

// A change through a read-only handle is refused; a failed change poisons the handle.
OpenProfile* LookupWritable(HPROFILE h) {
  OpenProfile* p = Lookup(h);
  if (p && !p->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return p;
}

BOOL Change(OpenProfile* p, const icc::Result& r) {
  if (r.ok()) return TRUE;
  p->failure = ToWin32(r);
  return Fail(p->failure);
}

}  // namespace

HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode) {
  try {
    if (!pProfile || pProfile->dwType != PROFILE_FILENAME || !pProfile->pProfileData ||
        (dwDesiredAccess != PROFILE_READ && dwDesiredAccess != PROFILE_READWRITE)) {
      Fail(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    if (dwCreationMode != OPEN_EXISTING) {
      Fail(ERROR_NOT_SUPPORTED);
      return nullptr;
    }
    const char* name = static_cast<const char*>(pProfile->pProfileData);
    std::size_t length = 0;
    while (length < pProfile->cbDataSize && name[length] != '\0') ++length;
    if (length == 0 || length == pProfile->cbDataSize) {
      Fail(ERROR_INVALID_PARAMETER);
      return nullptr;
    }

    auto open = std::make_unique<OpenProfile>();
    open->path.assign(name, length);
    open->writable = dwDesiredAccess == PROFILE_READWRITE;
    const DWORD access = open->writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    HANDLE h = CreateFileA(open->path.c_str(), access, dwShareMode, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;  // CreateFileA's own reason
    // A read-only file is refused for writing even where the file system would let the
    // caller write it anyway (an administrator's process under some implementations).
    // Only the attributes and the size are asked for: the whole record costs a volume
    // query, hundreds of microseconds under Wine, on every info tip.
    FILE_BASIC_INFO basic;
    LARGE_INTEGER file_size;
    DWORD error = ERROR_SUCCESS;
    if (open->writable && !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic))
      error = GetLastError();
    else if (open->writable && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
      error = ERROR_ACCESS_DENIED;
    else if (!GetFileSizeEx(h, &file_size))
      error = GetLastError();
    if (error != ERROR_SUCCESS) {
      CloseHandle(h);
      Fail(error);
      return nullptr;
    }
    const uint64_t size = uint64_t(file_size.QuadPart);
    std::unique_ptr<icc::SourceFile> file(new Win32File(h, size));
    icc::Result r = icc::Profile::Open(std::move(file), &open->profile);
    if (!r.ok()) {
      Fail(ToWin32(r));
      return nullptr;
    }
    if (!Register(open.get())) {
      Fail(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return open.release();
  } catch (const std::bad_alloc&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

BOOL WINAPI CloseColorProfile(HPROFILE hProfile) {
  std::unique_ptr<OpenProfile> p(Unregister(hProfile));
  if (!p) return FALSE;
  DWORD error = p->failure;
  if (error == ERROR_SUCCESS && p->writable && p->profile->Modified()) {
    try {
      Win32Replacement replacement(p->path);
      error = ToWin32(icc::Commit(*p->profile, replacement));
    } catch (const std::bad_alloc&) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    }
  }
  // The file and the temporary one are closed before the reason is set, so that nothing
  // done on the way out can change it.
  p.reset();
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader) {
  OpenProfile* p = Lookup(hProfile);
  if (!p) return FALSE;
  if (!pHeader) return Fail(ERROR_INVALID_PARAMETER);
  static_assert(sizeof(PROFILEHEADER) == icc::kHeaderSize, "header record is 128 bytes");
  uint8_t stored[icc::kHeaderSize];
  uint32_t words[icc::kHeaderSize / 4];
  p->profile->GetHeader(stored);
  icc::HeaderToHost(stored, words);
  memcpy(pHeader, words, sizeof words);
  return TRUE;
}

BOOL WINAPI SetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader) {
  OpenProfile* p = LookupWritable(hProfile);
  if (!p) return FALSE;
  if (!pHeader) return Change(p, {icc::Status::InvalidParameter, 0});
  uint32_t words[icc::kHeaderSize / 4];
  uint8_t stored[icc::kHeaderSize];
  memcpy(words, pHeader, sizeof words);
  icc::HeaderFromHost(words, stored);
  p->profile->SetHeader(stored);
  return TRUE;
}

BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement, PBOOL pbReference) {
  OpenProfile* p = Lookup(hProfile);
  if (!p) return FALSE;
  if (!pcbElement) return Fail(ERROR_INVALID_PARAMETER);
  uint32_t count = *pcbElement;
  bool shared = false;
  const icc::Result r = p->profile->GetTag(tag, dwOffset, &count, pElement, &shared);
  if (r.ok() || r.status == icc::Status::InsufficientBuffer) *pcbElement = count;
  if (r.ok() && pbReference) *pbReference = shared;
  return Report(r);
}

BOOL WINAPI SetColorProfileElementSize(HPROFILE hProfile, TAGTYPE tag, DWORD cbElement) {
  OpenProfile* p = LookupWritable(hProfile);
  if (!p) return FALSE;
  return Change(p, p->profile->SetTagSize(tag, cbElement));
}

BOOL WINAPI SetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement) {
  OpenProfile* p = LookupWritable(hProfile);
  if (!p) return FALSE;
  if (!pcbElement) return Change(p, {icc::Status::InvalidParameter, 0});
  if (!Change(p, p->profile->SetTag(tag, dwOffset, *pcbElement, pElement))) return FALSE;
  return TRUE;
}

BOOL WINAPI GetColorDirectoryA(PCSTR pMachineName, PSTR pBuffer, PDWORD pdwSize) {
  if (pMachineName || !pdwSize) return Fail(ERROR_INVALID_PARAMETER);
  static const char kSubfolder[] = "\\spool\\drivers\\color";
  char path[MAX_PATH + sizeof kSubfolder];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Fail(length ? ERROR_BUFFER_OVERFLOW : GetLastError());
  memcpy(path + length, kSubfolder, sizeof kSubfolder);
  const DWORD needed = DWORD(length + sizeof kSubfolder);  // with the terminator
  const DWORD room = *pdwSize;
  *pdwSize = needed;
  if (!pBuffer || room < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(pBuffer, path, needed);
  return TRUE;
}

}  // namespace colour
