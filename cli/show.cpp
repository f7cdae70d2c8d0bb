// show: what each profile is, and its description.
#include <cstdio>

#include "commands.h"
#include "profile_names.h"

namespace cli {
namespace {

struct Shown {
  std::string path, version, device_class, colour_space, description;
  std::vector<std::pair<std::string, std::string>> records;  // "en-US", text
};

std::string Hex(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", unsigned(uint8_t(c)));
    out += digits;
  }
  return out;
}

std::string Text(const Shown& s, bool all_languages) {
  std::string out = Printable(s.path) + "\n  version: " + s.version + "\n  class: " +
                    s.device_class + "\n  colour space: " + s.colour_space +
                    "\n  description: " + Printable(s.description) + "\n";
  if (all_languages)
    for (const auto& record : s.records)
      out += "  " + Printable(record.first) + ": " + Printable(record.second) + "\n";
  return out;
}

std::string Json(const Shown& s, bool all_languages) {
  // A name that is not UTF-8 is given as its bytes too, in hexadecimal.
  std::string out = "{\"path\": " + JsonString(s.path) +
                    (IsUtf8(s.path) ? "" : ", \"path_bytes\": \"" + Hex(s.path) + "\"") +
                    ", \"version\": " +
                    JsonString(s.version) + ", \"class\": " + JsonString(s.device_class) +
                    ", \"colour_space\": " + JsonString(s.colour_space) +
                    ", \"description\": " + JsonString(s.description);
  if (all_languages) {
    out += ", \"languages\": {";
    for (std::size_t i = 0; i < s.records.size(); ++i)
      out += (i ? ", " : "") + JsonString(s.records[i].first) + ": " +
             JsonString(s.records[i].second);
    out += "}";
  }
  return out + "}";
}

}  // namespace

int RunShow(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> paths;
  if (!tool.ParseOptions(args, {{"--json", false}, {"--all-languages", false}, {"-r", false}},
                         &options, &paths))
    return kExitUsage;
  if (paths.empty()) return tool.Usage("show needs a PATH");
  const bool json = Tool::Has(options, "--json");
  const bool all_languages = Tool::Has(options, "--all-languages");
  const icc::Language language = tool.platform().UserLanguage();

  const std::vector<std::string> files = tool.CollectProfiles(paths, Tool::Has(options, "-r"));
  if (json) tool.Out("{\"profiles\": [");
  bool first = true;
  for (const std::string& path : files) {
    std::string reason;
    std::unique_ptr<ProfileSession> session = tool.platform().Open(path, false, &reason);
    if (!session) {
      tool.Fail(path, reason);
      continue;
    }
    uint8_t header[icc::kHeaderSize];
    icc::Description d;
    icc::Result result = session->Header(header);
    if (result.ok()) result = icc::ReadDescription(*session, language, &d);
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    Shown s;
    s.path = path;
    char version[16];
    std::snprintf(version, sizeof version, "%u.%u.%u", header[8], header[9] >> 4, header[9] & 15u);
    s.version = version;
    s.device_class = icc::DeviceClassName(icc::LoadBE32(header + 12));
    s.colour_space = icc::ColourSpaceName(icc::LoadBE32(header + 16));
    s.description = ToUtf8(tool.Shown(d));
    for (const icc::LocalizedRecord& r : d.records)
      s.records.emplace_back(RecordName(r), ToUtf8(r.text));
    tool.Out(json ? std::string(first ? "\n  " : ",\n  ") + Json(s, all_languages)
                  : std::string(first ? "" : "\n") + Text(s, all_languages));
    first = false;
  }
  if (json) tool.Out(first ? "]}\n" : "\n]}\n");
  return tool.ExitCode();
}

}  // namespace cli
