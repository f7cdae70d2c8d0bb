// The properties of a folder of 1,000 profiles, as a Details view asks for them: a stream on
// each file, Initialize, then every value; against the info tip of the same files (Load and
// GetInfoTip).  Reading is bounded, so the cost per file must not grow with the file.
//
//   properties_bench DATA_DIR [ITULab.icc [MATRIX.icc LUT.icc]]
//
// DATA_DIR holds the generated profiles, shared with the other benchmarks; each profile is
// given 1,000 names (hard links) in a folder of its own there.
//
// Then the worst cases of the two values that read a whole profile, the profile ID's state
// and the health, against a handler's 250 ms: reading and hashing (the ID check alone, against
// the plain read of the same bytes), a version 4 profile with an ID at the bound
// (icc::kMaxWholeReadBytes), just past it, 100 MB and a sparse 2 GB; and how long another
// thread's GetValue waits while the ID of the profile at the bound is checked.
//
// First, Initialize of a matrix profile and of the largest lookup-table profile at hand and
// their gamut's volume and coverages, against the handler's 250 ms and 64 MB.
#include <windows.h>
#include <propsys.h>
#include <propkey.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "classes.h"
#include "classes.h"
#include "guids.h"
#include "info_tip.h"
#include "peak_memory.h"
#include "profile_properties.h"
#include "properties.h"
#include "stream_file.h"

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

IStream* OpenStream(const std::string& path) {
  IStream* stream = nullptr;
  return SUCCEEDED(SHCreateStreamOnFileA(path.c_str(), STGM_READ, &stream)) ? stream : nullptr;
}

IPropertyStore* OpenStore(IStream* stream) {
  IInitializeWithStream* init = nullptr;
  IPropertyStore* store = nullptr;
  if (SUCCEEDED(hueshell::CreateICCProperties(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(&init))) &&
      SUCCEEDED(init->Initialize(stream, STGM_READ)))
    init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store));
  if (init) init->Release();
  return store;
}

std::wstring Value(IPropertyStore* store, const PROPERTYKEY& key) {
  PROPVARIANT value;
  std::wstring text = L"(error)";
  if (SUCCEEDED(store->GetValue(key, &value)) && value.vt == VT_LPWSTR) text = value.pwszVal;
  PropVariantClear(&value);
  return text;
}

const PROPERTYKEY kIdState = {hueshell::kProfileFormatId, hueshell::kProfileIdStateId};
const PROPERTYKEY kHealth = {hueshell::kProfileFormatId, hueshell::kHealthId};

// The seconds of one pass of the profile ID check over the stream's bytes (unbounded), and of
// the plain read of the same bytes in the same chunks.
bool ReadAndHash(const std::string& path, double* hashed, double* read) {
  IStream* stream = OpenStream(path);
  if (!stream) return false;
  std::unique_ptr<icc::SourceFile> file;
  bool ok = colour::OpenStreamFile(stream, &file).ok();
  uint8_t header[icc::kHeaderSize];
  ok = ok && file->ReadAt(0, header, sizeof header).ok();
  std::vector<uint8_t> chunk(1 << 20);
  if (ok) {
    const icc::Header decoded(header);
    *hashed = bench::MedianSeconds([&] {
      icc::ProfileIdState state;
      return icc::CheckProfileId(*file, decoded, &state).ok() && state == icc::ProfileIdState::Valid;
    }, 5, 0.5);
    *read = bench::MedianSeconds([&] {
      for (uint64_t at = 0; at < file->Size(); at += chunk.size())
        if (!file->ReadAt(at, chunk.data(), std::size_t(std::min<uint64_t>(chunk.size(), file->Size() - at))).ok())
          return false;
      return true;
    }, 5, 0.5);
  }
  stream->Release();
  return ok && *hashed > 0 && *read > 0;
}

// A store's Initialize, its health and its profile ID's state, as a Details pane asks for
// them; *id receives the state, *memory the most memory it took.
double HealthAndId(const std::string& path, std::wstring* id, uint64_t* memory) {
  auto once = [&] {
    IStream* stream = OpenStream(path);
    IPropertyStore* store = stream ? OpenStore(stream) : nullptr;
    if (store) {
      Value(store, kHealth);
      *id = Value(store, kIdState);
      store->Release();
    }
    if (stream) stream->Release();
    return store != nullptr;
  };
  *memory = bench::PeakRise(once);
  return bench::MedianSeconds(once, 5, 0.5, 7);
}

