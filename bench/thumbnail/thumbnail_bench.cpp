// Time per 256-pixel thumbnail through the handler (stream, Initialize, GetThumbnail, the
// bitmap freed), median of several rounds: a matrix profile, the largest lookup-table
// profile, and the same matrix profile at 1 KB and with 100 MB of other tags.  Targets:
// matrix 5 ms, lookup table 50 ms, 100 MB within twice the 1 KB time, since only the tags
// the picture needs are read.
//
//   thumbnail_bench DATA_DIR MATRIX.icc LUT.icc
#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "profile_builder.h"
#include "thumbnail.h"

namespace {

using hueshell::kIID_IThumbnailProvider;

bool Thumbnail(const std::string& path) {
  IStream* stream = nullptr;
  if (FAILED(SHCreateStreamOnFileA(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &stream))) return false;
  IInitializeWithStream* init = nullptr;
  IThumbnailProvider* provider = nullptr;
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha;
  bool ok = SUCCEEDED(hueshell::CreateICCThumbnail(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&init))) &&
            SUCCEEDED(init->Initialize(stream, STGM_READ)) &&
            SUCCEEDED(init->QueryInterface(kIID_IThumbnailProvider, reinterpret_cast<void**>(&provider))) &&
            provider->GetThumbnail(256, &bitmap, &alpha) == S_OK;
  if (bitmap) DeleteObject(bitmap);
  if (provider) provider->Release();
  if (init) init->Release();
  stream->Release();
  return ok;
}

// The matrix profile's tags, after `filler` bytes of a private tag that the picture never
// needs, so that its own tags lie at the end of the file.
bool MakeMatrixProfile(const std::string& matrix, const std::string& path, uint32_t filler) {
  if (bench::FileLength(path) != 0) return true;
  try {
    std::vector<testing_icc::Tag> tags;
    if (filler) tags.push_back({"zzzz", std::vector<uint8_t>(filler, 0x5A)});
    for (auto& [signature, bytes] : testing_icc::TagsOf(testing_icc::FileBytes(matrix)))
      if (signature != "desc" && signature != "cprt" && signature != "dmnd" && signature != "dmdd")
        tags.push_back({signature, bytes});
    testing_icc::WriteFileBytes(path, testing_icc::BuildProfile(tags));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s DATA_DIR MATRIX.icc LUT.icc\n", argv[0]);
    return 2;
  }
  hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses());
  CreateDirectoryA(argv[1], nullptr);
  const std::string small = std::string(argv[1]) + "\\matrix-small.icc";
  const std::string big = std::string(argv[1]) + "\\matrix-100m.icc";
  if (!MakeMatrixProfile(argv[2], small, 0) || !MakeMatrixProfile(argv[2], big, 100u << 20)) {
    std::fprintf(stderr, "the generated profiles could not be written\n");
    return 1;
  }

  struct Row {
    const char* name;
    std::string path;
    double target;  // seconds; 0: compared with the small profile instead
  } rows[] = {{"matrix", argv[2], 0.005}, {"largest LUT", argv[3], 0.050},
              {"matrix, small", small, 0.005}, {"matrix + 100 MB", big, 0}};

  std::printf("ICCThumbnail::GetThumbnail at 256 px, median of 5 rounds\n\n");
  bench::Table table({"profile", "size", "time", "target", "time/target", "time/small"});
  double t_small = 0;
  for (const Row& row : rows) {
    if (!Thumbnail(row.path)) {
      std::fprintf(stderr, "%s: no thumbnail\n", row.path.c_str());
      return 1;
    }
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round)
      rounds.push_back(bench::MedianSeconds([&] { return Thumbnail(row.path); }, 3, 0.2));
    const double t = bench::Median(rounds);
    if (row.path == small) t_small = t;
    const double target = row.target ? row.target : 2 * t_small;
    table.Add({row.name, bench::FormatSize(bench::FileLength(row.path)), bench::FormatTime(t),
               bench::FormatTime(target), bench::Ratio(t, target),
               t_small ? bench::Ratio(t, t_small) : "-"});
  }
  table.Print();
  return 0;
}
