// Native benchmarks of the profile container:
//  - the info tip's reads (open, the description's ASCII count at offset 8, its text, the
//    header, close) through our container against Little CMS (open, the raw description
//    tag, the header fields) on profiles from 1 KB to 100 MB;
//  - a save that grows the description by 4 bytes against copying the file.
//
//   native_bench DATA_DIR [ITULab.icc]
//
// DATA_DIR receives the generated profiles (kept between runs).  Every figure is the median
// of repeated runs with the file in the page cache; ratios compare with the peer measured in
// the same run.
#include <fcntl.h>
#include <lcms2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_common.h"
#include "icc_profile.h"
#include "posix_file.h"

namespace {

constexpr uint32_t kDesc = icc::Signature("desc");

using bench::Tip;

bool ReadOurs(const std::string& path, Tip* tip) {
  std::unique_ptr<icc::SourceFile> file;
  if (!posix::OpenPosixFile(path, &file).ok()) return false;
  std::unique_ptr<icc::Profile> profile;
  if (!icc::Profile::Open(std::move(file), &profile).ok()) return false;
  uint8_t be[4];
  uint32_t count = 4;
  if (!profile->GetTag(kDesc, 8, &count, be, nullptr).ok() || count != 4) return false;
  count = icc::LoadBE32(be);
  std::vector<char> text(count + 1);
  if (!profile->GetTag(kDesc, 12, &count, text.data(), nullptr).ok()) return false;
  tip->description.assign(text.data(), strnlen(text.data(), count));
  const icc::Header& header = profile->header();
  tip->device_class = header.device_class();
  tip->colour_space = header.colour_space();
  tip->intent = header.intent();
  return true;
}

bool ReadLittleCms(const std::string& path, Tip* tip) {
  cmsHPROFILE h = cmsOpenProfileFromFile(path.c_str(), "r");
  if (!h) return false;
  const cmsUInt32Number size = cmsReadRawTag(h, cmsSigProfileDescriptionTag, nullptr, 0);
  std::vector<char> tag(size + 1);
  bool ok = size >= 12 && cmsReadRawTag(h, cmsSigProfileDescriptionTag, tag.data(), size) == size;
  if (ok) {
    const uint32_t count = icc::LoadBE32(reinterpret_cast<uint8_t*>(tag.data()) + 8);
    const std::size_t room = size - 12;
    tip->description.assign(tag.data() + 12, strnlen(tag.data() + 12, count < room ? count : room));
    tip->device_class = cmsGetDeviceClass(h);
    tip->colour_space = cmsGetColorSpace(h);
    tip->intent = cmsGetHeaderRenderingIntent(h);
  }
  cmsCloseProfile(h);
  return ok;
}

bool CopyFile(const std::string& from, const std::string& to, bool durable) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = out >= 0;
  std::vector<char> buffer(64 * 1024);
  while (ok) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = write(out, buffer.data(), std::size_t(n)) == n;
  }
  if (ok && durable) ok = fsync(out) == 0;
  if (out >= 0 && close(out) != 0) ok = false;
  close(in);
  return ok;
}

// The editor's save: the description grows by 4 bytes, the size field follows, and the
// changed profile replaces the file.
bool SaveOurs(const std::string& path) {
  std::unique_ptr<icc::SourceFile> file;
  if (!posix::OpenPosixFile(path, &file).ok()) return false;
  std::unique_ptr<icc::Profile> profile;
  if (!icc::Profile::Open(std::move(file), &profile).ok()) return false;
  uint32_t size = 0;
  if (!profile->GetTagSize(kDesc, &size).ok()) return false;
  std::vector<uint8_t> tag(size + 4);
  uint32_t count = size;
  if (!profile->GetTag(kDesc, 0, &count, tag.data(), nullptr).ok()) return false;
  uint8_t header[icc::kHeaderSize];
  profile->GetHeader(header);
  if (!profile->SetTagSize(kDesc, size + 4).ok() ||
      !profile->SetTag(kDesc, 0, size + 4, tag.data()).ok())
    return false;
  icc::StoreBE32(header, icc::LoadBE32(header) + icc::Pad4(size + 4) - icc::Pad4(size));
  profile->SetHeader(header);
  posix::PosixReplacement replacement(path);
  return icc::Commit(*profile, replacement).ok();
}

