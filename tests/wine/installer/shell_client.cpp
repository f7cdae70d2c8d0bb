// Plays the shell's part for profile files, going by the registry alone: for each file it
// finds the handlers that the association of the file's extension names, creates them by
// CLSID as Explorer does, and prints what they give; before that it prints the registration
// through which COM finds the classes, and the entry in the list of installed programs.
//
//   shell_client.exe FILE...
//
// Everything is read in the registry view of the program's own bitness, except the
// installed-programs entry, which is read in the system's native view. One line per fact:
//
//   arch 32|64
//   progid <ProgID> <CLSID>
//   server <CLSID> <InprocServer32 path> <ThreadingModel>
//   approved <CLSID> <value under Shell Extensions\Approved>
//   entry <value name> <value>
//   handlers <extension> tip <CLSID> menu <CLSID> thumbnail <CLSID> properties <CLSID>
//   details <extension> <FullDetails value> <PreviewDetails value>
//   preview <extension> <CLSID> listed <PreviewHandlers value> appid <the class's AppID>
//   tip <file> <library that served it> <text, line feeds shown as \n>
//   menu <file> <text of the item the handler added>
//   thumbnail <file> <library that served it> <width>x<height> <alpha type>
//   properties <file> <library that served it> <title> | <device class> | <profile ID state>
//
// Whatever is missing or fails shows as "none" or "error <what> <HRESULT>" in its place.
// The exit code is 0 when every handler was found and answered, 1 otherwise.

#include <windows.h>
#include <objbase.h>
#include <propsys.h>
#include <propkey.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kIQueryInfo[] = L"{00021500-0000-0000-C000-000000000046}";
const wchar_t* const kClasses[] = {L"{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}", L"{A287BA08-76B5-43BD-BAD6-E642F9A49F95}",
                                   L"{B8375335-1165-4272-B1EE-4C0764C78036}", L"{E56B8C6D-CDBB-44FA-97F2-F5E06331AF6A}",
                                   L"{5602683E-4967-4201-A5BA-12803EE1DFF6}"};
const wchar_t kIThumbnailProvider[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
const wchar_t kIPreviewHandler[] = L"{8895b1c6-b41f-4c1c-a562-0d564250836f}";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

void Print(const std::wstring& line) {
  std::string text = Utf8(line) + "\n";
  fwrite(text.data(), 1, text.size(), stdout);
}

std::wstring Hex(HRESULT hr) {
  wchar_t buffer[16];
  swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

std::wstring Error(const wchar_t* what, HRESULT hr) { return std::wstring(L"error ") + what + L" " + Hex(hr); }

std::wstring GuidText(REFGUID guid) {
  wchar_t buffer[40];
  StringFromGUID2(guid, buffer, 40);
  return buffer;
}

// A REG_SZ value, or "none" when the key or the value is absent.
std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0) {
  HKEY handle;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &handle) != ERROR_SUCCESS) return L"none";
  wchar_t buffer[1024];
  DWORD type = 0, size = sizeof(buffer) - sizeof(wchar_t);
  LONG status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ) return L"none";
  buffer[size / sizeof(wchar_t)] = L'\0';
  return buffer;
}

std::wstring Escaped(const wchar_t* text) {
  std::wstring out;
  for (; *text; ++text) {
    if (*text == L'\n') out += L"\\n";
    else if (*text == L'\r') out += L"\\r";
    else out += *text;
  }
  return out;
}

std::wstring LoadedLibraryPath() {
  HMODULE module = GetModuleHandleW(L"Hueshell.dll");
  if (!module) return L"none";
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n);
}

// The info tip, as the shell asks for it: Load with the path, then GetInfoTip.
std::wstring Tip(const std::wstring& clsidText, const std::wstring& file, bool& ok) {
  ok = false;
  CLSID clsid;
  HRESULT hr = CLSIDFromString(clsidText.c_str(), &clsid);
  if (FAILED(hr)) return Error(L"CLSIDFromString", hr);
  IPersistFile* persist = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, reinterpret_cast<void**>(&persist));
  if (FAILED(hr)) return Error(L"CoCreateInstance", hr);
  std::wstring result;
  hr = persist->Load(file.c_str(), STGM_READ);
  if (FAILED(hr)) {
    result = Error(L"Load", hr);
  } else {
    IQueryInfo* info = nullptr;
    hr = persist->QueryInterface(IID_IQueryInfo, reinterpret_cast<void**>(&info));
    if (FAILED(hr)) {
      result = Error(L"QueryInterface", hr);
    } else {
      wchar_t* text = nullptr;
      hr = info->GetInfoTip(QITIPF_DEFAULT, &text);
      if (FAILED(hr) || !text) {
        result = Error(L"GetInfoTip", hr);
      } else {
        result = LoadedLibraryPath() + L" " + Escaped(text);
        ok = true;
      }
      CoTaskMemFree(text);
      info->Release();
    }
  }
  persist->Release();
  return result;
}

