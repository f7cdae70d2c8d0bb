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
  HPROFILE(WINAPI* OpenColorProfileA)(PPROFILE, DWORD, DWORD, DWORD);
  BOOL(WINAPI* CloseColorProfile)(HPROFILE);
  BOOL(WINAPI* GetColorProfileHeader)(HPROFILE, PPROFILEHEADER);
  BOOL(WINAPI* GetColorProfileElement)(HPROFILE, TAGTYPE, DWORD, PDWORD, PVOID, PBOOL);
  BOOL(WINAPI* GetColorDirectoryA)(PCSTR, PSTR, PDWORD);
  // OLE Automation strings (the tip's text is built in one).
  BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT);
  // Shell.
  HRESULT(WINAPI* SHGetMalloc)(IMalloc**);
  UINT(WINAPI* DragQueryFileA)(HDROP, UINT, LPSTR, UINT);
  BOOL(WINAPI* InsertMenuA)(HMENU, UINT, UINT, UINT_PTR, LPCSTR);
  HWND(WINAPI* GetFocus)();
  PIDLIST_ABSOLUTE(WINAPI* SHBrowseForFolderA)(LPBROWSEINFOA);
  BOOL(WINAPI* SHGetPathFromIDListA)(PCIDLIST_ABSOLUTE, LPSTR);
  int(WINAPI* SHFileOperationA)(LPSHFILEOPSTRUCTA);
};

const Platform& DefaultPlatform();

}  // namespace hueshell
