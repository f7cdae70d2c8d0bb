// plot: the gamut of each profile on the CIE 1931 chromaticity diagram, as a PNG file, the
// picture Hueshell's thumbnail shows.  Built natively (libpng); profiles are read through
// the container over POSIX files.
#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "commands.h"
#include "gamut.h"
#include "picture.h"
#include "posix_file.h"

namespace cli {
namespace {

icc::Result GamutOf(const std::string& path, gamut::Gamut* g) {
  std::unique_ptr<icc::SourceFile> file;
  icc::Result r = icc::OpenPosixFile(path, &file);
  std::unique_ptr<icc::Profile> profile;
  if (r.ok()) r = icc::Profile::Open(std::move(file), &profile);
  if (r.ok()) r = gamut::ComputeGamut(*profile, g);
  return r;
}

// Writes the picture into a temporary file beside `path` and renames it into place, so
// that a failure leaves no half-written PNG.  Returns an errno value, or 0.
int WritePng(const std::string& path, const std::vector<uint32_t>& argb, int size) {
  const std::string temp = path + ".part";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return errno;
  std::vector<png_byte> row(std::size_t(size) * 4);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  int error = ENOMEM;
  // libpng reports its errors by a long jump back to here.
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(size), png_uint_32(size), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const uint32_t v = argb[std::size_t(y) * std::size_t(size) + std::size_t(x)];
        png_byte* p = &row[std::size_t(x) * 4];
        p[0] = png_byte(v >> 16), p[1] = png_byte(v >> 8), p[2] = png_byte(v), p[3] = png_byte(v >> 24);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
    error = 0;
  } else if (info) {
    error = EIO;
  }
  png_destroy_write_struct(&png, &info);
  if (std::fflush(f) != 0 && error == 0) error = errno;
  if (std::fclose(f) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) std::remove(temp.c_str());
  return error;
}

// FOLDER/NAME.png for a profile NAME.icc; profiles of the same name from different folders
// get NAME-2.png, NAME-3.png... rather than one picture over another.
std::string PictureName(const std::string& folder, const std::string& profile,
                        std::set<std::string>* taken) {
  std::string name = profile.substr(profile.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  std::string path = folder + "/" + name + ".png";
  for (int n = 2; !taken->insert(path).second; ++n) path = folder + "/" + name + "-" + std::to_string(n) + ".png";
  return path;
}

}  // namespace

int RunPlot(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  if (!tool.ParseOptions(args, {{"-o", true}, {"-d", true}, {"--size", true}, {"--compare", true}},
                         &options, &operands))
    return kExitUsage;
  std::string output, folder = ".", size_text, compare;
  const bool to_file = Tool::Has(options, "-o", &output);
  const bool to_folder = Tool::Has(options, "-d", &folder);
  const bool comparing = Tool::Has(options, "--compare", &compare);
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
  if (to_file && operands.size() > 1) return tool.Usage("-o names one picture; -d FOLDER takes several");

  gamut::Gamut reference;
  if (compare == "sRGB") {
    reference.kind = gamut::Kind::Matrix;
    reference.outline = gamut::SrgbTriangle();
  } else if (comparing) {
    const icc::Result r = GamutOf(compare, &reference);
    if (!r.ok()) {
      tool.Fail(compare, tool.Reason(r));
      return kExitFailed;
    }
    if (reference.outline.empty()) {
      tool.Fail(compare, "a profile of this kind has no gamut outline to compare with");
      return kExitFailed;
    }
  }
  if (to_folder && mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    tool.Fail(folder, std::strerror(errno));
    return kExitFailed;
  }

  const std::vector<std::string> profiles = tool.CollectProfiles(operands, false);
  std::vector<uint32_t> pixels;
  std::set<std::string> written;
  for (const std::string& profile : profiles) {
    gamut::Gamut g;
    const icc::Result r = GamutOf(profile, &g);
    if (!r.ok()) {
      tool.Fail(profile, tool.Reason(r));
      continue;
    }
    gamut::Render(g, comparing ? &reference : nullptr, size, &pixels);
    const std::string path = to_file ? output : PictureName(folder, profile, &written);
    if (const int e = WritePng(path, pixels, size)) {
      tool.Fail(path, std::strerror(e));
      continue;
    }
    tool.Out(profile + " -> " + path + "\n");
  }
  return tool.ExitCode();
}

}  // namespace cli