// A stream handler as the shell makes one: a stream on the file, the class created by its
// CLSID, Initialize with the stream, then the interface asked for.  Null, with the failing
// step in `error`, when any step fails.
template <typename Interface>
Interface* OnStream(const std::wstring& clsidText, const std::wstring& file, DWORD share, REFIID iid,
                    std::wstring& error) {
  CLSID clsid;
  HRESULT hr = CLSIDFromString(clsidText.c_str(), &clsid);
  if (FAILED(hr)) return error = Error(L"CLSIDFromString", hr), nullptr;
  IStream* stream = nullptr;
  hr = SHCreateStreamOnFileEx(file.c_str(), STGM_READ | share, 0, FALSE, nullptr, &stream);
  if (FAILED(hr)) return error = Error(L"SHCreateStreamOnFileEx", hr), nullptr;
  IInitializeWithStream* init = nullptr;
  Interface* wanted = nullptr;
  if (FAILED(hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream,
                                   reinterpret_cast<void**>(&init)))) {
    error = Error(L"CoCreateInstance", hr);
  } else if (FAILED(hr = init->Initialize(stream, STGM_READ))) {
    error = Error(L"Initialize", hr);
  } else if (FAILED(hr = init->QueryInterface(iid, reinterpret_cast<void**>(&wanted)))) {
    error = Error(L"QueryInterface", hr);
  }
  if (init) init->Release();
  stream->Release();
  return wanted;
}

// The thumbnail, as the shell asks for it: GetThumbnail at 256 pixels.
std::wstring Thumbnail(const std::wstring& clsidText, const std::wstring& file, bool& ok) {
  ok = false;
  IID provider_iid;
  IIDFromString(kIThumbnailProvider, &provider_iid);
  std::wstring result;
  auto* provider = OnStream<IThumbnailProvider>(clsidText, file, STGM_SHARE_DENY_WRITE, provider_iid, result);
  if (!provider) return result;
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  BITMAP info = {};
  HRESULT hr = provider->GetThumbnail(256, &bitmap, &alpha);
  if (FAILED(hr) || !GetObjectW(bitmap, sizeof info, &info)) {
    result = Error(L"GetThumbnail", hr);
  } else {
    result = LoadedLibraryPath() + L" " + std::to_wstring(info.bmWidth) + L"x" + std::to_wstring(info.bmHeight) +
             (alpha == WTSAT_ARGB ? L" argb" : L" not-argb");
    ok = true;
  }
  if (bitmap) DeleteObject(bitmap);
  provider->Release();
  return result;
}

// The property handler, as Explorer and the indexer use it: GetValue of a few properties.
std::wstring Properties(const std::wstring& clsidText, const std::wstring& file, bool& ok) {
  ok = false;
  std::wstring result;
  auto* store = OnStream<IPropertyStore>(clsidText, file, 0, IID_IPropertyStore, result);
  if (!store) return result;
  const GUID profile = {0x531FF94D, 0x1D45, 0x484C, {0x80, 0xB4, 0x4B, 0x29, 0xC2, 0xF7, 0xEB, 0xEA}};
  const PROPERTYKEY keys[] = {PKEY_Title, {profile, 2}, {profile, 10}};
  result = LoadedLibraryPath();
  ok = true;
  for (const PROPERTYKEY& key : keys) {
    PROPVARIANT value;
    PropVariantInit(&value);
    const HRESULT hr = store->GetValue(key, &value);
    result += &key == keys ? L" " : L" | ";
    if (FAILED(hr) || value.vt != VT_LPWSTR) {
      result += Error(L"GetValue", FAILED(hr) ? hr : HRESULT(value.vt));
      ok = false;
    } else {
      result += value.pwszVal;
    }
    PropVariantClear(&value);
  }
  store->Release();
  return result;
}

// The shell's data object for one file, as Explorer hands it to a context-menu handler.
IDataObject* DataObjectFor(const std::wstring& file, HRESULT& hr) {
  PIDLIST_ABSOLUTE pidl = nullptr;
  hr = SHParseDisplayName(file.c_str(), nullptr, &pidl, 0, nullptr);
  if (FAILED(hr)) return nullptr;
  IShellFolder* parent = nullptr;
  PCUITEMID_CHILD child = nullptr;
  IDataObject* data = nullptr;
  hr = SHBindToParent(pidl, IID_IShellFolder, reinterpret_cast<void**>(&parent), &child);
  if (SUCCEEDED(hr)) {
    hr = parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
    parent->Release();
  }
  CoTaskMemFree(pidl);
  return SUCCEEDED(hr) ? data : nullptr;
}

