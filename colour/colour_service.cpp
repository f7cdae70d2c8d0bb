// Our colour management service: the mscms operations over the portable container.
// A handle owns the open file and the pending changes; closing a read-write handle
// streams the changed profile into a temporary file beside it and swaps that in.  Handles
// may be used from many threads at once.
#include "colour_service.h"

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "file_commit.h"
#include "icc_profile.h"

namespace colour {

DWORD ToWin32(const icc::Result& r) {
  switch (r.status) {
    case icc::Status::Ok: return ERROR_SUCCESS;
    case icc::Status::InvalidProfile: return ERROR_INVALID_PROFILE;
    case icc::Status::TagNotFound: return ERROR_TAG_NOT_FOUND;
    case icc::Status::InsufficientBuffer: return ERROR_INSUFFICIENT_BUFFER;
    case icc::Status::InvalidParameter: return ERROR_INVALID_PARAMETER;
    case icc::Status::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case icc::Status::Version5: return ERROR_NOT_SUPPORTED;
    case icc::Status::Io: return r.os_error;
  }
  return ERROR_INVALID_PARAMETER;
}

namespace {

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

// The new profile goes into a temporary file in the folder of the file that the profile's
// path finally names (a link stays a link), so that the final step is a rename on one
// volume.  Paths are UTF-16 throughout: no name passes through a code page.
class Win32Replacement : public icc::Replacement, private icc::Sink {
 public:
  explicit Win32Replacement(const std::wstring& path) : path_(path) {}
  ~Win32Replacement() override { Discard(); }

  icc::Result Create(icc::Sink** sink) override {
    // Until Finish the system removes the file if the process ends.
    const DWORD error = OpenTemporaryFile(path_, &temp_, &file_);
    if (error != ERROR_SUCCESS) return icc::Result::Io(error);
    *sink = this;
    return {};
  }

  icc::Result Finish() override {
    DWORD error = FlushFileBuffers(file_) ? KeepTemporaryFile(file_) : GetLastError();
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
    return error == ERROR_SUCCESS ? icc::Result() : icc::Result::Io(error);
  }

  icc::Result Replace() override {
    const DWORD error = ReplaceWithFile(path_, temp_);
    if (error == ERROR_SUCCESS) temp_.clear();
    return error == ERROR_SUCCESS ? icc::Result() : icc::Result::Io(error);
  }

  void Discard() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!temp_.empty()) DeleteFileW(temp_.c_str());
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

  std::wstring path_;
  std::wstring temp_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// One open profile.  The table and every call in progress each hold a reference; the last
// one to let go frees it.  A call works on it under its lock, so that two threads never use
// one file position or one set of pending changes at once.
struct OpenProfile {
  std::wstring path;
  bool writable = false;
  // A change that failed: closing then stores nothing, so that a caller abandoning a
  // half-done update never leaves it in the file.
  DWORD failure = ERROR_SUCCESS;
  std::unique_ptr<icc::Profile> profile;
  SRWLOCK lock = SRWLOCK_INIT;
  LONG references = 1;  // the table's
  bool closed = false;
};

void Let(OpenProfile* p) {
  if (InterlockedDecrement(&p->references) == 0) delete p;
}

// Handles are serial numbers, never addresses: a closed handle names nothing again, even
// when a new profile gets the same memory, and a stale or foreign handle is refused
// instead of being followed.  The table goes with the module, closing (without storing)
// whatever is still open.
class HandleTable {
 public:
  HandleTable() = default;
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;
  ~HandleTable() {
    for (auto& row : rows_) Let(row.second);
  }

  // The new handle, or null when the table cannot grow.
  HPROFILE Add(OpenProfile* p) {
    AcquireSRWLockExclusive(&lock_);
    uintptr_t serial = 0;
    try {
      // Serials are not handed out twice before the counter wraps (2^32 opens on 32-bit
      // Windows); 0 and serials still in use are skipped.
      do serial = ++last_; while (serial == 0 || rows_.count(serial) != 0);
      rows_.emplace(serial, p);
    } catch (...) {
      serial = 0;
    }
    ReleaseSRWLockExclusive(&lock_);
    return reinterpret_cast<HPROFILE>(serial);
  }

