#include "real_profiles.h"

#include <cstdio>
#include <stdexcept>

#include "scratch.h"

namespace testing_icc {

const char kColourRoot[] = "Z:\\usr\\share\\color";

namespace {

const char* const kPatterns[] = {"argyll\\ref\\*.icm", "icc\\*.icc", "icc\\*.icm",
                                 "icc\\colord\\*.icc"};

bool IsVersion(const std::string& path, int version) {
  try {
    const auto bytes = FileBytes(path);
    return bytes.size() >= 128 && (version == 0 || bytes[8] == version);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::vector<Source> InstalledProfiles(int version) {
  std::vector<Source> found;
  for (const char* pattern : kPatterns) {
    const std::string wildcard = std::string(kColourRoot) + "\\" + pattern;
    const std::string folder = wildcard.substr(0, wildcard.rfind('\\'));
    std::string prefix = folder.substr(folder.rfind('\\') + 1);
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(wildcard.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) continue;
    do {
      const std::string path = folder + "\\" + data.cFileName;
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsVersion(path, version))
        found.push_back({path, prefix + "-" + data.cFileName});
    } while (FindNextFileA(h, &data));
    FindClose(h);
  }
  return found;
}

std::string LinuxPath(const std::string& windows) {
  if (windows.size() < 3 || (windows[0] != 'Z' && windows[0] != 'z') || windows[1] != ':')
    throw std::runtime_error(windows + " is not on drive Z:");
  std::string path = windows.substr(2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string Hex(const std::string& text) {
  std::string hex;
  char digits[3];
  for (unsigned char c : text) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return hex;
}

std::string FreshFolder(const char* name) {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  const std::string out = std::string(cwd) + "\\" + name;
  RemoveFolder(out);
  if (!CreateDirectoryA(out.c_str(), nullptr))
    throw std::runtime_error("cannot create " + out);
  return out;
}

bool WriteManifest(const std::string& folder, const std::string& manifest) {
  FILE* f = std::fopen((folder + "\\manifest.txt").c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(manifest.data(), 1, manifest.size(), f) == manifest.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace testing_icc
