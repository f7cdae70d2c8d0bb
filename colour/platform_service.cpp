// The service forwarded to the system's colour library.
#include "colour_service.h"

namespace colour {

HPROFILE WINAPI OpenColorProfileA(PPROFILE p, DWORD access, DWORD share, DWORD creation) {
  return ::OpenColorProfileA(p, access, share, creation);
}
BOOL WINAPI CloseColorProfile(HPROFILE h) { return ::CloseColorProfile(h); }
BOOL WINAPI GetColorProfileHeader(HPROFILE h, PPROFILEHEADER header) {
  return ::GetColorProfileHeader(h, header);
}
BOOL WINAPI SetColorProfileHeader(HPROFILE h, PPROFILEHEADER header) {
  return ::SetColorProfileHeader(h, header);
}
BOOL WINAPI GetColorProfileElement(HPROFILE h, TAGTYPE tag, DWORD offset, PDWORD count,
                                   PVOID buffer, PBOOL reference) {
  return ::GetColorProfileElement(h, tag, offset, count, buffer, reference);
}
BOOL WINAPI SetColorProfileElementSize(HPROFILE h, TAGTYPE tag, DWORD size) {
  return ::SetColorProfileElementSize(h, tag, size);
}
BOOL WINAPI SetColorProfileElement(HPROFILE h, TAGTYPE tag, DWORD offset, PDWORD count,
                                   PVOID data) {
  return ::SetColorProfileElement(h, tag, offset, count, data);
}
BOOL WINAPI GetColorDirectoryA(PCSTR machine, PSTR buffer, PDWORD size) {
  return ::GetColorDirectoryA(machine, buffer, size);
}

}  // namespace colour
