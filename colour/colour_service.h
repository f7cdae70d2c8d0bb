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

HPROFILE WINAPI OpenColorProfileA(PPROFILE pProfile, DWORD dwDesiredAccess, DWORD dwShareMode,
                                  DWORD dwCreationMode);
BOOL WINAPI CloseColorProfile(HPROFILE hProfile);
BOOL WINAPI GetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader);
BOOL WINAPI SetColorProfileHeader(HPROFILE hProfile, PPROFILEHEADER pHeader);
BOOL WINAPI GetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement, PBOOL pbReference);
BOOL WINAPI SetColorProfileElementSize(HPROFILE hProfile, TAGTYPE tag, DWORD cbElement);
BOOL WINAPI SetColorProfileElement(HPROFILE hProfile, TAGTYPE tag, DWORD dwOffset,
                                   PDWORD pcbElement, PVOID pElement);
BOOL WINAPI GetColorDirectoryA(PCSTR pMachineName, PSTR pBuffer, PDWORD pdwSize);

}  // namespace colour
