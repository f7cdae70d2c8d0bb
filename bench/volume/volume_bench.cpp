// The gamut volume's speed.
//
//   volume_bench DATA_DIR ICCGAMUT VIEWGAM PROFILE...
//
// 1. Per profile: its solid (open, ComputeSolid) in this process, against ArgyllCMS's
//    `iccgamut -v -ir` on a copy of it, a process per profile.  Target: 50 times faster.
// 2. Per pair of the profiles: the coverage of one solid by the other, against
//    `viewgam -i A.gam B.gam out.wrl` on iccgamut's outputs, a process per pair.
// Without ArgyllCMS (empty ICCGAMUT or VIEWGAM) only our figures are printed.
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "bench_common.h"
#include "cli_runs.h"
#include "posix_file.h"
#include "volume.h"

namespace {

bool Solid(const std::string& path, gamut::Solid* out) {
  std::unique_ptr<icc::SourceFile> file;
  std::unique_ptr<icc::Profile> profile;
  return posix::OpenPosixFile(path, &file).ok() && icc::Profile::Open(std::move(file), &profile).ok() &&
         gamut::ComputeSolid(*profile, out).result.ok() && !out->empty();
}

std::string Name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: volume_bench DATA_DIR ICCGAMUT VIEWGAM PROFILE...\n");
    return 2;
  }
  const std::string data = std::string(argv[1]) + "/volume", iccgamut = argv[2], viewgam = argv[3];
  const std::vector<std::string> profiles(argv + 4, argv + argc);
  mkdir(argv[1], 0755);
  mkdir(data.c_str(), 0755);
  struct stat st;
  const bool argyll = !iccgamut.empty() && !viewgam.empty() && stat(iccgamut.c_str(), &st) == 0 &&
                      stat(viewgam.c_str(), &st) == 0;
  if (!argyll)
    std::printf("ArgyllCMS's iccgamut and viewgam are not installed: only our figures follow.\n");
  gamut::ReferenceSolid(gamut::Reference::Srgb);  // built once per process, not per profile

  // The copies iccgamut writes its .gam files beside, one per profile.
  std::vector<std::string> copies;
  std::vector<std::vector<uint8_t>> corpus(1);
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    std::vector<std::string> one;
    if (!bench::ReadAll(profiles[i], &corpus[0]) ||
        !bench::MakeCopies(corpus, data + "/" + std::to_string(i), 1, &one)) {
      std::fprintf(stderr, "cannot copy %s\n", profiles[i].c_str());
      return 1;
    }
    copies.push_back(one[0]);
  }

  bench::Table table({"profile", "volume", "ours", "iccgamut -ir", "its time / ours"});
  std::vector<gamut::Solid> solids(profiles.size());
  double ours_total = 0, theirs_total = 0;
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    const double ours = bench::MedianSeconds([&] { return Solid(copies[i], &solids[i]); }, 5, 0.5, 200);
    if (ours < 0) {
      std::fprintf(stderr, "no solid for %s\n", profiles[i].c_str());
      return 1;
    }
    const double theirs = argyll ? bench::TimeProgram({iccgamut, "-v", "-ir", copies[i]}) : -1;
    ours_total += ours;
    theirs_total += theirs;
    char volume[32];
    std::snprintf(volume, sizeof volume, "%.0f", solids[i].volume());
    table.Add({Name(profiles[i]), volume, bench::FormatTime(ours),
               argyll ? bench::FormatTime(theirs) : "-", argyll ? bench::Ratio(theirs, ours) : "-"});
  }
  if (argyll) table.Add({"all", "", bench::FormatTime(ours_total), bench::FormatTime(theirs_total),
                         bench::Ratio(theirs_total, ours_total)});
  table.Print();

  // Every profile by the first four (sRGB, Adobe RGB, Display P3, Rec. 2020 in the usual
  // run): the pane's columns.
  bench::Table pairs({"covered", "by", "coverage", "ours", "viewgam -i", "its time / ours"});
  const std::size_t references = std::min<std::size_t>(4, profiles.size());
  ours_total = theirs_total = 0;
  for (std::size_t i = 0; i < profiles.size(); ++i)
    for (std::size_t j = 0; j < references; ++j) {
      if (i == j) continue;
      double coverage = 0;
      const double ours = bench::MedianSeconds(
          [&] { return (coverage = gamut::Coverage(solids[j], solids[i])) >= 0; }, 3, 0.2, 100);
      const auto gam = [](const std::string& icc) { return icc.substr(0, icc.size() - 4) + ".gam"; };
      const double theirs =
          argyll ? bench::TimeProgram({viewgam, "-i", gam(copies[i]), gam(copies[j]), data + "/out.wrl"}) : -1;
      ours_total += ours;
      theirs_total += theirs;
      char percent[32];
      std::snprintf(percent, sizeof percent, "%.2f %%", coverage);
      pairs.Add({Name(profiles[i]), Name(profiles[j]), percent, bench::FormatTime(ours),
                 argyll ? bench::FormatTime(theirs) : "-", argyll ? bench::Ratio(theirs, ours) : "-"});
    }
  if (argyll) pairs.Add({"all", "", "", bench::FormatTime(ours_total), bench::FormatTime(theirs_total),
                         bench::Ratio(theirs_total, ours_total)});
  pairs.Print();
  return 0;
}
