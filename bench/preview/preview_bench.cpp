// Time from Initialize to a painted preview pane (360 x 640 pixels, the diagram 344 pixels
// wide) against the 256-pixel thumbnail of the same profile, median of 45 previews and of 5
// rounds of thumbnails, alternating, in the same run (and the best pane, since painting
// waits for the X server, which other work on the machine delays): a matrix profile, the largest lookup-table profile and the matrix profile
// with 100 MB of other tags.  Target: the pane within the thumbnail's time plus 20 ms.  The
// health check that follows the first paint (profile ID and examination, which read the
// whole profile up to icc::kMaxWholeReadBytes) runs on a thread of its own: timed from
// DoPreview's return to its verdict shown, with the longest message the host's window handled
// meanwhile, and for the worst cases (version 4 profiles with an ID at the bound, past it, and
// a sparse 2 GB one) against a handler's 250 ms.
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
#include "peak_memory.h"
#include "preview.h"
#include "profile_properties.h"
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

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Whether the pane's text shows the health check's verdict.
bool HealthShown(IPreviewHandler* handler) {
  IOleWindow* window = nullptr;
  HWND pane = nullptr;
  if (SUCCEEDED(handler->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&pane);
    window->Release();
  }
  HWND text = pane ? FindWindowExW(pane, nullptr, L"Edit", nullptr) : nullptr;
  std::wstring shown(std::size_t(GetWindowTextLengthW(text)) + 1, L'\0');
  shown.resize(std::size_t(GetWindowTextW(text, &shown[0], int(shown.size()))));
  return text && shown.find(L"Health:\tchecking") == std::wstring::npos;
}

// Dispatches the host's messages until the pane shows its health (at most 10 s); *blocked
// receives the longest dispatch.
bool UntilHealthShown(IPreviewHandler* handler, double* blocked) {
  const auto start = std::chrono::steady_clock::now();
  while (!HealthShown(handler)) {
    if (Since(start) > 10) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      const auto t0 = std::chrono::steady_clock::now();
      DispatchMessageW(&msg);
      *blocked = std::max(*blocked, Since(t0));
    }
  }
  return true;
}

// One preview: Initialize, SetWindow, DoPreview and the pane painted; with `health`, also
// until the health check's verdict is shown: *health receives the time from DoPreview's return
// to it, *blocked the longest message the window's thread handled meanwhile, *first the time
// of DoPreview.
bool Preview(const std::string& path, double* health = nullptr, double* blocked = nullptr,
             double* first = nullptr) {
  IStream* stream = Open(path);
  if (!stream) return false;
  IInitializeWithStream* init = nullptr;
  IPreviewHandler* handler = nullptr;
  RECT rect = {0, 0, 360, 640};
  bool ok = SUCCEEDED(hueshell::CreateICCPreview(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&init))) &&
            SUCCEEDED(init->Initialize(stream, STGM_READ)) &&
            SUCCEEDED(init->QueryInterface(IID_IPreviewHandler, reinterpret_cast<void**>(&handler))) &&
            SUCCEEDED(handler->SetWindow(g_host, &rect));
  auto t0 = std::chrono::steady_clock::now();
  ok = ok && SUCCEEDED(handler->DoPreview());
  if (first) *first = Since(t0);
  t0 = std::chrono::steady_clock::now();
  if (ok) RedrawWindow(g_host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  if (ok && health) {
    double longest = 0;
    ok = UntilHealthShown(handler, &longest);
    *health = Since(t0);
    if (blocked) *blocked = longest;
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
    if (!Preview(path)) return false;
    times->push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return true;
}

// Version 4 profiles with an ID that the health check reads whole (at the bound), or not at all
// (past it): DoPreview, then until the verdict is shown and the longest message meanwhile,
// medians of 5; the longest the window waited (DoPreview or a message) against a handler's
// 250 ms, and the memory of one preview against its 64 MB.
bool WorstCases(const std::string& dir) {
  const uint64_t bound = icc::kMaxWholeReadBytes;
  const std::vector<bench::IdProfile> rows = bench::MakeIdProfiles(dir, false);
  if (rows.empty()) return false;
  std::printf("\nThe worst cases: version 4 profiles with an ID, the whole-read bound %.0f MB\n\n",
              bound / 1048576.0);
  bench::Table table({"profile (v4, ID)", "size", "DoPreview", "health shown", "longest message",
                      "window/250 ms", "memory", "memory/64 MB"});
  for (const auto& row : rows) {
    std::vector<double> first, shown, waited;
    for (int i = 0; i < 5; ++i) {
      Drain();
      double f = 0, t = 0, w = 0;
      if (!Preview(row.path, &t, &w, &f)) {
        std::fprintf(stderr, "%s: no preview, or no health shown\n", row.path.c_str());
        return false;
      }
      first.push_back(f);
      shown.push_back(t);
      waited.push_back(w);
    }
    double t = 0;
    const uint64_t memory = bench::PeakRise([&] { Preview(row.path, &t); });
    const double f = bench::Median(first), w = bench::Median(waited);
    table.Add({row.name, bench::FormatSize(row.size), bench::FormatTime(f), bench::FormatTime(bench::Median(shown)),
               bench::FormatTime(w), bench::Ratio(std::max(f, w), 0.250), bench::FormatSize(memory),
               bench::Ratio(double(memory), 64.0 * 1048576)});
  }
  table.Print();
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
                      "health shown", "longest message"});
  for (const Row& row : rows) {
    double t = 0;
    if (!Thumbnail(row.path) || !Preview(row.path, &t)) {
      std::fprintf(stderr, "%s: no thumbnail or no preview\n", row.path.c_str());
      return 1;
    }
    std::vector<double> thumbnail, pane, check, blocked;
    for (int round = 0; round < 5; ++round) {
      thumbnail.push_back(bench::MedianSeconds([&] { return Thumbnail(row.path); }, 3, 0.2));
      PaneSeconds(row.path, 9, &pane);
      double t = 0, waited = 0;
      Preview(row.path, &t, &waited);
      check.push_back(t);
      blocked.push_back(waited);
    }
    const double t_thumbnail = bench::Median(thumbnail), t_pane = bench::Median(pane);
    const double target = t_thumbnail + 0.020;
    table.Add({row.name, bench::FormatSize(bench::FileLength(row.path)), bench::FormatTime(t_thumbnail),
               bench::FormatTime(t_pane), bench::FormatTime(target), bench::Ratio(t_pane, target),
               bench::FormatTime(*std::min_element(pane.begin(), pane.end())),
               bench::FormatTime(bench::Median(check)), bench::FormatTime(bench::Median(blocked))});
  }
  table.Print();
  if (!WorstCases(argv[1])) return 1;
  DestroyWindow(g_host);
  CoUninitialize();
  return 0;
}
