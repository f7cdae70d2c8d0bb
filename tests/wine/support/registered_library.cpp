#include "registered_library.h"

namespace testing_icc {

void RegisteredLibrary::SetUp() {
  std::string path = "Z:" + dll_;
  for (char& c : path)
    if (c == '/') c = '\\';
  module_ = LoadLibraryA(path.c_str());
  ASSERT_NE(module_, nullptr) << path;
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  for (const std::wstring& key : handler_keys_)
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, clsid_.c_str(),
                              DWORD((clsid_.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void RegisteredLibrary::TearDown() {
  for (const std::wstring& key : handler_keys_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
  if (!module_) return;
  Call("DllUnregisterServer");
  FreeLibrary(module_);
}

HRESULT RegisteredLibrary::Call(const char* name) {
  auto fn = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  return fn ? fn() : E_FAIL;
}

std::wstring Wide(const std::string& text, UINT page) {
  const int n = MultiByteToWideChar(page, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(std::size_t(n), L'\0');
  if (n) MultiByteToWideChar(page, 0, text.data(), int(text.size()), &wide[0], n);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(std::size_t(n), '\0');
  if (n) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace testing_icc
