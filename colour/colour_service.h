// The colour management service that both programs read and write profiles through.
// The operations carry the names and signatures of the Windows colour library (mscms) and
// are served by our own implementation over the portable container.
#pragma once

#include <windows.h>
#include <icm.h>

#include <memory>
#include <string>

#include "icc_profile.h"

#ifndef ERROR_INVALID_PROFILE
#define ERROR_INVALID_PROFILE 2011L
#endif
#ifndef ERROR_TAG_NOT_FOUND
#define ERROR_TAG_NOT_FOUND 2012L
#endif

namespace colour {

// A result of the container as the service's last-error value.
DWORD ToWin32(const icc::Result& r);

// The header as GetColorProfileHeader hands it over: every 32-bit word in host order, so
// that the record's fields hold their numbers and a record set back unchanged is stored
// unchanged.
void ToHostRecord(const icc::Header& header, PROFILEHEADER* record);
icc::Header FromHostRecord(const PROFILEHEADER& record);

// PROFILE_FILENAME only: the name, ANSI or UTF-16, must end inside cbDataSize bytes.
HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode);
HPROFILE WINAPI OpenColorProfileW(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode);
BOOL WINAPI CloseColorProfile(HPROFILE hProfile);
BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader);
BOOL WINAPI SetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader);
BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement, PBOOL pbReference);
BOOL WINAPI SetColorProfileElementSize(HPROFILE hProfile, TAGTYPE tag, DWORD cbElement);
BOOL WINAPI SetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement);
// *pdwSize counts bytes in both forms.
BOOL WINAPI GetColorDirectoryA(PCSTR pMachineName, PSTR pBuffer, PDWORD pdwSize);
BOOL WINAPI GetColorDirectoryW(PCWSTR pMachineName, PWSTR pBuffer, PDWORD pdwSize);

// The one holder of an open profile handle: closed when the holder goes, through `close`
// (the service's own unless a test stands one in).  A close on the way out of a failure
// keeps the failing step's last-error value for the caller.
class ProfileHandle {
 public:
  using CloseFn = BOOL(WINAPI*)(HPROFILE);
  explicit ProfileHandle(HPROFILE handle, CloseFn close = CloseColorProfile)
      : handle_(handle), close_(close) {}
  ~ProfileHandle() {
    if (!handle_) return;
    const DWORD error = GetLastError();
    close_(handle_);
    SetLastError(error);
  }
  ProfileHandle(const ProfileHandle&) = delete;
  ProfileHandle& operator=(const ProfileHandle&) = delete;

  HPROFILE get() const { return handle_; }
  // Closes now; a profile opened for writing stores its changes, and the result says
  // whether that worked.
  BOOL Close() {
    const HPROFILE handle = handle_;
    handle_ = nullptr;
    return handle ? close_(handle) : FALSE;
  }

 private:
  HPROFILE handle_;
  CloseFn close_;
};

// The container's view of a file opened for reading as the service opens profiles, for
// callers that need the profile itself rather than a handle (the command line's plot).
// CreateFileW's reason comes back as Status::Io.
icc::Result OpenFileForReading(const wchar_t* path, std::unique_ptr<icc::SourceFile>* out);
// Writes `profile` in place of the file that `path` finally names (through links), through
// the atomic replacement that closing a changed handle does.
icc::Result ReplaceProfile(const std::wstring& path, icc::Profile& profile);
// Writes `bytes` as the file `path` (a new one, or in place of the one there) in the same
// way: complete and flushed beside it first, removed by the system if the process ends.
icc::Result ReplaceFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);

}  // namespace colour
