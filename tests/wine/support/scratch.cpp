#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace testing_icc {

ScratchFolder::ScratchFolder() {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  // Named after the program and the test, so that test programs running side by side in
  // one folder never share one.
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string name(program, length);
  name = name.substr(name.find_last_of("\\/") + 1);
  name = name.substr(0, name.rfind('.'));
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info) name += std::string("-") + info->test_suite_name() + "." + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  path_ = std::string(cwd) + "\\scratch-" + name;
  RemoveFolder(path_);
  if (!CreateDirectoryA(path_.c_str(), nullptr))
    throw std::runtime_error("cannot create " + path_);
}

ScratchFolder::~ScratchFolder() { RemoveFolder(path_); }

std::vector<std::string> ScratchFolder::Names() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((path_ + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ScratchFolder::Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
  const std::string path = File(name);
  WriteFileBytes(path, bytes);
  return path;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {
// By UTF-16 names, so that files named outside the ANSI code page go too.
void RemoveFolderW(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      const std::wstring file = path + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderW(file);
        continue;
      }
      SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(file.c_str());
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(path.c_str());
}
}  // namespace

void RemoveFolder(const std::string& path) {
  const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), int(path.size()), nullptr, 0);
  std::wstring wide(std::size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), int(path.size()), &wide[0], n);
  RemoveFolderW(wide);
}

bool OpenExclusively(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace testing_icc
