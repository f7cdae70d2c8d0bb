// The commands of tagwright-cli.  A command lives in a source file of its own and is one
// row of the table in commands.cpp: its name, its usage line and the function that runs
// it.  The function gets the arguments after the command's name and returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "tool.h"
#include "volume.h"

namespace cli {

struct Command {
  const char* name;
  const char* usage;  // the line of the usage text, without "tagwright-cli "
  const char* help;   // what it does, for the usage text
  int (*run)(Tool& tool, const std::vector<std::string>& args);
};

int RunShow(Tool& tool, const std::vector<std::string>& args);     // show.cpp
int RunSet(Tool& tool, const std::vector<std::string>& args);      // edit.cpp
int RunReplace(Tool& tool, const std::vector<std::string>& args);  // edit.cpp
int RunCheck(Tool& tool, const std::vector<std::string>& args);    // check.cpp
int RunFix(Tool& tool, const std::vector<std::string>& args);      // check.cpp
int RunPlot(Tool& tool, const std::vector<std::string>& args);     // plot.cpp
int RunGamut(Tool& tool, const std::vector<std::string>& args);    // gamut.cpp

// The gamut's solid of the profile at `path` (gamut.cpp, for gamut and plot --lab); false with
// *reason for a file or profile that cannot be read, and for a profile without a solid
// (`no_solid` and why it has none; *none then says which kind).  *profile, when given,
// receives the profile.
bool SolidOf(Tool& tool, const std::string& path, const char* no_solid, gamut::Solid* solid,
             gamut::NoSolid* none, std::string* reason,
             std::unique_ptr<icc::Profile>* profile = nullptr);

// Runs the tool: `args` are the arguments after the program's name.
int RunTool(Platform& platform, const std::vector<std::string>& args);

}  // namespace cli