  // The profile with one more reference, or null.
  OpenProfile* Grab(HPROFILE h) {
    AcquireSRWLockShared(&lock_);
    const auto row = rows_.find(reinterpret_cast<uintptr_t>(h));
    OpenProfile* p = row == rows_.end() ? nullptr : row->second;
    if (p) InterlockedIncrement(&p->references);
    ReleaseSRWLockShared(&lock_);
    return p;
  }

  // Takes the profile out of the table; the caller gets the table's reference.
  OpenProfile* Remove(HPROFILE h) {
    AcquireSRWLockExclusive(&lock_);
    OpenProfile* p = nullptr;
    const auto row = rows_.find(reinterpret_cast<uintptr_t>(h));
    if (row != rows_.end()) {
      p = row->second;
      rows_.erase(row);
    }
    ReleaseSRWLockExclusive(&lock_);
    return p;
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  uintptr_t last_ = 0;
  std::unordered_map<uintptr_t, OpenProfile*> rows_;
};

HandleTable g_handles;

// The profile of a handle, held and locked for the span of one call.  A handle that is not
// open (or is being closed) gives ERROR_INVALID_HANDLE.
class Held {
 public:
  explicit Held(HPROFILE h) : p_(g_handles.Grab(h)) {
    if (p_) {
      AcquireSRWLockExclusive(&p_->lock);
      if (p_->closed) Drop();
    }
    if (!p_) SetLastError(ERROR_INVALID_HANDLE);
  }
  ~Held() { Drop(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  OpenProfile* get() const { return p_; }
  OpenProfile* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // A change through a read-only handle is refused.
  bool Writable() const {
    if (p_->writable) return true;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }

 private:
  void Drop() {
    if (!p_) return;
    ReleaseSRWLockExclusive(&p_->lock);
    Let(p_);
    p_ = nullptr;
  }

  OpenProfile* p_;
};

// Nothing thrown leaves an operation: memory that cannot be had, or a size that cannot be
// held in it, is ERROR_NOT_ENOUGH_MEMORY; anything else is ERROR_INVALID_PARAMETER.
template <class T, class F>
T Guarded(T failure, F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::length_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  return failure;
}

// A failed change poisons the handle.
BOOL Change(OpenProfile* p, const icc::Result& r) {
  if (r.ok()) return TRUE;
  p->failure = ToWin32(r);
  return Fail(p->failure);
}

// A file by name, read or written; or a profile in memory, read only.
bool ValidOpen(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwCreationMode) {
  if (!pProfile || !pProfile->pProfileData ||
      (dwDesiredAccess != PROFILE_READ && dwDesiredAccess != PROFILE_READWRITE) ||
      (pProfile->dwType != PROFILE_FILENAME &&
       (pProfile->dwType != PROFILE_MEMBUFFER || dwDesiredAccess != PROFILE_READ))) {
    Fail(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (dwCreationMode != OPEN_EXISTING) {
    Fail(ERROR_NOT_SUPPORTED);
    return false;
  }
  return true;
}

// The handle of an open profile, which it then owns; null (with the thread's error) when
// the table of handles is full.
HPROFILE Register(std::unique_ptr<OpenProfile> open) {
  const HPROFILE handle = g_handles.Add(open.get());
  if (!handle) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  open.release();
  return handle;
}

// The name of a PROFILE_FILENAME record: it must end inside the `capacity` characters the
// record gives.  Empty when it does not (ERROR_INVALID_PARAMETER is then set).
template <class Char>
std::size_t NameLength(const Char* name, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && name[length] != 0) ++length;
  if (length == 0 || length == capacity) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return length;
}

HPROFILE Open(std::wstring path, DWORD dwDesiredAccess, DWORD dwShareMode) {
  std::unique_ptr<OpenProfile> open(new OpenProfile);
  open->path = std::move(path);
  open->writable = dwDesiredAccess == PROFILE_READWRITE;
  const DWORD access = open->writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  HANDLE h = CreateFileW(open->path.c_str(), access, dwShareMode, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;  // CreateFileW's own reason
  if (open->writable) {
    // Written back where the file really lives: through a link, the link's target.
    std::wstring final = FinalPathName(h);
    if (!final.empty()) open->path = std::move(final);
  }
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
  std::unique_ptr<icc::SourceFile> file(new Win32File(h, uint64_t(file_size.QuadPart)));
  icc::Result r = icc::Profile::Open(std::move(file), &open->profile);
  if (!r.ok()) {
    Fail(ToWin32(r));
    return nullptr;
  }
  return Register(std::move(open));
}

// A copy of the caller's buffer, as the handle's own: the caller may free it once the
// handle is made.
HPROFILE OpenMemory(const void* data, DWORD size) {
  std::unique_ptr<OpenProfile> open(new OpenProfile);
  const auto* bytes = static_cast<const uint8_t*>(data);
  icc::Result r = icc::Profile::Open(
      std::make_unique<icc::MemoryFile>(std::vector<uint8_t>(bytes, bytes + size)), &open->profile);
  if (!r.ok()) {
    Fail(ToWin32(r));
    return nullptr;
  }
  return Register(std::move(open));
}

}  // namespace

icc::Result ReplaceProfile(const std::wstring& path, icc::Profile& profile) {
  try {
    Win32Replacement replacement(FinalPathName(path));
    return icc::Commit(profile, replacement);
  } catch (const std::bad_alloc&) {
    return {icc::Status::OutOfMemory, 0};
  }
}

icc::Result ReplaceFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  Win32Replacement replacement(path);
  icc::Sink* sink = nullptr;
  icc::Result r = replacement.Create(&sink);
  if (r.ok()) r = sink->Write(bytes.data(), bytes.size());
  if (r.ok()) r = replacement.Finish();
  if (r.ok()) r = replacement.Replace();
  if (!r.ok()) replacement.Discard();
  return r;
}

HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode) {
  return Guarded(HPROFILE(nullptr), [&]() -> HPROFILE {
    if (!ValidOpen(pProfile, dwDesiredAccess, dwCreationMode)) return nullptr;
    if (pProfile->dwType == PROFILE_MEMBUFFER)
      return OpenMemory(pProfile->pProfileData, pProfile->cbDataSize);
    const char* name = static_cast<const char*>(pProfile->pProfileData);
    const std::size_t length = NameLength(name, pProfile->cbDataSize);
    if (length == 0) return nullptr;
    const int units = MultiByteToWideChar(CP_ACP, 0, name, int(length), nullptr, 0);
    if (units <= 0) return Fail(GetLastError()), nullptr;
    std::wstring path(std::size_t(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, int(length), &path[0], units);
    return Open(std::move(path), dwDesiredAccess, dwShareMode);
  });
}

HPROFILE WINAPI OpenColorProfileW(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode) {
  return Guarded(HPROFILE(nullptr), [&]() -> HPROFILE {
    if (!ValidOpen(pProfile, dwDesiredAccess, dwCreationMode)) return nullptr;
    if (pProfile->dwType == PROFILE_MEMBUFFER)
      return OpenMemory(pProfile->pProfileData, pProfile->cbDataSize);
    const auto* name = static_cast<const wchar_t*>(pProfile->pProfileData);
    const std::size_t length = NameLength(name, pProfile->cbDataSize / sizeof(wchar_t));
    if (length == 0) return nullptr;
    return Open(std::wstring(name, length), dwDesiredAccess, dwShareMode);
  });
}

BOOL WINAPI CloseColorProfile(HPROFILE hProfile) {
  OpenProfile* p = g_handles.Remove(hProfile);
  if (!p) return Fail(ERROR_INVALID_HANDLE);
  // Calls still in progress end first; any that come after see a closed profile.
  AcquireSRWLockExclusive(&p->lock);
  DWORD error = p->failure;
  if (error == ERROR_SUCCESS && p->writable && p->profile->Modified()) {
    error = Guarded(DWORD(ERROR_NOT_ENOUGH_MEMORY), [&] {
      Win32Replacement replacement(p->path);
      return ToWin32(icc::Commit(*p->profile, replacement));
    });
  }
  // The file and the temporary one are closed before the reason is set, so that nothing
  // done on the way out can change it.
  p->profile.reset();
  p->closed = true;
  ReleaseSRWLockExclusive(&p->lock);
  Let(p);
  return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

void ToHostRecord(const icc::Header& header, PROFILEHEADER* record) {
  static_assert(sizeof(PROFILEHEADER) == icc::kHeaderSize, "header record is 128 bytes");
  DWORD words[icc::kHeaderSize / 4];
  for (std::size_t i = 0; i < icc::kHeaderSize / 4; ++i)
    words[i] = icc::LoadBE32(header.bytes() + 4 * i);
  memcpy(record, words, sizeof words);
}

icc::Header FromHostRecord(const PROFILEHEADER& record) {
  DWORD words[icc::kHeaderSize / 4];
  memcpy(words, &record, sizeof words);
  uint8_t stored[icc::kHeaderSize];
  for (std::size_t i = 0; i < icc::kHeaderSize / 4; ++i) icc::StoreBE32(stored + 4 * i, words[i]);
  return icc::Header(stored);
}

BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader) {
  return Guarded(FALSE, [&]() -> BOOL {
    Held p(hProfile);
    if (!p) return FALSE;
    if (!pHeader) return Fail(ERROR_INVALID_PARAMETER);
    ToHostRecord(p->profile->header(), pHeader);
    return TRUE;
  });
}

BOOL WINAPI SetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader) {
  return Guarded(FALSE, [&]() -> BOOL {
    Held p(hProfile);
    if (!p || !p.Writable()) return FALSE;
    if (!pHeader) return Change(p.get(), {icc::Status::InvalidParameter, 0});
    p->profile->SetHeader(FromHostRecord(*pHeader).bytes());
    return TRUE;
  });
}

BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement, PBOOL pbReference) {
  return Guarded(FALSE, [&]() -> BOOL {
    Held p(hProfile);
    if (!p) return FALSE;
    if (!pcbElement) return Fail(ERROR_INVALID_PARAMETER);
    uint32_t count = *pcbElement;
    bool shared = false;
    const icc::Result r = p->profile->GetTag(tag, dwOffset, &count, pElement, &shared);
    if (r.ok() || r.status == icc::Status::InsufficientBuffer) *pcbElement = count;
    if (r.ok() && pbReference) *pbReference = shared;
    return Report(r);
  });
}

BOOL WINAPI SetColorProfileElementSize(HPROFILE hProfile, TAGTYPE tag, DWORD cbElement) {
  return Guarded(FALSE, [&]() -> BOOL {
    Held p(hProfile);
    if (!p || !p.Writable()) return FALSE;
    return Change(p.get(), p->profile->SetTagSize(tag, cbElement));
  });
}

BOOL WINAPI SetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement) {
  return Guarded(FALSE, [&]() -> BOOL {
    Held p(hProfile);
    if (!p || !p.Writable()) return FALSE;
    if (!pcbElement) return Change(p.get(), {icc::Status::InvalidParameter, 0});
    return Change(p.get(), p->profile->SetTag(tag, dwOffset, *pcbElement, pElement));
  });
}

namespace {

// The colour directory, "<system directory>\spool\drivers\color", in either character size.
template <class Char, class GetSystemDirectoryFn>
BOOL ColourDirectory(GetSystemDirectoryFn get_system_directory, PCSTR pMachineName,
                     Char* pBuffer, PDWORD pdwSize) {
  if (pMachineName || !pdwSize) return Fail(ERROR_INVALID_PARAMETER);
  static const char kSubfolder[] = "\\spool\\drivers\\color";
  Char path[MAX_PATH + sizeof kSubfolder];
  const UINT length = get_system_directory(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Fail(length ? ERROR_BUFFER_OVERFLOW : GetLastError());
  for (std::size_t i = 0; i < sizeof kSubfolder; ++i) path[length + i] = Char(kSubfolder[i]);
  const DWORD needed = DWORD(length + sizeof kSubfolder);  // with the terminator
  // The size is in bytes, as the system's colour library counts it for both forms.
  const DWORD room = *pdwSize / sizeof(Char);
  *pdwSize = needed * sizeof(Char);
  if (!pBuffer || room < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(pBuffer, path, needed * sizeof(Char));
  return TRUE;
}

}  // namespace

BOOL WINAPI GetColorDirectoryA(PCSTR pMachineName, PSTR pBuffer, PDWORD pdwSize) {
  return ColourDirectory<char>(GetSystemDirectoryA, pMachineName, pBuffer, pdwSize);
}

BOOL WINAPI GetColorDirectoryW(PCWSTR pMachineName, PWSTR pBuffer, PDWORD pdwSize) {
  return ColourDirectory<wchar_t>(GetSystemDirectoryW, pMachineName ? "" : nullptr, pBuffer,
                                  pdwSize);
}

icc::Result OpenFileForReading(const wchar_t* path, std::unique_ptr<icc::SourceFile>* out) {
  const HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return icc::Result::Io(GetLastError());
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h, &size)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    return icc::Result::Io(error);
  }
  out->reset(new Win32File(h, uint64_t(size.QuadPart)));
  return {};
}

}  // namespace colour
