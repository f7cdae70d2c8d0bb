// A client of the registered library: creates both classes through the COM runtime, by
// CLSID and by ProgID, and prints what it got.  Argument: a profile path.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace {

const CLSID kTip = {0x4ff6b420, 0xdaef, 0x4c5e, {0x94, 0x67, 0xaa, 0xda, 0x04, 0x7a, 0x8c, 0xd9}};
const CLSID kMenu = {0xa287ba08, 0x76b5, 0x43bd, {0xba, 0xd6, 0xe6, 0x42, 0xf9, 0xa4, 0x9f, 0x95}};

std::string g_out;

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string s(std::size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &s[0], n, nullptr, nullptr);
  return s;
}

bool Tip(const CLSID& clsid, const wchar_t* path) {
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                                reinterpret_cast<void**>(&file));
  if (FAILED(hr)) {
    g_out += "CoCreateInstance failed\n";
    return false;
  }
  IQueryInfo* info = nullptr;
  bool ok = SUCCEEDED(file->Load(path, STGM_READ)) &&
            SUCCEEDED(file->QueryInterface(IID_IQueryInfo, reinterpret_cast<void**>(&info)));
  wchar_t* tip = nullptr;
  if (ok) ok = SUCCEEDED(info->GetInfoTip(0, &tip)) && tip;
  if (ok) {
    g_out += Narrow(tip) + "\n";
    CoTaskMemFree(tip);
  } else {
    g_out += "no tip\n";
  }
  if (info) info->Release();
  file->Release();
  return ok;
}

bool Menu(const CLSID& clsid) {
  IContextMenu* menu = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                              reinterpret_cast<void**>(&menu)))) {
    g_out += "CoCreateInstance failed\n";
    return false;
  }
  g_out += "IContextMenu\n";
  menu->Release();
  return true;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  bool ok = true;
  CLSID tip_by_name = {}, menu_by_name = {};
  g_out += "ICCTip by CLSID:\n";
  ok &= Tip(kTip, argv[1]);
  g_out += "ICCTip by ProgID:\n";
  ok &= SUCCEEDED(CLSIDFromProgID(L"Hueshell.ICCTip", &tip_by_name)) && Tip(tip_by_name, argv[1]);
  g_out += "ICCMenu by CLSID: ";
  ok &= Menu(kMenu);
  g_out += "ICCMenu by ProgID: ";
  ok &= SUCCEEDED(CLSIDFromProgID(L"Hueshell.ICCMenu.1", &menu_by_name)) && Menu(menu_by_name);
  CoUninitialize();
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), g_out.data(), DWORD(g_out.size()), &written, nullptr);
  LocalFree(argv);
  return ok ? 0 : 1;
}
