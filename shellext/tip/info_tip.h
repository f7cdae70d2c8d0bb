// ICCTip: the info tip of a colour profile, five lines composed from the profile's `desc`
// text and four header fields.
#pragma once

#include <windows.h>
#include <icm.h>
#include <objidl.h>
#include <oleauto.h>

namespace hueshell {

// The platform operations the tip calls, gathered so that a test can stand in for any of
// them.  DefaultTipPlatform() holds the real ones: our colour service and the system's.
struct TipPlatform {
  HPROFILE(WINAPI* OpenColorProfileW)(PPROFILE, DWORD, DWORD, DWORD);
  BOOL(WINAPI* CloseColorProfile)(HPROFILE);
  BOOL(WINAPI* GetColorProfileHeader)(HPROFILE, PPROFILEHEADER);
  BOOL(WINAPI* GetColorProfileElement)(HPROFILE, TAGTYPE, DWORD, PDWORD, PVOID, PBOOL);
  // The tip's text is built in an OLE Automation string.
  BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT);
  HRESULT(WINAPI* SHGetMalloc)(IMalloc**);
};

const TipPlatform& DefaultTipPlatform();

// Composes the tip text of the profile at `path` into `text`, which is emptied first.  S_OK,
// E_FAIL (no path; profile, description or header unreadable) or E_OUTOFMEMORY.
HRESULT ComposeTip(const TipPlatform& platform, const wchar_t* path, BSTR* text);

// Creation function of the class table; the second form stands platform operations in.
HRESULT CreateICCTip(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateICCTipWith(const TipPlatform& platform, IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
