#include "commands.h"

#include <cstring>

namespace cli {
namespace {

const Command kCommands[] = {
    {"show", "show [--json] [--all-languages] [-r] PATH...",
     "show     the version, class, colour space and description of each profile; --json\n"
     "         for scripts (a file name that is not UTF-8 also as \"path_bytes\", in hex)\n",
     RunShow},
    {"set", "set [--lang ll[-CC]] [-r] [--dry-run] [--in-place] (TEXT | --text-from FILE) PATH...",
     "set      gives each file the description TEXT (version 4: the record of --lang,\n"
     "         else of the user's language); --text-from reads it from FILE, or from\n"
     "         standard input for -, without the last line break\n",
     RunSet},
    {"replace", "replace [-r] [--dry-run] [--in-place] OLD (NEW | --text-from FILE) PATH...",
     "replace  replaces OLD by NEW in the descriptions that hold it\n", RunReplace},
    {"check", "check [-r] [--json] [--strict] PATH...",
     "check    what is wrong with each profile: errors (readers may refuse or misread\n"
     "         it), warnings (readable, but not as the format allows) and notes; --json\n"
     "         for scripts; --strict counts warnings for the exit code too\n",
     RunCheck},
    {"fix", "fix [-r] [--dry-run] [--in-place] [--json] [--strict] PATH...",
     "fix      repairs what can be repaired without changing what a profile means (every\n"
     "         other tag keeps its bytes) and lists what is left\n",
     RunFix},
    {"plot", "plot [-r] PROFILE... [-o FILE.png | -d FOLDER] [--size N] [--lab] [--compare sRGB|PROFILE]",
     "plot     draws each profile's gamut on the CIE 1931 chromaticity diagram as a PNG\n"
     "         (FOLDER/NAME.png, in the current folder without -d; 256 pixels unless\n"
     "         --size says 16 to 1024; --compare adds a dashed outline); --lab draws its\n"
     "         solid in CIELAB in 3D inside sRGB's wireframe, or --compare's (a profile,\n"
     "         or sRGB, AdobeRGB, P3 or Rec2020 in any case of letters)\n",
     RunPlot},
    {"gamut", "gamut [-r] [--json] [--compare sRGB|AdobeRGB|P3|Rec2020|PROFILE]... PROFILE...",
     "gamut    the volume of each profile's gamut in CIELAB (cubic delta E), and how much of\n"
     "         sRGB, Adobe RGB, Display P3 and Rec. 2020 it covers, with its volume beside\n"
     "         theirs; each --compare (a reference, in any case of letters, or a profile)\n"
     "         names one to compare with instead, in the order given; --json for scripts\n",
     RunGamut},
};

// The options several commands share; a command's help lists those its usage names.
const struct {
  const char* option;
  const char* help;
} kOptions[] = {
    {"[-r]", "-r       goes through folders for .icc and .icm files\n"},
    {"[--dry-run]", "--dry-run  shows what would change and what would fail, and writes nothing\n"},
    {"[--in-place]",
     "--in-place  rewrites a file with several names (hard links) where it is, so that\n"
     "         every name sees the change (without it such a file is refused)\n"},
};

const char kExitHelp[] =
    "Exit code: 0 when every file succeeded, 1 when one failed (check, fix: or has an\n"
    "error left), 2 for a usage error.\n";

// The usage of one command, or of all of them.
std::string UsageText(const Command* only) {
  std::string text = "usage:", help, usages;
  for (const Command& command : kCommands) {
    if (only && only != &command) continue;
    text += std::string(text.size() == 6 ? " " : "       ") + "tagwright-cli " + command.usage + "\n";
    help += command.help;
    usages += command.usage;
  }
  for (const auto& o : kOptions)
    if (usages.find(o.option) != std::string::npos) help += o.help;
  return text + "\n" + help + kExitHelp;
}

}  // namespace

int RunTool(Platform& platform, const std::vector<std::string>& args) {
  Tool tool(platform);
  if (args.empty()) return tool.Usage("no command");
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    platform.Out(UsageText(nullptr));
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (args[0] != command.name) continue;
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& arg : rest) {
      if (arg == "--") break;
      if (arg == "--help" || arg == "-h") {
        platform.Out(UsageText(&command));
        return kExitOk;
      }
    }
    return command.run(tool, rest);
  }
  return tool.Usage("unknown command " + args[0]);
}

}  // namespace cli
