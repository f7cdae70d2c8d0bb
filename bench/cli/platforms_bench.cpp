// tagwright-cli built for Windows, run under Wine, beside the native build doing the same
// work on the same files in the same run: starting, show over many profiles, set over many
// copies (each file flushed before it takes the old one's place) and plot of the installed
// profiles.  Paths are relative to DATA_DIR, the same for both.
//
//   platforms_bench NATIVE_CLI DATA_DIR FILES WINE_RUN PREFIX WINDOWS_CLI...
//
// Each Windows build (x86_64, i686) gets a column.  Every program runs in every round, in
// turns that rotate; each time is the median of the rounds.  Run under an X server (the
// bench_cli_platforms target starts one), or the Wine runner starts one for every run.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "cli_runs.h"

namespace {

constexpr int kRounds = 3;

// Whether a Windows program is built for x86_64: the machine field of its PE header.
std::string Machine(const std::string& exe) {
  std::vector<uint8_t> bytes;
  if (!bench::ReadAll(exe, &bytes) || bytes.size() < 64) return "?";
  const std::size_t pe = bytes[60] | bytes[61] << 8 | bytes[62] << 16 | std::size_t(bytes[63]) << 24;
  if (pe + 6 > bytes.size()) return "?";
  return bytes[pe + 4] == 0x64 && bytes[pe + 5] == 0x86 ? "x86_64" : "i686";
}

// `path` from the folder the benchmark started in: it runs the programs from DATA_DIR.
std::string Absolute(const std::string& path) {
  char here[4096];
  return path[0] == '/' || !getcwd(here, sizeof here) ? path : std::string(here) + "/" + path;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: %s NATIVE_CLI DATA_DIR FILES WINE_RUN PREFIX WINDOWS_CLI...\n", argv[0]);
    return 2;
  }
  const std::string data = Absolute(argv[2]) + "/platforms";
  const std::size_t count = std::size_t(std::atol(argv[3]));
  // The native program, then each Windows one through the Wine runner.
  std::vector<std::vector<std::string>> programs = {{Absolute(argv[1])}};
  std::vector<std::string> names = {"native"};
  for (int i = 6; i < argc; ++i) {
    if (access(argv[i], R_OK) != 0) {
      std::printf("%s is not there (its Windows tree is not built): left out\n", argv[i]);
      continue;
    }
    programs.push_back({Absolute(argv[4]), Absolute(argv[5]), Absolute(argv[i])});
    names.push_back(Machine(argv[i]) + " under Wine");
  }
  if (programs.size() == 1) return 1;
  std::vector<std::vector<uint8_t>> corpus;
  for (const std::string& path : bench::InstalledProfiles()) {
    corpus.emplace_back();
    if (!bench::ReadAll(path, &corpus.back())) corpus.pop_back();
  }
  mkdir(Absolute(argv[2]).c_str(), 0755);
  mkdir(data.c_str(), 0755);
  std::vector<std::string> shown, drawn, written;
  if (corpus.empty() || chdir(data.c_str()) != 0 || !bench::MakeCopies(corpus, "show", count, &shown) ||
      !bench::MakeCopies(corpus, "plot", corpus.size(), &drawn)) {
    std::fprintf(stderr, "no profiles under /usr/share/color, or %s cannot be written\n", data.c_str());
    return 1;
  }

  // Once before the clock: the Wine prefix is made on first use.  Then its server stays up
  // for the whole run, as it does while a Windows session lasts, rather than stop a few
  // seconds after each program and start again for the next.
  for (std::size_t p = 1; p < programs.size(); ++p) {
    std::vector<std::string> run = programs[p];
    run.push_back("--help");
    bench::TimeProgram(run);
  }
  setenv("WINEPREFIX", programs.back()[1].c_str(), 1);
  bench::TimeProgram({"/usr/bin/wineserver", "-p"});

  struct Job {
    std::string name;
    std::vector<std::vector<double>> times;  // by program
  };
  std::vector<Job> jobs = {{"start (--help)", {}},
                           {"show --json -r, " + std::to_string(count) + " profiles", {}},
                           {"set, " + std::to_string(count) + " copies", {}},
                           {"plot -r, " + std::to_string(corpus.size()) + " profiles", {}}};
  for (Job& job : jobs) job.times.resize(programs.size());
  for (int round = 0; round < kRounds; ++round)
    for (std::size_t turn = 0; turn < programs.size(); ++turn) {
      const std::size_t p = (std::size_t(round) + turn) % programs.size();
      const std::string out = "pictures-" + std::to_string(p);
      const std::vector<std::vector<std::string>> args = {
          {"--help"}, {"show", "--json", "-r", "show"}, {"set", "Renamed in bulk"},
          {"plot", "-r", "-d", out, "plot"}};
      for (std::size_t j = 0; j < jobs.size(); ++j) {
        if (j == 2 && !bench::MakeCopies(corpus, "set", count, &written)) written.clear();
        std::vector<std::string> run = programs[p];
        run.insert(run.end(), args[j].begin(), args[j].end());
        if (j == 2) run.insert(run.end(), written.begin(), written.end());
        const double seconds = bench::TimeProgram(run);
        if (seconds < 0) {
          std::fprintf(stderr, "%s: %s failed\n", names[p].c_str(), jobs[j].name.c_str());
          bench::TimeProgram({"/usr/bin/wineserver", "-k"});
          return 1;
        }
        jobs[j].times[p].push_back(seconds);
      }
    }

  bench::TimeProgram({"/usr/bin/wineserver", "-k"});

  std::printf("tagwright-cli for Windows under Wine beside the native one, the same work on the "
              "same files (median of %d rounds):\n", kRounds);
  std::vector<std::string> heading = {"job", names[0]};
  for (std::size_t p = 1; p < programs.size(); ++p) {
    heading.push_back(names[p]);
    heading.push_back("/ native");
  }
  bench::Table table(heading);
  for (const Job& job : jobs) {
    const double native = bench::Median(job.times[0]);
    std::vector<std::string> row = {job.name, bench::FormatTime(native)};
    for (std::size_t p = 1; p < programs.size(); ++p) {
      const double seconds = bench::Median(job.times[p]);
      row.push_back(bench::FormatTime(seconds));
      row.push_back(bench::Ratio(seconds, native));
    }
    table.Add(row);
  }
  table.Print();
  std::printf("Each run under Wine includes Wine's start of a process (the first row).\n");
  return 0;
}
