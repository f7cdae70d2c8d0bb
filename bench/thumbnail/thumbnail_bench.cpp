// Time per 256-pixel thumbnail through the handler (stream, Initialize, GetThumbnail, the
// bitmap freed), median of several rounds: a matrix profile, the largest lookup-table
// profile, and the same matrix profile at 1 KB and with 100 MB of other tags.  Targets:
// matrix 5 ms, lookup table 50 ms, 100 MB within twice the 1 KB time, since only the tags
// the picture needs are read.  Then the worst cases, each once: the largest table the
// limits accept, the smallest they refuse, a 510 MB CMYK table of 96^4 points, a table that
// claims 60^4 points in 40 KB, and a 15-channel one.  Target: none costs more than 250 ms
// or raises the process's peak memory by more than 64 MB.
//
//   thumbnail_bench DATA_DIR MATRIX.icc LUT.icc
#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "com_ptr.h"
#include "peak_memory.h"
#include "profile_builder.h"
#include "thumbnail.h"

namespace {

using hueshell::kIID_IThumbnailProvider;

HRESULT Thumbnail(const std::string& path, UINT size = 256) {
  colour::ComPtr<IStream> stream;
  HRESULT hr = SHCreateStreamOnFileA(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.put());
  colour::ComPtr<IInitializeWithStream> init;
  colour::ComPtr<IThumbnailProvider> provider;
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha;
  if (SUCCEEDED(hr)) hr = hueshell::CreateICCThumbnail(nullptr, IID_IInitializeWithStream, init.put_void());
  if (SUCCEEDED(hr)) hr = init->Initialize(stream.get(), STGM_READ);
  if (SUCCEEDED(hr)) hr = init.As(kIID_IThumbnailProvider, &provider);
  if (SUCCEEDED(hr)) hr = provider->GetThumbnail(size, &bitmap, &alpha);
  if (bitmap) DeleteObject(bitmap);
  return hr;
}

// A lookup-table profile, written when missing; `length` > 0 makes the file that long (the
// rest reads as zeros) and its one tag as long as the file allows.
bool MakeLutProfile(const std::string& path, int inputs, int grid, int declared, uint32_t length = 0) {
  if (bench::FileLength(path) != 0) return true;
  try {
    std::vector<uint8_t> bytes = testing_icc::LutProfile(inputs, grid, declared);
    if (length) {
      icc::StoreBE32(bytes.data(), length);
      icc::StoreBE32(bytes.data() + icc::kTagTableStart + 8, length - icc::kTagTableStart - 12);
    }
    testing_icc::WriteFileBytes(path, bytes);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = length;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    (!length || (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file)));
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return ok;
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
  std::string small, big;
  if (!bench::PrepareMatrixProfiles(argv[1], '\\', argv[2], &small, &big)) {
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
    if (FAILED(Thumbnail(row.path))) {
      std::fprintf(stderr, "%s: no thumbnail\n", row.path.c_str());
      return 1;
    }
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round)
      rounds.push_back(bench::MedianSeconds([&] { return SUCCEEDED(Thumbnail(row.path)); }, 3, 0.2));
    const double t = bench::Median(rounds);
    if (row.path == small) t_small = t;
    const double target = row.target ? row.target : 2 * t_small;
    table.Add({row.name, bench::FormatSize(bench::FileLength(row.path)), bench::FormatTime(t),
               bench::FormatTime(target), bench::Ratio(t, target),
               t_small ? bench::Ratio(t, t_small) : "-"});
  }
  table.Print();

  const std::string dir = argv[1];
  struct Worst {
    const char* name;
    std::string path;
    int inputs, grid, declared;
    uint32_t length;
  } worst[] = {
      {"largest accepted: CMYK 34^4", dir + "\\lut-34.icc", 4, 34, 0, 0},
      {"smallest refused: CMYK 35^4", dir + "\\lut-35.icc", 4, 35, 0, 0},
      {"CMYK 96^4, 510 MB", dir + "\\lut-96.icc", 4, 2, 96, 96u * 96 * 96 * 96 * 6 + 200},
      {"claims 60^4 in 40 KB", dir + "\\lut-lie.icc", 4, 9, 60, 0},
      {"15 channels, 2^15", dir + "\\lut-15.icc", 15, 2, 0, 0},
  };
  std::printf("\nworst cases at 16 px, each once\n\n");
  bench::Table costs({"profile", "size", "result", "time", "time/250 ms", "memory", "memory/64 MB"});
  for (const Worst& w : worst) {
    if (!MakeLutProfile(w.path, w.inputs, w.grid, w.declared, w.length)) {
      std::fprintf(stderr, "%s could not be written\n", w.path.c_str());
      return 1;
    }
    HRESULT hr = S_OK;
    const double t = bench::MedianSeconds([&] { return hr = Thumbnail(w.path, 16), true; }, 1, 0, 1);
    const uint64_t rise = bench::PeakRise([&] { Thumbnail(w.path, 16); });
    char result[16];
    std::snprintf(result, sizeof result, "0x%08lX", static_cast<unsigned long>(hr));
    costs.Add({w.name, bench::FormatSize(bench::FileLength(w.path)), SUCCEEDED(hr) ? "drawn" : result,
               bench::FormatTime(t), bench::Ratio(t, 0.25), bench::FormatSize(rise),
               bench::Ratio(double(rise), double(64u << 20))});
  }
  costs.Print();
  return 0;
}
