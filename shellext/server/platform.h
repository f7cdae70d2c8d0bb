// The platform operations that the two classes call, gathered so that a test can stand in
// for any of them.  DefaultPlatform() holds the real ones: our colour service and the shell.
#pragma once

#include <windows.h>
#include <icm.h>
#include <shlobj.h>
#include <shellapi.h>
#include <oleauto.h>

namespace hueshell {

struct Platform {
  // Colour management service.
  HPROFILE(WINAPI* OpenColorProfileW)(PPROFILE, DWORD, DWORD, DWORD);
  BOOL(WINAPI* CloseColorProfile)(HPROFILE);
  BOOL(WINAPI* GetColorProfileHeader)(HPROFILE, PPROFILEHEADER);
  BOOL(WINAPI* GetColorProfileElement)(HPROFILE, TAGTYPE, DWORD, PDWORD, PVOID, PBOOL);
  BOOL(WINAPI* GetColorDirectoryW)(PCWSTR, PWSTR, PDWORD);
  // OLE Automation strings (the tip's text is built in one).
  BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT);
  // Shell.
  HRESULT(WINAPI* SHGetMalloc)(IMalloc**);
  BOOL(WINAPI* InsertMenuW)(HMENU, UINT, UINT, UINT_PTR, LPCWSTR);
  HWND(WINAPI* GetFocus)();
  PIDLIST_ABSOLUTE(WINAPI* SHBrowseForFolderW)(LPBROWSEINFOW);
  BOOL(WINAPI* SHGetPathFromIDListW)(PCIDLIST_ABSOLUTE, LPWSTR);
  int(WINAPI* SHFileOperationW)(LPSHFILEOPSTRUCTW);
};

const Platform& DefaultPlatform();

}  // namespace hueshell
