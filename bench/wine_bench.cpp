// Benchmarks of our colour service against the platform's colour library (under Wine, Wine's
// own mscms):
//  - the info tip's reads (open, the description's ASCII count at offset 8, its text, the
//    header, close) on profiles from 1 KB to 100 MB;
//  - the editor's save, which grows the description by 4 bytes (open read-write, header,
//    resize, write, header, close), against CopyFileA of the same file.
//
//   wine_bench DATA_DIR [ITULab.icc]
#include "colour_service.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_common.h"
#include "icc_profile.h"

namespace {

constexpr TAGTYPE kDesc = 0x64657363;

using bench::Tip;

// The calls of one service: ours (namespace colour) or the platform's.
struct Service {
  HPROFILE(WINAPI* open)(PPROFILE, DWORD, DWORD, DWORD);
  BOOL(WINAPI* close)(HPROFILE);
  BOOL(WINAPI* get_header)(HPROFILE, PPROFILEHEADER);
  BOOL(WINAPI* set_header)(HPROFILE, PPROFILEHEADER);
  BOOL(WINAPI* get_element)(HPROFILE, TAGTYPE, DWORD, PDWORD, PVOID, PBOOL);
  BOOL(WINAPI* set_element_size)(HPROFILE, TAGTYPE, DWORD);
  BOOL(WINAPI* set_element)(HPROFILE, TAGTYPE, DWORD, PDWORD, PVOID);
};

const Service kOurs = {colour::OpenColorProfileA,      colour::CloseColorProfile,
                       colour::GetColorProfileHeader,  colour::SetColorProfileHeader,
                       colour::GetColorProfileElement, colour::SetColorProfileElementSize,
                       colour::SetColorProfileElement};
const Service kPlatform = {::OpenColorProfileA,      ::CloseColorProfile,
                           ::GetColorProfileHeader,  ::SetColorProfileHeader,
                           ::GetColorProfileElement, ::SetColorProfileElementSize,
                           ::SetColorProfileElement};

PROFILE Record(const std::string& path) {
  PROFILE p = {};
  p.dwType = PROFILE_FILENAME;
  p.pProfileData = const_cast<char*>(path.c_str());
  p.cbDataSize = DWORD(path.size() + 1);
  return p;
}

// The info tip's sequence.  Wine's library copies no part of a tag smaller than the rest of
// it from the offset (it fails, asking for the larger size), so with `whole_tag` the count
// and the text come out of one read of the whole tag instead.
bool ReadTip(const Service& s, const std::string& path, Tip* tip, bool whole_tag = false) {
  PROFILE record = Record(path);
  HPROFILE h = s.open(&record, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (!h) return false;
  BOOL reference = FALSE;
  bool ok = false;
  if (whole_tag) {
    DWORD size = 0;
    s.get_element(h, kDesc, 0, &size, nullptr, &reference);
    std::vector<char> tag(size + 1);
    ok = size >= 12 && s.get_element(h, kDesc, 0, &size, tag.data(), &reference);
    if (ok) {
      const DWORD count = icc::LoadBE32(reinterpret_cast<BYTE*>(tag.data()) + 8);
      tip->description.assign(tag.data() + 12, strnlen(tag.data() + 12, std::min(count, size - 12)));
    }
  } else {
    BYTE be[4];
    DWORD count = 4;
    ok = s.get_element(h, kDesc, 8, &count, be, &reference) && count == 4;
    if (ok) {
      count = icc::LoadBE32(be);
      std::vector<char> text(count + 1);
      ok = s.get_element(h, kDesc, 12, &count, text.data(), &reference);
      if (ok) tip->description.assign(text.data(), strnlen(text.data(), count));
    }
  }
  PROFILEHEADER header;
  if (ok) ok = s.get_header(h, &header);
  if (ok) {
    tip->device_class = header.phClass;
    tip->colour_space = header.phDataColorSpace;
    tip->intent = header.phRenderingIntent;
  }
  return s.close(h) && ok;
}

// The editor's save of a description 4 bytes longer.
bool Save(const Service& s, const std::string& path) {
  PROFILE record = Record(path);
  HPROFILE h = s.open(&record, PROFILE_READWRITE, 0, OPEN_EXISTING);
  if (!h) return false;
  DWORD size = 0;
  BOOL reference = FALSE;
  s.get_element(h, kDesc, 0, &size, nullptr, &reference);
  std::vector<BYTE> tag(size + 4);
  DWORD count = size;
  PROFILEHEADER header;
  bool ok = size != 0 && s.get_element(h, kDesc, 0, &count, tag.data(), &reference) &&
            s.get_header(h, &header) && s.set_element_size(h, kDesc, size + 4);
  count = size + 4;
  ok = ok && s.set_element(h, kDesc, 0, &count, tag.data());
  header.phSize += ((size + 4 + 3) & ~3u) - ((size + 3) & ~3u);
  ok = ok && s.set_header(h, &header);
  const DWORD error = GetLastError();
  const bool closed = s.close(h);
  if (!ok) SetLastError(error);
  return closed && ok;
}

bool Flush(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = FlushFileBuffers(h);
  return CloseHandle(h) && ok;
}

bool Copy(const std::string& from, const std::string& to, bool durable) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) && (!durable || Flush(to));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR [ITULab.icc]\n", argv[0]);
    return 2;
  }
  // Full paths: the colour library takes a bare name as one in the colour directory.
  char full[MAX_PATH];
  if (!GetFullPathNameA(argv[1], MAX_PATH, full, nullptr)) return 1;
  const std::string dir = full;
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::vector<bench::Input> inputs = bench::PrepareInputs(dir, '\\', argc > 2 ? argv[2] : nullptr);
  if (inputs.empty()) return 1;

  std::printf("Info tip reads: open, ASCII count, text, header, close (median, warm cache)\n\n");
  bench::Table reads({"profile", "size", "ours", "platform", "platform/ours", "ours/ours@1KB"});
  double ours_small = 0;
  for (const bench::Input& in : inputs) {
    Tip a, b;
    if (!ReadTip(kOurs, in.path, &a)) {
      std::fprintf(stderr, "%s: our service cannot read it (error %lu)\n", in.path.c_str(),
                   GetLastError());
      return 1;
    }
    // The platform's library answers the tip's own reads, or only whole-tag reads.
    const bool partial = ReadTip(kPlatform, in.path, &b);
    const bool platform_reads = partial || ReadTip(kPlatform, in.path, &b, true);
    if (&in == &inputs.front() && !partial)
      std::printf("(the platform's library refuses partial tag reads: it reads the whole tag)\n\n");
    if (platform_reads && a != b) {
      std::fprintf(stderr, "%s: the two services disagree\n", in.path.c_str());
      return 1;
    }
    const bool big = bench::FileLength(in.path) > (50u << 20);
    std::vector<double> ours, platform;
    for (int round = 0; round < 5; ++round) {
      ours.push_back(bench::MedianSeconds([&] { return ReadTip(kOurs, in.path, &a); }, 50, 0.1));
      if (platform_reads)
        platform.push_back(bench::MedianSeconds([&] { return ReadTip(kPlatform, in.path, &b, !partial); },
                                                big ? 2 : 10, 0.1, big ? 3 : 1000));
    }
    const double t_ours = bench::Median(ours), t_platform = platform_reads ? bench::Median(platform) : -1;
    if (ours_small == 0) ours_small = t_ours;
    reads.Add({in.name, bench::FormatSize(bench::FileLength(in.path)), bench::FormatTime(t_ours),
               bench::FormatTime(t_platform), bench::Ratio(t_platform, t_ours),
               bench::Ratio(t_ours, ours_small)});
  }
  reads.Print();

  std::printf("\nSave growing the description by 4 bytes, against CopyFileA (median)\n\n");
  bench::Table saves({"profile", "ours (flushed)", "CopyFileA", "copy+flush", "ours/copy",
                      "ours/copy+flush", "platform save"});
  for (const bench::Input& in : inputs) {
    if (!in.size) continue;
    const std::string work = in.path + ".save", copy = in.path + ".copy";
    if (!CopyFileA(in.path.c_str(), work.c_str(), FALSE)) return 1;
    const int runs = in.size > (50u << 20) ? 15 : in.size > (1u << 20) ? 40 : 200;
    // One of each per round, each starting with nothing left to write back: a copy that is
    // not flushed leaves its write-back to whatever runs next.
    std::vector<double> ours, copies, durable;
    for (int round = 0; round < runs; ++round) {
      ours.push_back(bench::MedianSeconds([&] { return Save(kOurs, work); }, 1, 0, 1));
      copies.push_back(bench::MedianSeconds([&] { return Copy(in.path, copy, false); }, 1, 0, 1));
      Flush(copy);
      durable.push_back(bench::MedianSeconds([&] { return Copy(in.path, copy, true); }, 1, 0, 1));
    }
    Tip check;
    if (!ReadTip(kOurs, work, &check)) return 1;
    // The platform's save, for the record: Wine does not implement resizing a tag.
    CopyFileA(in.path.c_str(), copy.c_str(), FALSE);
    const bool platform_saves = Save(kPlatform, copy);
    const DWORD platform_error = GetLastError();
    const double t_ours = bench::Median(ours), t_copy = bench::Median(copies),
                 t_durable = bench::Median(durable);
    saves.Add({in.name, bench::FormatTime(t_ours), bench::FormatTime(t_copy),
               bench::FormatTime(t_durable), bench::Ratio(t_ours, t_copy),
               bench::Ratio(t_ours, t_durable),
               platform_saves ? "works" : "fails, error " + std::to_string(platform_error)});
    DeleteFileA(work.c_str());
    DeleteFileA(copy.c_str());
  }
  saves.Print();
  return 0;
}
