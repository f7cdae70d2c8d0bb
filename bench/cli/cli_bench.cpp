// tagwright-cli set on many profiles in one call, against the usual way of renaming them
// with a colour engine (Little CMS in one process: open each profile, write a new
// description tag, save it) and against copying the same files.  Every writer has each
// file on the disk before it takes its place: the engine and the copy flush each file,
// tagwright-cli writes many, flushes their file system once and then renames them.
//
//   cli_bench TAGWRIGHT_CLI DATA_DIR [FILES]
//
// The files (10,000 by default) are copies of the installed profiles, made afresh in
// DATA_DIR before each measured run and flushed before the clock starts.  Each writer's
// time is the median of three rounds.
#include <fcntl.h>
#include <lcms2.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_common.h"
#include "cli_runs.h"

namespace {

const char kText[] = "Renamed in bulk";
constexpr int kRounds = 3;

// Writes the file beside `path`, flushes it to the disk and renames it over `path`: how
// both writers measured here put a file in place.
bool WriteDurably(const std::string& path, const void* data, std::size_t size) {
  const std::string temp = path + ".new";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, data, size) == ssize_t(size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  return ok && rename(temp.c_str(), path.c_str()) == 0;
}

// ext4 without a journal (this machine's root) does not reuse an inode freed in the last
// minutes: each file made scans past every such inode of its block group, and a writer would
// pay for the thousands of files that the writer before it replaced.  So every measured run
// gets a folder of its own that the file system places as it places top-level folders (in
// a block group of its own, FS_TOPDIR_FL on the parent), and the folder goes afterwards.
void SpreadFolders(const std::string& parent) {
  const int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_TOPDIR_FL;
    ioctl(fd, FS_IOC_SETFLAGS, &flags);  // other file systems place folders their own way
  }
  if (fd >= 0) close(fd);
}

// tagwright-cli set TEXT FILE... in one process, its report thrown away.
double RunCli(const std::string& cli, const std::vector<std::string>& files) {
  std::vector<std::string> argv = {cli, "set", kText};
  argv.insert(argv.end(), files.begin(), files.end());
  return bench::TimeProgram(argv);
}

// Little CMS: open, a new description tag, save to memory, written durably.
double RunEngine(const std::vector<std::string>& files) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> out;
  for (const std::string& path : files) {
    cmsHPROFILE h = cmsOpenProfileFromFile(path.c_str(), "r");
    if (!h) return -1;
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    bool ok = mlu && cmsMLUsetASCII(mlu, "en", "US", kText) &&
              cmsWriteTag(h, cmsSigProfileDescriptionTag, mlu);
    cmsUInt32Number size = 0;
    ok = ok && cmsSaveProfileToMem(h, nullptr, &size);
    out.resize(size);
    ok = ok && cmsSaveProfileToMem(h, out.data(), &size);
    if (mlu) cmsMLUfree(mlu);
    cmsCloseProfile(h);
    if (!ok || !WriteDurably(path, out.data(), size)) return -1;
  }
  return bench::Seconds(start);
}

// A copy of each file under a new name, written durably.
double RunCopy(const std::vector<std::string>& files) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> bytes;
  for (const std::string& path : files)
    if (!bench::ReadAll(path, &bytes) || !WriteDurably(path + ".copy", bytes.data(), bytes.size()))
      return -1;
  return bench::Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TAGWRIGHT_CLI DATA_DIR [FILES]\n", argv[0]);
    return 2;
  }
  const std::string cli = argv[1], data = std::string(argv[2]) + "/cli";
  const std::size_t count = argc > 3 ? std::size_t(std::atol(argv[3])) : 10000;
  std::vector<std::vector<uint8_t>> corpus;
  for (const std::string& path : bench::InstalledProfiles()) {
    corpus.emplace_back();
    if (!bench::ReadAll(path, &corpus.back())) corpus.pop_back();
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "no profiles under /usr/share/color\n");
    return 1;
  }
  mkdir(std::string(argv[2]).c_str(), 0755);
  std::error_code ignored;
  std::filesystem::remove_all(data, ignored);
  mkdir(data.c_str(), 0755);
  SpreadFolders(data);

  // The machine may be busy with other work: each writer runs in every round, in turns
  // that rotate, and its median counts.
  struct Run {
    const char* name;
    std::vector<double> times;
    double seconds;
  } runs[] = {{"tagwright-cli set", {}, 0}, {"Little CMS in one process", {}, 0}, {"copy", {}, 0}};
  std::vector<std::string> files;
  for (int round = 0; round < kRounds; ++round)
    for (int turn = 0; turn < 3; ++turn) {
      const int i = (round + turn) % 3;
      const std::string folder = data + "/" + std::to_string(round) + "-" + std::to_string(i);
      if (!bench::MakeCopies(corpus, folder, count, &files)) {
        std::fprintf(stderr, "cannot write the copies in %s\n", data.c_str());
        return 1;
      }
      const double seconds = i == 0 ? RunCli(cli, files) : i == 1 ? RunEngine(files) : RunCopy(files);
      std::filesystem::remove_all(folder, ignored);
      if (seconds < 0) {
        std::fprintf(stderr, "%s failed\n", runs[i].name);
        return 1;
      }
      runs[i].times.push_back(seconds);
    }
  for (Run& run : runs) run.seconds = bench::Median(run.times);

  std::printf("New descriptions for %zu copies of %zu installed profiles, each file durable "
              "before it replaces the old one (median of %d rounds):\n",
              count, corpus.size(), kRounds);
  bench::Table table({"writer", "time", "files/s", "time / copy"});
  for (const Run& run : runs)
    table.Add({run.name, bench::FormatTime(run.seconds), std::to_string(int(count / run.seconds)),
               bench::Ratio(run.seconds, runs[2].seconds)});
  table.Print();
  std::printf("tagwright-cli: %s the engine's files per second (target: at least 3x), %s the "
              "time of the copy\n",
              bench::Ratio(runs[1].seconds, runs[0].seconds).c_str(),
              bench::Ratio(runs[0].seconds, runs[2].seconds).c_str());
  return 0;
}
