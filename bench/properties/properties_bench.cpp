// The properties of a folder of 1,000 profiles, as a Details view asks for them: a stream on
// each file, Initialize, then every value; against the info tip of the same files (Load and
// GetInfoTip).  Reading is bounded, so the cost per file must not grow with the file.
//
//   properties_bench DATA_DIR [ITULab.icc]
//
// DATA_DIR holds the generated profiles, shared with the other benchmarks; each profile is
// given 1,000 names (hard links) in a folder of its own there.
#include <windows.h>
#include <propsys.h>
#include <propkey.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "classes.h"
#include "guids.h"
#include "info_tip.h"
#include "properties.h"

namespace {

constexpr int kFiles = 1000;
constexpr int kRounds = 7;

// 1,000 names for the profile at `path`, in a folder of their own under the data folder (never
// beside the profile, which may lie in a system folder such as the colour directory).
std::vector<std::wstring> NamesFor(const std::string& data_dir, const bench::Input& in) {
  const std::string& path = in.path;
  const std::string folder = data_dir + "\\" + in.name + ".names";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::vector<std::wstring> names;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = folder + "\\" + std::to_string(i) + ".icc";
    if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !CreateHardLinkA(name.c_str(), path.c_str(), nullptr) && !CopyFileA(path.c_str(), name.c_str(), TRUE))
      return {};
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

bool Properties(const std::wstring& path) {
  IStream* stream = nullptr;
  if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ, 0, FALSE, nullptr, &stream))) return false;
  IInitializeWithStream* init = nullptr;
  bool ok = SUCCEEDED(hueshell::CreateICCProperties(nullptr, IID_IInitializeWithStream,
                                                    reinterpret_cast<void**>(&init))) &&
            SUCCEEDED(init->Initialize(stream, STGM_READ));
  IPropertyStore* store = nullptr;
  if (ok) ok = SUCCEEDED(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)));
  DWORD count = 0;
  if (ok) ok = SUCCEEDED(store->GetCount(&count)) && count > 0;
  for (DWORD i = 0; ok && i < count; ++i) {
    PROPERTYKEY key;
    PROPVARIANT value;
    ok = SUCCEEDED(store->GetAt(i, &key)) && SUCCEEDED(store->GetValue(key, &value));
    if (ok) PropVariantClear(&value);
  }
  if (store) store->Release();
  if (init) init->Release();
  stream->Release();
  return ok;
}

bool Tip(const std::wstring& path) {
  IQueryInfo* info = nullptr;
  if (FAILED(hueshell::CreateICCTip(nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)))) return false;
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load(path.c_str(), 0));
  wchar_t* text = nullptr;
  if (ok) ok = info->GetInfoTip(0, &text) == S_OK && text;
  CoTaskMemFree(text);
  if (file) file->Release();
  info->Release();
  return ok;
}

// The time per file of a pass over the folder.
template <class F>
double PerFile(const std::vector<std::wstring>& names, F f) {
  const double seconds = bench::MedianSeconds(
      [&] {
        for (const std::wstring& name : names)
          if (!f(name)) return false;
        return true;
      },
      1, 0.0, 1);
  return seconds < 0 ? seconds : seconds / double(names.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR [ITULab.icc]\n", argv[0]);
    return 2;
  }
  hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses());
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);

  char full[MAX_PATH];
  if (!GetFullPathNameA(argv[1], MAX_PATH, full, nullptr)) return 1;
  CreateDirectoryA(full, nullptr);
  const std::vector<bench::Input> inputs = bench::PrepareInputs(full, '\\', argc > 2 ? argv[2] : nullptr);
  if (inputs.empty()) return 1;

  std::printf("A folder of %d profiles: every property of each file, and its info tip; per file, "
              "median of %d passes\n\n", kFiles, kRounds);
  bench::Table table({"profile", "size", "properties", "tip", "properties/tip", "properties/properties@1KB"});
  double small = 0;
  for (const bench::Input& in : inputs) {
    const std::vector<std::wstring> names = NamesFor(full, in);
    if (names.empty()) {
      std::fprintf(stderr, "%s: cannot make the folder of %d names\n", in.path.c_str(), kFiles);
      return 1;
    }
    // Passes alternate between the two, so that load from elsewhere on the machine falls on
    // both; the medians are compared.
    std::vector<double> rounds_properties, rounds_tip;
    for (int round = 0; round < kRounds; ++round) {
      rounds_properties.push_back(PerFile(names, Properties));
      rounds_tip.push_back(PerFile(names, Tip));
      if (rounds_properties.back() < 0 || rounds_tip.back() < 0) {
        std::fprintf(stderr, "%s: the properties or the tip failed\n", in.path.c_str());
        return 1;
      }
    }
    const double properties = bench::Median(rounds_properties), tip = bench::Median(rounds_tip);
    if (small == 0) small = properties;
    table.Add({in.name, bench::FormatSize(bench::FileLength(in.path)), bench::FormatTime(properties),
               bench::FormatTime(tip), bench::Ratio(properties, tip), bench::Ratio(properties, small)});
  }
  table.Print();
  return 0;
}
