// plot: the gamut of each profile on the CIE 1931 chromaticity diagram, as a PNG file: the
// picture Hueshell's thumbnail shows, with axes, wavelengths and a legend; with --lab, its
// solid in CIELAB in 3D inside a reference's wireframe.  Profiles are read and pictures
// written through the platform; png_encoder.h encodes.
#include <cstdlib>
#include <memory>
#include <set>

#include "commands.h"
#include "description.h"
#include "gamut.h"
#include "picture.h"
#include "png_encoder.h"
#include "profile_properties.h"
#include "shown_text.h"
#include "solid_picture.h"
#include "volume.h"

namespace cli {
namespace {

#ifdef _WIN32
constexpr char kSeparators[] = "\\/:";
constexpr char kSeparator = '\\';
#else
constexpr char kSeparators[] = "/";
constexpr char kSeparator = '/';
#endif

// The name of a profile in the legend: its description, or else its file name.
// Only what a legend can show is read (icc::kMaxShownTextBytes), marked "..." when it goes on.
std::string NameOf(Tool& tool, icc::Profile& profile, const std::string& path) {
  std::u16string text;
  bool cut = false;
  if (icc::ReadStoredText(profile, icc::kDescriptionTag, tool.platform().UserLanguage(),
                          tool.platform().CodePage(), &text, &cut)
          .ok() &&
      !(text = icc::ShownText(text, icc::TextLines::One, cut)).empty())
    return icc::ToUtf8(text) + (cut ? "..." : "");
  return path.substr(path.find_last_of(kSeparators) + 1);
}

// The gamut of the profile at `path` and its name; on failure false, with *reason.
bool GamutOf(Tool& tool, const std::string& path, gamut::Gamut* g, std::string* name,
             std::string* reason) {
  std::unique_ptr<icc::SourceFile> file = tool.platform().OpenFile(path, reason);
  if (!file) return false;
  std::unique_ptr<icc::Profile> profile;
  icc::Result r = icc::Profile::Open(std::move(file), &profile);
  if (r.ok()) r = gamut::ComputeGamut(*profile, g);
  if (!r.ok()) *reason = tool.Reason(r);
  if (r.ok()) *name = NameOf(tool, *profile, path);
  return r.ok();
}

// The solid of the profile at `path` and its name; on failure false, with *reason (for a
// profile without a solid, why it has none).
bool SolidOf(Tool& tool, const std::string& path, gamut::Solid* solid, std::string* name,
             std::string* reason) {
  gamut::NoSolid none;
  std::unique_ptr<icc::Profile> profile;
  if (!cli::SolidOf(tool, path, "no gamut solid: ", solid, &none, reason, &profile)) return false;
  *name = NameOf(tool, *profile, path);
  return true;
}

// FOLDER/NAME.png for a profile NAME.icc; profiles of the same name from different folders
// get NAME-2.png, NAME-3.png... rather than one picture over another.
std::string PictureName(const std::string& folder, const std::string& profile,
                        std::set<std::string>* taken) {
  std::string name = profile.substr(profile.find_last_of(kSeparators) + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  const std::string stem = folder + kSeparator + name;
  std::string path = stem + ".png";
  for (int n = 2; !taken->insert(path).second; ++n) path = stem + "-" + std::to_string(n) + ".png";
  return path;
}

bool IsSrgb(const std::string& name) {
  gamut::Reference r;
  return gamut::ReferenceOfShortName(name, &r) && r == gamut::Reference::Srgb;
}

}  // namespace

int RunPlot(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  if (!tool.ParseOptions(args, {{"-o", true}, {"-d", true}, {"--size", true}, {"--compare", true}, {"-r", false},
                          {"--lab", false}},
                         &options, &operands))
    return kExitUsage;
  std::string output, folder = ".", size_text, compare;
  const bool to_file = Tool::Has(options, "-o", &output);
  const bool to_folder = Tool::Has(options, "-d", &folder);
  const bool comparing = Tool::Has(options, "--compare", &compare);
  const bool lab = Tool::Has(options, "--lab");
  int size = 256;
  if (Tool::Has(options, "--size", &size_text)) {
    char* end = nullptr;
    const long n = std::strtol(size_text.c_str(), &end, 10);
    if (size_text.empty() || *end || n < gamut::kMinSize || n > gamut::kMaxSize)
      return tool.Usage("--size takes " + std::to_string(gamut::kMinSize) + " to " +
                        std::to_string(gamut::kMaxSize) + " pixels");
    size = int(n);
  }
  if (operands.empty()) return tool.Usage("plot needs a profile");
  if (to_file && to_folder) return tool.Usage("plot writes either -o FILE.png or into -d FOLDER");
  const bool recursive = Tool::Has(options, "-r");
  if (to_file && (operands.size() > 1 || recursive))
    return tool.Usage("-o names one picture; -d FOLDER takes several");

  Platform& platform = tool.platform();
  std::string reason;
  gamut::Gamut reference;
  gamut::Notes notes;
  // --lab: the solids, inside sRGB's wireframe unless --compare names another.
  gamut::Solid own_wireframe;
  const gamut::Solid* wireframe = nullptr;
  gamut::Reference named = gamut::Reference::Srgb;
  if (lab && (!comparing || gamut::ReferenceOfShortName(compare, &named))) {
    wireframe = &gamut::ReferenceSolid(named);
    notes.compare_name = gamut::ReferenceName(named);
  } else if (lab) {
    if (!SolidOf(tool, compare, &own_wireframe, &notes.compare_name, &reason)) {
      tool.Fail(compare, reason);
      return kExitFailed;
    }
    wireframe = &own_wireframe;
  } else if (IsSrgb(compare)) {
    reference.kind = gamut::Kind::Matrix;
    reference.outline = gamut::SrgbTriangle();
    notes.compare_name = "sRGB";
  } else if (comparing) {
    if (!GamutOf(tool, compare, &reference, &notes.compare_name, &reason)) {
      tool.Fail(compare, reason);
      return kExitFailed;
    }
    if (reference.outline.empty()) {
      tool.Fail(compare, "a profile of this kind has no gamut outline to compare with");
      return kExitFailed;
    }
  }
  if (to_folder && !platform.MakeFolder(folder, &reason)) {
    tool.Fail(folder, reason);
    return kExitFailed;
  }

  const std::vector<std::string> profiles = tool.CollectProfiles(operands, recursive);
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> png;
  std::set<std::string> written;
  for (const std::string& profile : profiles) {
    if (lab) {
      gamut::Solid solid;
      if (!SolidOf(tool, profile, &solid, &notes.name, &reason)) {
        tool.Fail(profile, reason);
        continue;
      }
      gamut::RenderSolid(solid, wireframe, size, &pixels, &notes);
    } else {
      gamut::Gamut g;
      if (!GamutOf(tool, profile, &g, &notes.name, &reason)) {
        tool.Fail(profile, reason);
        continue;
      }
      gamut::Render(g, comparing ? &reference : nullptr, size, &pixels, &notes);
    }
    const std::string path = to_file ? output : PictureName(folder, profile, &written);
    if (!EncodePng(pixels, size, size, &png, &reason) ||
        !platform.WriteNewFile(path, png, &reason)) {
      tool.Fail(path, reason);
      continue;
    }
    tool.Out(profile + " -> " + path + "\n");
  }
  return tool.ExitCode();
}

}  // namespace cli
