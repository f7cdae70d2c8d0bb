// Prints, for every profile named on the command line, the description the codec reads,
// or the reason it cannot.
#include <windows.h>

#include <cstdio>
#include <string>

#include "DescriptionTag.h"

int main(int argc, char** argv) {
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    CDescriptionTag tag;
    std::string description;
    if (tag.Read(argv[i], description)) {
      std::printf("%s\t%s\n", argv[i], description.c_str());
    } else {
      std::printf("%s\t(error %lu)\n", argv[i], GetLastError());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
