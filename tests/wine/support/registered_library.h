// This build's Hueshell registered for a test program as the setup registers it, and the
// text conversions the shell tests share.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace testing_icc {

// Loads the library (a Linux path), runs its DllRegisterServer and gives each of the HKLM
// `handler_keys` the default value `clsid`; at the end deletes those keys and unregisters.
class RegisteredLibrary : public testing::Environment {
 public:
  RegisteredLibrary(const std::string& dll, std::vector<std::wstring> handler_keys, std::wstring clsid)
      : dll_(dll), handler_keys_(std::move(handler_keys)), clsid_(std::move(clsid)) {}
  void SetUp() override;
  void TearDown() override;

 private:
  HRESULT Call(const char* name);

  std::string dll_;
  std::vector<std::wstring> handler_keys_;
  std::wstring clsid_;
  HMODULE module_ = nullptr;
};

std::wstring Wide(const std::string& text, UINT page = CP_ACP);
std::string Utf8(const std::wstring& text);

}  // namespace testing_icc