std::string Signature(uint32_t s) {
  return {char(s >> 24), char(s >> 16), char(s >> 8), char(s)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DATA_DIR [ITULab.icc]\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  const std::vector<bench::Input> inputs = bench::PrepareInputs(dir, '/', argc > 2 ? argv[2] : nullptr);
  if (inputs.empty()) return 1;

  std::printf("Info tip reads: open, ASCII count, text, header, close (median, warm cache)\n\n");
  bench::Table reads({"profile", "size", "ours", "Little CMS", "ours/LCMS", "ours/ours@1KB"});
  double ours_small = 0;
  for (const bench::Input& in : inputs) {
    Tip a, b;
    if (!ReadOurs(in.path, &a) || !ReadLittleCms(in.path, &b) || a != b) {
      std::fprintf(stderr, "%s: the two readers disagree or fail\n", in.path.c_str());
      return 1;
    }
    // Alternate the two so that both see the same machine load.
    std::vector<double> ours, lcms;
    for (int round = 0; round < 5; ++round) {
      ours.push_back(bench::MedianSeconds([&] { return ReadOurs(in.path, &a); }, 50, 0.1));
      lcms.push_back(bench::MedianSeconds([&] { return ReadLittleCms(in.path, &b); }, 50, 0.1));
    }
    const double t_ours = bench::Median(ours), t_lcms = bench::Median(lcms);
    if (ours_small == 0) ours_small = t_ours;
    reads.Add({in.name, bench::FormatSize(bench::FileLength(in.path)), bench::FormatTime(t_ours),
               bench::FormatTime(t_lcms), bench::Ratio(t_ours, t_lcms),
               bench::Ratio(t_ours, ours_small)});
    if (&in == &inputs.front())
      std::printf("(description \"%s\", class %s, space %s)\n", a.description.c_str(),
                  Signature(a.device_class).c_str(), Signature(a.colour_space).c_str());
  }
  std::printf("\n");
  reads.Print();

  std::printf("\nSave growing the description by 4 bytes, against copying the file (median)\n\n");
  bench::Table saves({"profile", "ours (fsync)", "copy", "copy+fsync", "ours/copy",
                      "ours/copy+fsync"});
  for (const bench::Input& in : inputs) {
    if (!in.size) continue;  // only the generated ones
    const std::string work = in.path + ".save", copy = in.path + ".copy";
    if (!CopyFile(in.path, work, false)) return 1;
    // One of each per round, so that all three see the same machine load, each starting
    // with nothing left to write back (a copy without fsync leaves its write-back to the
    // next measurement otherwise).
    const uint64_t length = bench::FileLength(work);
    const int runs = length > (50u << 20) ? 15 : length > (1u << 20) ? 40 : 200;
    std::vector<double> ours, plain, durable;
    for (int round = 0; round < runs; ++round) {
      sync();
      ours.push_back(bench::MedianSeconds([&] { return SaveOurs(work); }, 1, 0, 1));
      sync();
      plain.push_back(bench::MedianSeconds([&] { return CopyFile(in.path, copy, false); }, 1, 0, 1));
      sync();
      durable.push_back(bench::MedianSeconds([&] { return CopyFile(in.path, copy, true); }, 1, 0, 1));
    }
    Tip check;
    if (!ReadLittleCms(work, &check)) {
      std::fprintf(stderr, "%s: Little CMS cannot read the saved profile\n", work.c_str());
      return 1;
    }
    const double t_ours = bench::Median(ours), t_plain = bench::Median(plain),
                 t_durable = bench::Median(durable);
    saves.Add({in.name, bench::FormatTime(t_ours), bench::FormatTime(t_plain),
               bench::FormatTime(t_durable), bench::Ratio(t_ours, t_plain),
               bench::Ratio(t_ours, t_durable)});
    std::remove(work.c_str());
    std::remove(copy.c_str());
  }
  saves.Print();
  return 0;
}
