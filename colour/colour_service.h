// The colour management service that both programs read and write profiles through.
// The operations carry the names and signatures of the Windows colour library (mscms) and
// are served by our own implementation over the portable container.
#pragma once

#include <windows.h>
#include <icm.h>

#ifndef ERROR_INVALID_PROFILE
#define ERROR_INVALID_PROFILE 2011L
#endif
#ifndef ERROR_TAG_NOT_FOUND
#define ERROR_TAG_NOT_FOUND 2012L
#endif

namespace colour {

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

}  // namespace colour
