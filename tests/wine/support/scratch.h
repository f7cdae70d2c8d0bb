// Files for the Windows tests: a folder of their own per test, and small helpers around
// the Win32 file functions.  Whole files are read and written with the profile builder's
// FileBytes and WriteFileBytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "profile_builder.h"

namespace testing_icc {

// A fresh folder under the current directory, named after the running test; it is
// emptied and removed when the object goes, whatever attributes its files were given.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // The names of the files in the folder, sorted.
  std::vector<std::string> Names() const;
  // Writes `bytes` into a new file of the folder and returns its path.
  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

bool FileExists(const std::string& path);

// Removes a folder with everything in it.
void RemoveFolder(const std::string& path);

// Whether the file can be opened for reading and writing with no sharing: it is held
// open by nobody.
bool OpenExclusively(const std::string& path);

}  // namespace testing_icc
