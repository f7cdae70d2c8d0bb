// The profiles installed on the machine, as Windows programs under Wine see them, and the
// manifests through which the Windows tests hand copies of them to the native checker.
#pragma once

#include <string>
#include <vector>

namespace testing_icc {

// Where Linux's /usr/share/color appears to Windows programs under Wine.
extern const char kColourRoot[];

struct Source {
  std::string path;   // as Windows sees it
  std::string label;  // unique name for copies: the folder's name, "-", the file's name
};

// Every profile under the colour root of that version (0: any version).
std::vector<Source> InstalledProfiles(int version);

// Wine shows the Linux file system as drive Z:; throws for a path elsewhere.
std::string LinuxPath(const std::string& windows);

std::string Hex(const std::string& text);

// An empty folder of that name in the working directory; throws when it cannot be made.
std::string FreshFolder(const char* name);

// Writes `manifest` as manifest.txt in `folder`; false when it cannot.
bool WriteManifest(const std::string& folder, const std::string& manifest);

}  // namespace testing_icc
