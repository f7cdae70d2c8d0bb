// The commands of tagwright-cli.  A command lives in a source file of its own and is one
// row of the table in commands.cpp: its name, its usage line and the function that runs
// it.  The function gets the arguments after the command's name and returns the exit code.
#pragma once

#include <string>
#include <vector>

#include "tool.h"

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

// Runs the tool: `args` are the arguments after the program's name.
int RunTool(Platform& platform, const std::vector<std::string>& args);

}  // namespace cli
