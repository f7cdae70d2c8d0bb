// Cost of one info tip (open, read the description and header, compose, close) on profiles
// from 1 KB to 100 MB, with our colour service and with the platform's colour library.  The
// tip reads a fixed number of bytes, so its cost must not grow with the file.
//
//   infotip_bench DATA_DIR [ITULab.icc]
//
// DATA_DIR holds the generated profiles, shared with the other benchmarks.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "guids.h"
#include "info_tip.h"

namespace {

// Wine's mscms copies a tag only into a buffer that holds all of it from the offset on;
// the Windows library (and our service) copy as many bytes as were asked for.  The tip asks
// for 4 bytes of the count, so Wine's call is wrapped: a refused partial read is repeated
// with a buffer of the reported size and the asked-for bytes are copied out.
decltype(hueshell::TipPlatform::GetColorProfileElement) g_wine_element;

BOOL WINAPI PartialElement(HPROFILE h, TAGTYPE tag, DWORD offset, PDWORD size, PVOID buffer,
                           PBOOL reference) {
  if (!buffer) return g_wine_element(h, tag, offset, size, buffer, reference);
  const DWORD wanted = *size;
  if (g_wine_element(h, tag, offset, size, buffer, reference)) return TRUE;
  if (*size <= wanted) return FALSE;  // refused for another reason
  std::vector<uint8_t> whole(*size);
  if (!g_wine_element(h, tag, offset, size, whole.data(), reference)) return FALSE;
  memcpy(buffer, whole.data(), wanted);
  *size = wanted;
  return TRUE;
}

template <class F>
bool Resolve(HMODULE library, const char* name, F* out) {
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *out != nullptr;
}

// A tip object for one profile through one colour library.
class Subject {
 public:
  Subject(const hueshell::TipPlatform& platform, const std::string& path) {
    if (FAILED(hueshell::CreateICCTipWith(platform, nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info_))))
      return;
    IPersistFile* file = nullptr;
    info_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    const std::wstring wide(path.begin(), path.end());
    file->Load(wide.c_str(), 0);
    file->Release();
    wchar_t* text = nullptr;
    if (info_->GetInfoTip(0, &text) == S_OK && text) {
      tip_.assign(text, text + lstrlenW(text));
      CoTaskMemFree(text);
    }
  }
  ~Subject() {
    if (info_) info_->Release();
  }
  Subject(const Subject&) = delete;
  Subject& operator=(const Subject&) = delete;

  bool ok() const { return !tip_.empty(); }
  const std::string& tip() const { return tip_; }

  // One tip, composed and freed.
  bool Tip() {
    wchar_t* text = nullptr;
    if (info_->GetInfoTip(0, &text) != S_OK) return false;
    CoTaskMemFree(text);
    return true;
  }

 private:
  IQueryInfo* info_ = nullptr;
  std::string tip_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR [ITULab.icc]\n", argv[0]);
    return 2;
  }
  hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses());

  hueshell::TipPlatform ours = hueshell::DefaultTipPlatform();
  hueshell::TipPlatform system = ours;
  HMODULE mscms = LoadLibraryA("mscms.dll");
  if (!mscms || !Resolve(mscms, "OpenColorProfileW", &system.OpenColorProfileW) ||
      !Resolve(mscms, "CloseColorProfile", &system.CloseColorProfile) ||
      !Resolve(mscms, "GetColorProfileHeader", &system.GetColorProfileHeader) ||
      !Resolve(mscms, "GetColorProfileElement", &g_wine_element)) {
    std::printf("the platform's colour library is missing\n");
    return 1;
  }

  system.GetColorProfileElement = PartialElement;

  // Full paths: the colour library takes a bare name as one in the colour directory.
  char full[MAX_PATH];
  if (!GetFullPathNameA(argv[1], MAX_PATH, full, nullptr)) return 1;
  CreateDirectoryA(full, nullptr);
  const std::vector<bench::Input> inputs = bench::PrepareInputs(full, '\\', argc > 2 ? argv[2] : nullptr);
  if (inputs.empty()) return 1;

  std::printf("GetInfoTip, median of 5 rounds\n\n");
  bench::Table table({"profile", "size", "ours", "mscms", "mscms/ours", "ours/ours@1KB", "mscms/mscms@1KB"});
  double ours_small = 0, system_small = 0;
  for (const bench::Input& in : inputs) {
    Subject a(ours, in.path), b(system, in.path);
    if (!a.ok() || !b.ok()) {
      std::fprintf(stderr, "%s: a tip failed (ours %s, mscms %s)\n", in.path.c_str(),
                   a.ok() ? "ok" : "failed", b.ok() ? "ok" : "failed");
      return 1;
    }
    if (a.tip() != b.tip()) std::printf("%s: the two tips differ\n", in.name.c_str());
    // Rounds alternate between the two libraries, so that load from elsewhere on the
    // machine falls on both; the medians are compared.
    std::vector<double> rounds_ours, rounds_system;
    for (int round = 0; round < 5; ++round) {
      rounds_ours.push_back(bench::MedianSeconds([&] { return a.Tip(); }, 3, 0.1));
      rounds_system.push_back(bench::MedianSeconds([&] { return b.Tip(); }, 3, 0.1));
    }
    const double t_ours = bench::Median(rounds_ours), t_system = bench::Median(rounds_system);
    if (ours_small == 0) ours_small = t_ours, system_small = t_system;
    table.Add({in.name, bench::FormatSize(bench::FileLength(in.path)), bench::FormatTime(t_ours),
               bench::FormatTime(t_system), bench::Ratio(t_system, t_ours),
               bench::Ratio(t_ours, ours_small), bench::Ratio(t_system, system_small)});
  }
  table.Print();
  return 0;
}
