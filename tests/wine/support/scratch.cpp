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

void RemoveFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string file = path + "\\" + found.cFileName;
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(file);
        continue;
      }
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(path.c_str());
}

bool OpenExclusively(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace testing_icc
