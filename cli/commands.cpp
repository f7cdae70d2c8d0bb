#include "commands.h"

#include <cstring>

namespace cli {
namespace {

const Command kCommands[] = {
    {"show", "show [--json] [--all-languages] [-r] PATH...", RunShow},
    {"set", "set [--lang ll[-CC]] [--dry-run] TEXT FILE...", RunSet},
    {"replace", "replace [-r] [--dry-run] OLD NEW PATH...", RunReplace},
    {"plot", "plot [-r] PROFILE... [-o FILE.png | -d FOLDER] [--size N] [--compare sRGB|PROFILE]", RunPlot},
};

std::string UsageText() {
  std::string text = "usage:";
  for (const Command& command : kCommands)
    text += std::string(&command == kCommands ? " " : "       ") + "tagwright-cli " +
            command.usage + "\n";
  return text +
         "\n"
         "show     the version, class, colour space and description of each profile\n"
         "set      gives each file the description TEXT (version 4: the record of --lang,\n"
         "         else of the user's language)\n"
         "replace  replaces OLD by NEW in the descriptions that hold it\n"
         "plot     draws each profile's gamut on the CIE 1931 chromaticity diagram as a PNG\n"
         "         (FOLDER/NAME.png, in the current folder without -d; 256 pixels unless\n"
         "         --size says 16 to 1024; --compare adds a dashed outline)\n"
         "-r       goes through folders for .icc and .icm files\n"
         "--dry-run  shows what would change and writes nothing\n"
         "Exit code: 0 when every file succeeded, 1 when one failed, 2 for a usage error.\n";
}

}  // namespace

int RunTool(Platform& platform, const std::vector<std::string>& args) {
  Tool tool(platform);
  if (args.empty()) return tool.Usage("no command");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    platform.Out(UsageText());
    return kExitOk;
  }
  for (const Command& command : kCommands)
    if (args[0] == command.name)
      return command.run(tool, std::vector<std::string>(args.begin() + 1, args.end()));
  return tool.Usage("unknown command " + args[0]);
}

}  // namespace cli
