// The profile doctor's speed.
//
//   doctor_bench TAGWRIGHT_CLI DATA_DIR [VALIDATOR [FILES]]
//
// 1. tagwright-cli check over FILES (2,000) copies of the installed profiles in one call,
//    against the ICC's reference validator (iccDumpProfile -v) run once per file, as it is
//    used: files per second of each.  Without the validator only our figure is printed.
// 2. The check of a 100 MB profile (without and with a profile ID, which takes a read of
//    the whole profile) against reading the file once.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "bench_common.h"
#include "cli_runs.h"
#include "doctor.h"
#include "posix_file.h"
#include "profile_builder.h"

namespace {

bool Copies(const std::string& dir, std::size_t count, std::vector<std::string>* files) {
  std::vector<std::vector<uint8_t>> corpus;
  for (const std::string& path : bench::InstalledProfiles()) {
    corpus.emplace_back();
    if (!bench::ReadAll(path, &corpus.back())) corpus.pop_back();
  }
  return !corpus.empty() && bench::MakeCopies(corpus, dir, count, files);
}

double CheckOnce(const std::string& path) {
  return bench::MedianSeconds(
      [&] {
        std::unique_ptr<icc::SourceFile> file;
        icc::CheckReport report;
        return posix::OpenPosixFile(path, &file).ok() && doctor::CheckProfile(*file, &report).ok();
      },
      5, 1.0, 50);
}

double ReadOnce(const std::string& path) {
  std::vector<uint8_t> chunk(1 << 20);
  return bench::MedianSeconds(
      [&] {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return false;
        while (std::fread(chunk.data(), 1, chunk.size(), f) == chunk.size()) {
        }
        return std::fclose(f) == 0;
      },
      5, 1.0, 50);
}

// The generated profile as version 4 with the profile ID of its content.
bool WithProfileId(const std::string& from, const std::string& to) {
  if (bench::FileLength(to) == bench::FileLength(from)) return true;
  std::unique_ptr<icc::SourceFile> file;
  std::unique_ptr<icc::Profile> profile;
  if (!posix::OpenPosixFile(from, &file).ok() || !icc::Profile::Open(std::move(file), &profile).ok())
    return false;
  uint8_t header[icc::kHeaderSize];
  profile->GetHeader(header);
  header[8] = 4;
  header[icc::kProfileIdOffset] = 1;  // any ID: the write puts the right one
  profile->SetHeader(header);
  posix::PosixReplacement out(to);
  std::FILE* touch = std::fopen(to.c_str(), "wb");
  if (touch) std::fclose(touch);
  return icc::Commit(*profile, out).ok();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: doctor_bench TAGWRIGHT_CLI DATA_DIR [VALIDATOR [FILES]]\n");
    return 2;
  }
  const std::string cli = argv[1], data = argv[2];
  const std::string validator = argc > 3 ? argv[3] : "";
  const std::size_t count = argc > 4 ? std::size_t(std::atol(argv[4])) : 2000;
  mkdir(data.c_str(), 0755);

  std::vector<std::string> files;
  if (!Copies(data + "/doctor", count, &files)) {
    std::fprintf(stderr, "no installed profiles to copy\n");
    return 1;
  }
  std::vector<std::string> ours = {cli, "check"};
  ours.insert(ours.end(), files.begin(), files.end());
  bench::TimeProgram(ours, true);  // warms the page cache for both
  const double ours_seconds = bench::TimeProgram(ours, true);
  const bool ran = ours_seconds > 0;

  bench::Table table({"checker", "files", "time", "files/s", "ours / its files/s"});
  const double ours_rate = ran ? double(files.size()) / ours_seconds : 0;
  table.Add({"tagwright-cli check (one call)", std::to_string(files.size()), bench::FormatTime(ours_seconds),
             std::to_string(int(ours_rate)), "1"});
  struct stat st;
  if (!validator.empty() && stat(validator.c_str(), &st) == 0) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& f : files) bench::TimeProgram({validator, "-v", f}, true);
    const double theirs = bench::Seconds(start);
    const double rate = double(files.size()) / theirs;
    table.Add({"reference validator (a process per file)", std::to_string(files.size()),
               bench::FormatTime(theirs), std::to_string(int(rate)), bench::Ratio(ours_rate, rate)});
  } else {
    std::printf("The reference validator is not at '%s': build it with "
                "/work/shared/oracles/build-icc-reference-validator to compare.\n",
                validator.c_str());
  }
  table.Print();

  const std::string big = data + "/doctor-100MB.icc", big_id = data + "/doctor-100MB-id.icc";
  if (!bench::MakeProfile(big, 100ull << 20) || !WithProfileId(big, big_id)) {
    std::fprintf(stderr, "cannot write the 100 MB profiles\n");
    return 1;
  }
  bench::Table sizes({"100 MB profile", "check", "read once", "check / read"});
  for (const std::string& path : {big, big_id}) {
    const double check = CheckOnce(path), read = ReadOnce(path);
    sizes.Add({path == big ? "version 2, no profile ID" : "version 4, profile ID",
               bench::FormatTime(check), bench::FormatTime(read), bench::Ratio(check, read)});
  }
  sizes.Print();
  return 0;
}