// The longest GetValue of the Title by another thread while this one asks for the ID of the
// profile at `path` (the first time, when its whole profile is read): the store's lock is not
// held meanwhile.
double LongestWait(const std::string& path, double* check) {
  IStream* stream = OpenStream(path);
  IPropertyStore* store = stream ? OpenStore(stream) : nullptr;
  if (!store) return -1;
  std::atomic<bool> checking{true};
  double longest = 0;
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (checking) {
      const auto t0 = std::chrono::steady_clock::now();
      Value(store, PKEY_Title);
      longest = std::max(longest, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    CoUninitialize();
  });
  const auto t0 = std::chrono::steady_clock::now();
  Value(store, kIdState);
  *check = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  checking = false;
  other.join();
  store->Release();
  stream->Release();
  return longest;
}

int WorstCases(const std::string& dir) {
  const uint64_t bound = icc::kMaxWholeReadBytes;
  const std::vector<bench::IdProfile> rows = bench::MakeIdProfiles(dir, true);
  if (rows.empty()) return 1;
  double hashed = 0, read = 0;
  if (!ReadAndHash(rows[2].path, &hashed, &read)) {
    std::fprintf(stderr, "%s: the profile ID check failed\n", rows[2].path.c_str());
    return 1;
  }
  const double mb = 100.0, per_second = mb / hashed;
  std::printf("\nThe profile ID check of 100 MB: read and MD5 %s (%.0f MB/s), the read alone %s "
              "(read+MD5/read %s);\n%.1f MB are read and hashed in 100 ms; the bound is %.1f MB\n\n",
              bench::FormatTime(hashed).c_str(), per_second, bench::FormatTime(read).c_str(),
              bench::Ratio(hashed, read).c_str(), per_second / 10, bound / 1048576.0);

  bench::Table table({"profile (v4, ID)", "size", "profile ID", "health + ID", "time/250 ms", "memory",
                      "memory/64 MB"});
  for (const auto& row : rows) {
    std::wstring id;
    uint64_t memory = 0;
    const double t = HealthAndId(row.path, &id, &memory);
    table.Add({row.name, bench::FormatSize(row.size), std::string(id.begin(), id.end()), bench::FormatTime(t),
               bench::Ratio(t, 0.250), bench::FormatSize(memory), bench::Ratio(double(memory), 64.0 * 1048576)});
  }
  table.Print();
  double check = 0;
  const double wait = LongestWait(rows[0].path, &check);
  std::printf("\nWhile the ID at the bound is checked (%s), another thread's longest GetValue: %s\n",
              bench::FormatTime(check).c_str(), bench::FormatTime(wait).c_str());
  return 0;
}

// Initialize and the gamut's values, the first of which computes the solid.
int GamutCases(const char* const* paths, int count) {
  bench::Table table({"profile", "size", "gamut volume", "sRGB", "Display P3", "time",
                      "time/250 ms", "memory", "memory/64 MB"});
  for (int i = 0; i < count; ++i) {
    const std::string path = paths[i];
    std::string values[3];
    auto once = [&] {
      IStream* stream = OpenStream(path);
      IPropertyStore* store = stream ? OpenStore(stream) : nullptr;
      for (DWORD id = hueshell::kGamutVolumeId; store && id <= hueshell::kDisplayP3CoverageId; ++id) {
        PROPVARIANT value;
        char text[32] = "-";
        if (SUCCEEDED(store->GetValue({hueshell::kProfileFormatId, id}, &value)) && value.vt != VT_EMPTY)
          std::snprintf(text, sizeof text, value.vt == VT_UI4 ? "%.0f" : "%.1f %%",
                        value.vt == VT_UI4 ? double(value.ulVal) : value.dblVal);
        PropVariantClear(&value);
        values[id - hueshell::kGamutVolumeId] = text;
      }
      if (store) store->Release();
      if (stream) stream->Release();
      return store != nullptr;
    };
    const uint64_t memory = bench::PeakRise(once);
    const double t = bench::MedianSeconds(once, 5, 0.5, 7);
    if (t < 0) {
      std::fprintf(stderr, "%s: the properties failed\n", path.c_str());
      return 1;
    }
    table.Add({path.substr(path.find_last_of("\\/") + 1), bench::FormatSize(bench::FileLength(path)), values[0],
               values[1], values[2], bench::FormatTime(t), bench::Ratio(t, 0.250), bench::FormatSize(memory),
               bench::Ratio(double(memory), 64.0 * 1048576)});
  }
  std::printf("Initialize and the gamut's volume and coverages, median\n\n");
  table.Print();
  std::printf("\n");
  return 0;
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
    std::fprintf(stderr, "usage: %s DATA_DIR [ITULab.icc [MATRIX.icc LUT.icc]]\n", argv[0]);
    return 2;
  }
  hueshell::module::Attach(GetModuleHandleA(nullptr), hueshell::LibraryClasses());
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (argc >= 5 && GamutCases(argv + 3, 2) != 0) return 1;

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
  return WorstCases(full);
}
