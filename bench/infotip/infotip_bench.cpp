// Cost of one info tip (open, read the description and header, compose, close) on a
// 1 KB and a 100 MB profile, with our colour service and with the platform's colour
// library.  The tip reads a fixed number of bytes, so its cost must not grow with the file.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "guids.h"
#include "info_tip.h"
#include "module.h"
#include "platform.h"

namespace {

void Put32(std::vector<uint8_t>& b, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = uint8_t(v >> (24 - 8 * i));
}

// A display profile with a `desc` tag and one large data tag making up `length` bytes.
bool WriteProfile(const std::string& path, uint32_t length) {
  const char text[] = "Office monitor";
  const uint32_t desc_at = 132 + 2 * 12, desc_size = 12 + sizeof text;
  const uint32_t data_at = (desc_at + desc_size + 3) & ~3u;
  std::vector<uint8_t> head(data_at);
  Put32(head, 0, length);
  Put32(head, 8, 0x02100000);
  Put32(head, 12, 0x6D6E7472);
  Put32(head, 16, 0x52474220);
  Put32(head, 20, 0x58595A20);
  Put32(head, 36, 0x61637370);
  Put32(head, 128, 2);
  Put32(head, 132, 0x64657363);
  Put32(head, 136, desc_at);
  Put32(head, 140, desc_size);
  Put32(head, 144, 0x41324230);
  Put32(head, 148, data_at);
  Put32(head, 152, length - data_at);
  Put32(head, desc_at, 0x64657363);
  Put32(head, desc_at + 8, sizeof text);
  memcpy(&head[desc_at + 12], text, sizeof text);

  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool ok = WriteFile(h, head.data(), DWORD(head.size()), &done, nullptr) != 0;
  std::vector<uint8_t> chunk(1 << 20, 0x5A);
  for (uint32_t left = length - data_at; ok && left;) {
    const DWORD n = left < chunk.size() ? left : DWORD(chunk.size());
    ok = WriteFile(h, chunk.data(), n, &done, nullptr) != 0;
    left -= n;
  }
  CloseHandle(h);
  return ok;
}

// Wine's mscms copies a tag only into a buffer that holds all of it from the offset on;
// the Windows library (and our service) copy as many bytes as were asked for.  The tip asks
// for 4 bytes of the count, so Wine's call is wrapped: a refused partial read is repeated
// with a buffer of the reported size and the asked-for bytes are copied out.
decltype(hueshell::Platform::GetColorProfileElement) g_wine_element;

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

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / double(frequency.QuadPart);
}

// A tip object for one profile through one colour library.
class Subject {
 public:
  Subject(const hueshell::Platform& platform, const std::string& path) {
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

  // Microseconds per tip over at least 0.1 s and 3 tips.
  double Round() {
    int runs = 0;
    const double start = Now();
    double elapsed = 0;
    do {
      wchar_t* text = nullptr;
      if (info_->GetInfoTip(0, &text) != S_OK) return -1;
      CoTaskMemFree(text);
      ++runs;
      elapsed = Now() - start;
    } while (elapsed < 0.1 || runs < 3);
    return elapsed / runs * 1e6;
  }

 private:
  IQueryInfo* info_ = nullptr;
  std::string tip_;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  hueshell::module::Attach(GetModuleHandleA(nullptr));

  hueshell::Platform ours = hueshell::DefaultPlatform();
  hueshell::Platform system = ours;
  HMODULE mscms = LoadLibraryA("mscms.dll");
  if (!mscms || !Resolve(mscms, "OpenColorProfileA", &system.OpenColorProfileA) ||
      !Resolve(mscms, "CloseColorProfile", &system.CloseColorProfile) ||
      !Resolve(mscms, "GetColorProfileHeader", &system.GetColorProfileHeader) ||
      !Resolve(mscms, "GetColorProfileElement", &g_wine_element)) {
    std::printf("the platform's colour library is missing\n");
    return 1;
  }

  system.GetColorProfileElement = PartialElement;

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const struct {
    const char* label;
    uint32_t bytes;
  } sizes[] = {{"1 KB", 1024}, {"100 MB", 100u << 20}};

  std::printf("GetInfoTip, median of 5 rounds\n");
  std::printf("%-8s %14s %14s %12s\n", "profile", "ours us/tip", "mscms us/tip", "mscms/ours");
  double first[2] = {};
  double last[2] = {};
  for (const auto& size : sizes) {
    const std::string path = std::string(temp) + "hueshell-bench-" + std::to_string(size.bytes) + ".icm";
    if (!WriteProfile(path, size.bytes)) {
      std::printf("cannot write %s\n", path.c_str());
      return 1;
    }
    double t_ours = -1, t_system = -1;
    {
      Subject a(ours, path), b(system, path);
      if (!a.ok() || !b.ok()) {
        std::printf("%-8s a tip failed (ours %s, mscms %s)\n", size.label, a.ok() ? "ok" : "failed",
                    b.ok() ? "ok" : "failed");
        return 1;
      }
      if (a.tip() != b.tip()) std::printf("  the two tips differ\n");
      // Rounds alternate between the two libraries, so that load from elsewhere on the
      // machine falls on both; the medians are compared.
      std::vector<double> rounds_ours, rounds_system;
      for (int round = 0; round < 5; ++round) {
        rounds_ours.push_back(a.Round());
        rounds_system.push_back(b.Round());
      }
      t_ours = Median(rounds_ours);
      t_system = Median(rounds_system);
    }
    DeleteFileA(path.c_str());
    std::printf("%-8s %14.1f %14.1f %12.2f\n", size.label, t_ours, t_system, t_system / t_ours);
    (first[0] == 0 ? first : last)[0] = t_ours;
    (first[1] == 0 ? first : last)[1] = t_system;
  }
  std::printf("growth 100 MB / 1 KB: ours %.2f, mscms %.2f\n", last[0] / first[0], last[1] / first[1]);
  return 0;
}
