// ICCMenu: the context-menu command for selected profiles.  A selection whose first name
// lies outside the colour directory is offered "Copy to Color Folder"; one whose first
// name lies under it is offered "Move to a Backup Folder".
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

namespace hueshell {

// The platform operations the menu calls, gathered so that a test can stand in for any of
// them.  DefaultMenuPlatform() holds the real ones: our colour service and the shell.
struct MenuPlatform {
  BOOL(WINAPI* GetColorDirectoryW)(PCWSTR, PWSTR, PDWORD);
  HRESULT(WINAPI* SHGetMalloc)(IMalloc**);
  BOOL(WINAPI* InsertMenuW)(HMENU, UINT, UINT, UINT_PTR, LPCWSTR);
  HWND(WINAPI* GetFocus)();
  PIDLIST_ABSOLUTE(WINAPI* SHBrowseForFolderW)(LPBROWSEINFOW);
  BOOL(WINAPI* SHGetPathFromIDListW)(PCIDLIST_ABSOLUTE, LPWSTR);
  int(WINAPI* SHFileOperationW)(LPSHFILEOPSTRUCTW);
};

const MenuPlatform& DefaultMenuPlatform();

// Creation function of the class table; the second form stands platform operations in.
HRESULT CreateICCMenu(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateICCMenuWith(const MenuPlatform& platform, IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
