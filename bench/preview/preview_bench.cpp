// Time from Initialize to a painted preview pane (360 x 640 pixels, the diagram 344 pixels
// wide) against the 256-pixel thumbnail of the same profile, median of 45 previews and of 5
// rounds of thumbnails, alternating, in the same run (and the best pane, since painting
// waits for the X server, which other work on the machine delays): a matrix profile, the largest lookup-table profile and the matrix profile
// with 100 MB of other tags.  Target: the pane within the thumbnail's time plus 20 ms.  The
// health check that follows the first paint (profile ID and examination, which read the
// whole profile) is timed on its own.
//
//   preview_bench DATA_DIR MATRIX.icc LUT.icc
#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <thumbcache.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "preview.h"
#include "thumbnail.h"

namespace {

using hueshell::kIID_IThumbnailProvider;

HWND g_host = nullptr;

IStream* Open(const std::string& path) {
  IStream* stream = nullptr;
  return SUCCEEDED(SHCreateStreamOnFileA(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &stream)) ? stream
                                                                                                  : nullptr;
}

bool Thumbnail(const std::string& path) {
  IStream* stream = Open(path);
  if (!stream) return false;
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

// One preview: Initialize, SetWindow, DoPreview and the pane painted; with `finish`, also
// the messages that bring the health check.  The time of the health check alone goes to
// *check when given.
bool Preview(const std::string& path, bool finish, double* check = nullptr) {
  IStream* stream = Open(path);
  if (!stream) return false;
  IInitializeWithStream* init = nullptr;
  IPreviewHandler* handler = nullptr;
  RECT rect = {0, 0, 360, 640};
  bool ok = SUCCEEDED(hueshell::CreateICCPreview(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&init))) &&
            SUCCEEDED(init->Initialize(stream, STGM_READ)) &&
            SUCCEEDED(init->QueryInterface(IID_IPreviewHandler, reinterpret_cast<void**>(&handler))) &&
            SUCCEEDED(handler->SetWindow(g_host, &rect)) && SUCCEEDED(handler->DoPreview());
  if (ok) {
    RedrawWindow(g_host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    MSG msg;
    while (finish && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (check) *check = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  if (handler) {
    handler->Unload();
    handler->Release();
  }
  if (init) init->Release();
  stream->Release();
  return ok;
}

// Dispatches what the host's queue holds, outside the time measured: the host's own loop
// does that between two previews.
void Drain() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The times of `runs` previews, each after the queue was drained.
bool PaneSeconds(const std::string& path, int runs, std::vector<double>* times) {
  for (int i = 0; i < runs; ++i) {
    Drain();
    const auto t0 = std::chrono::steady_clock::now();
    if (!Preview(path, false)) return false;
    times->push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s DATA_DIR MATRIX.icc LUT.icc\n", argv[0]);
    return 2;
  }
  hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses());
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  g_host = CreateWindowExW(0, L"STATIC", L"preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 700,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  CreateDirectoryA(argv[1], nullptr);
  std::string big;
  if (!g_host || !bench::PrepareMatrixProfiles(argv[1], '\\', argv[2], nullptr, &big)) {
    std::fprintf(stderr, "no host window, or the generated profile could not be written\n");
    return 1;
  }

  struct Row {
    const char* name;
    std::string path;
  } rows[] = {{"matrix", argv[2]}, {"largest LUT", argv[3]}, {"matrix + 100 MB", big}};

  std::printf("ICCPreview, Initialize to painted pane (360 x 640) against ICCThumbnail at 256 px,\n"
              "medians of 5 alternating rounds\n\n");
  bench::Table table({"profile", "size", "thumbnail", "pane", "target", "pane/target", "best pane",
                      "health check"});
  for (const Row& row : rows) {
    if (!Thumbnail(row.path) || !Preview(row.path, true)) {
      std::fprintf(stderr, "%s: no thumbnail or no preview\n", row.path.c_str());
      return 1;
    }
    std::vector<double> thumbnail, pane, check;
    for (int round = 0; round < 5; ++round) {
      thumbnail.push_back(bench::MedianSeconds([&] { return Thumbnail(row.path); }, 3, 0.2));
      PaneSeconds(row.path, 9, &pane);
      double t = 0;
      Preview(row.path, true, &t);
      check.push_back(t);
    }
    const double t_thumbnail = bench::Median(thumbnail), t_pane = bench::Median(pane);
    const double target = t_thumbnail + 0.020;
    table.Add({row.name, bench::FormatSize(bench::FileLength(row.path)), bench::FormatTime(t_thumbnail),
               bench::FormatTime(t_pane), bench::FormatTime(target), bench::Ratio(t_pane, target),
               bench::FormatTime(*std::min_element(pane.begin(), pane.end())),
               bench::FormatTime(bench::Median(check))});
  }
  table.Print();
  DestroyWindow(g_host);
  CoUninitialize();
  return 0;
}