// The context menu, as the shell builds it: Initialize with the selection, then
// QueryContextMenu into an empty menu, whose one item is read back.
std::wstring Menu(const std::wstring& clsidText, const std::wstring& file, bool& ok) {
  ok = false;
  CLSID clsid;
  HRESULT hr = CLSIDFromString(clsidText.c_str(), &clsid);
  if (FAILED(hr)) return Error(L"CLSIDFromString", hr);
  IDataObject* data = DataObjectFor(file, hr);
  if (!data) return Error(L"data object", hr);
  IShellExtInit* init = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, reinterpret_cast<void**>(&init));
  std::wstring result;
  if (FAILED(hr)) {
    result = Error(L"CoCreateInstance", hr);
  } else {
    hr = init->Initialize(nullptr, data, nullptr);
    IContextMenu* menu = nullptr;
    if (FAILED(hr)) {
      result = Error(L"Initialize", hr);
    } else if (FAILED(hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)))) {
      result = Error(L"QueryInterface", hr);
    } else {
      HMENU popup = CreatePopupMenu();
      hr = menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL);
      wchar_t text[256] = L"";
      if (FAILED(hr)) {
        result = Error(L"QueryContextMenu", hr);
      } else if (GetMenuItemCount(popup) != 1 || GetMenuItemID(popup, 0) != 100) {
        result = L"error menu items " + std::to_wstring(GetMenuItemCount(popup));
      } else {
        GetMenuStringW(popup, 0, text, 256, MF_BYPOSITION);
        result = text;
        ok = true;
      }
      DestroyMenu(popup);
      menu->Release();
    }
    init->Release();
  }
  data->Release();
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    Print(Error(L"CoInitialize", hr));
    return 1;
  }
  Print(sizeof(void*) == 8 ? L"arch 64" : L"arch 32");

  for (const wchar_t* progid : {L"Hueshell.ICCTip", L"Hueshell.ICCTip.1", L"Hueshell.ICCMenu", L"Hueshell.ICCMenu.1",
                                L"Hueshell.ICCThumbnail", L"Hueshell.ICCThumbnail.1", L"Hueshell.ICCProperties",
                                L"Hueshell.ICCProperties.1", L"Hueshell.ICCPreview", L"Hueshell.ICCPreview.1"}) {
    CLSID clsid;
    hr = CLSIDFromProgID(progid, &clsid);
    Print(std::wstring(L"progid ") + progid + L" " + (SUCCEEDED(hr) ? GuidText(clsid) : Error(L"CLSIDFromProgID", hr)));
  }
  for (const wchar_t* clsid : kClasses) {
    std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    Print(std::wstring(L"server ") + clsid + L" " + ReadString(HKEY_CLASSES_ROOT, key, nullptr) + L" " +
          ReadString(HKEY_CLASSES_ROOT, key, L"ThreadingModel"));
  }
  for (const wchar_t* clsid : kClasses)
    Print(std::wstring(L"approved ") + clsid + L" " +
          ReadString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", clsid));
  const wchar_t entry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tagwright";
  for (const wchar_t* name : {L"DisplayName", L"DisplayVersion", L"Publisher", L"HelpLink", L"UninstallString",
                              L"QuietUninstallString"})
    Print(std::wstring(L"entry ") + name + L" " + ReadString(HKEY_LOCAL_MACHINE, entry, name, KEY_WOW64_64KEY));

  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::wstring file = argv[i];
    std::wstring extension = PathFindExtensionW(file.c_str());
    std::wstring shellex = L"SystemFileAssociations\\" + extension + L"\\shellex\\";
    std::wstring tipHandler = ReadString(HKEY_CLASSES_ROOT, shellex + kIQueryInfo, nullptr);
    std::wstring menuHandler = ReadString(HKEY_CLASSES_ROOT, shellex + L"ContextMenuHandlers\\Hueshell", nullptr);
    std::wstring thumbnailHandler = ReadString(HKEY_CLASSES_ROOT, shellex + kIThumbnailProvider, nullptr);
    std::wstring propertyHandler = ReadString(
        HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\" + extension, nullptr);
    Print(L"handlers " + extension + L" tip " + tipHandler + L" menu " + menuHandler + L" thumbnail " + thumbnailHandler +
          L" properties " + propertyHandler);
    const std::wstring association = L"SystemFileAssociations\\" + extension;
    Print(L"details " + extension + L" " + ReadString(HKEY_CLASSES_ROOT, association, L"FullDetails") + L" " +
          ReadString(HKEY_CLASSES_ROOT, association, L"PreviewDetails"));
    const std::wstring previewHandler = ReadString(HKEY_CLASSES_ROOT, shellex + kIPreviewHandler, nullptr);
    Print(L"preview " + extension + L" " + previewHandler + L" listed " +
          ReadString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
                     previewHandler.c_str()) +
          L" appid " + ReadString(HKEY_CLASSES_ROOT, L"CLSID\\" + previewHandler, L"AppID"));
    if (tipHandler == L"none" || menuHandler == L"none" || thumbnailHandler == L"none") {
      status = 1;
      continue;
    }
    bool ok;
    Print(L"tip " + file + L" " + Tip(tipHandler, file, ok));
    if (!ok) status = 1;
    Print(L"menu " + file + L" " + Menu(menuHandler, file, ok));
    if (!ok) status = 1;
    Print(L"thumbnail " + file + L" " + Thumbnail(thumbnailHandler, file, ok));
    if (!ok) status = 1;
    if (propertyHandler != L"none") {
      Print(L"properties " + file + L" " + Properties(propertyHandler, file, ok));
      if (!ok) status = 1;
    }
  }
  CoUninitialize();
  return status;
}
