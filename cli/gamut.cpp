// gamut: how much colour each profile holds: the volume of its gamut in CIELAB and, for each
// gamut it is compared with (the built-in references, or those --compare names), how much of
// that gamut it covers and its volume beside that gamut's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "commands.h"
#include "volume.h"

namespace cli {
namespace {

// A gamut the profiles are compared with: a built-in reference or another profile's.
const char kNoVolume[] = "no gamut volume: ";

struct Compared {
  std::string name;  // the reference's name, or the profile's path
  const gamut::Solid* solid = nullptr;
  std::unique_ptr<gamut::Solid> own;  // a profile's solid
};

// One decimal; JSON has no infinity (the relative volume beside an empty gamut).
std::string Percent(double value, const char* format) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Text(const std::string& path, const gamut::Solid& solid,
                 const std::vector<Compared>& compared) {
  std::size_t width = 0;
  for (const Compared& c : compared) width = std::max(width, Printable(c.name).size());
  std::string out =
      Printable(path) + ": volume " + gamut::Thousands(uint64_t(std::llround(solid.volume()))) + "\n";
  for (const Compared& c : compared) {
    const std::string name = Printable(c.name);
    out += "  " + name + std::string(width - name.size() + 2, ' ') + "coverage " +
           Percent(gamut::Coverage(solid, *c.solid), "%5.1f") + " %  relative volume " +
           Percent(gamut::RelativeVolume(solid, *c.solid), "%5.1f") + " %\n";
  }
  return out;
}

std::string Json(const std::string& path, const gamut::Solid& solid,
                 const std::vector<Compared>& compared) {
  std::string coverage, relative;
  for (const Compared& c : compared) {
    const std::string sep = coverage.empty() ? "" : ", ";
    coverage += sep + JsonString(c.name) + ": " + Percent(gamut::Coverage(solid, *c.solid), "%.1f");
    relative += sep + JsonString(c.name) + ": " +
                Percent(gamut::RelativeVolume(solid, *c.solid), "%.1f");
  }
  return "{\"path\": " + JsonString(path) + ", \"volume\": " +
         std::to_string(std::llround(solid.volume())) + ", \"coverage\": {" + coverage +
         "}, \"relative_volume\": {" + relative + "}}";
}

}  // namespace

bool SolidOf(Tool& tool, const std::string& path, const char* no_solid, gamut::Solid* solid,
             gamut::NoSolid* none, std::string* reason, std::unique_ptr<icc::Profile>* opened) {
  *none = gamut::NoSolid::None;
  std::unique_ptr<icc::SourceFile> file = tool.platform().OpenFile(path, reason);
  if (!file) return false;
  std::unique_ptr<icc::Profile> profile;
  icc::Result r = icc::Profile::Open(std::move(file), &profile);
  gamut::SolidResult s;
  if (r.ok()) r = (s = gamut::ComputeSolid(*profile, solid)).result;
  if (!r.ok()) {
    *reason = tool.Reason(r);
    return false;
  }
  if (s.none != gamut::NoSolid::None || solid->empty()) {
    *none = s.none;
    *reason = std::string(no_solid) + gamut::NoSolidText(s.none);
    return false;
  }
  if (opened) *opened = std::move(profile);
  return true;
}

int RunGamut(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> paths;
  if (!tool.ParseOptions(args, {{"-r", false}, {"--json", false}, {"--compare", true}},
                         &options, &paths))
    return kExitUsage;
  if (paths.empty()) return tool.Usage("gamut needs a PROFILE");
  const bool json = Tool::Has(options, "--json");

  // The gamuts compared with, in the order given; a profile's is computed once, here.
  std::vector<Compared> compared;
  for (const auto& option : options) {
    if (option.first != "--compare") continue;
    Compared c;
    gamut::Reference reference;
    if (gamut::ReferenceOfShortName(option.second, &reference)) {
      c.name = gamut::ReferenceName(reference);
      c.solid = &gamut::ReferenceSolid(reference);
    } else {
      c.name = option.second;
      c.own = std::make_unique<gamut::Solid>();
      gamut::NoSolid none;
      std::string reason;
      if (!SolidOf(tool, option.second, kNoVolume, c.own.get(), &none, &reason)) {
        tool.Fail(option.second, reason);
        return kExitFailed;
      }
      c.solid = c.own.get();
    }
    compared.push_back(std::move(c));
  }
  if (compared.empty()) {
    for (int i = 0; i < gamut::kReferenceCount; ++i) {
      Compared c;
      c.name = gamut::ReferenceName(gamut::Reference(i));
      c.solid = &gamut::ReferenceSolid(gamut::Reference(i));
      compared.push_back(std::move(c));
    }
  }

  const std::vector<std::string> files = tool.CollectProfiles(paths, Tool::Has(options, "-r"));
  bool first = true;
  if (json) tool.Out("{\"profiles\": [");
  tool.BeginProgress(files.size());
  for (const std::string& path : files) {
    tool.Step();
    gamut::Solid solid;
    gamut::NoSolid none;
    std::string reason;
    if (!SolidOf(tool, path, kNoVolume, &solid, &none, &reason)) {
      // A profile of a kind without a solid is still one entry of the JSON, with the reason.
      if (json && none != gamut::NoSolid::None) {
        tool.Out(std::string(first ? "" : ", ") + "{\"path\": " + JsonString(path) +
                 ", \"reason\": " + JsonString(gamut::NoSolidText(none)) + "}");
        first = false;
      }
      tool.Fail(path, reason);
      continue;
    }
    tool.Out(json ? std::string(first ? "" : ", ") + Json(path, solid, compared)
                  : Text(path, solid, compared));
    first = false;
  }
  tool.EndProgress();
  if (json) tool.Out("]}\n");
  return tool.ExitCode();
}

}  // namespace cli
