// What every benchmark program shares: the generated profiles, the timing loop and the
// table.  Portable C++ that builds natively and for Windows.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// What the info tip takes from a profile, as each reader measured reports it.
struct Tip {
  std::string description;
  uint32_t device_class = 0, colour_space = 0, intent = 0;
  bool operator==(const Tip& other) const {
    return description == other.description && device_class == other.device_class &&
           colour_space == other.colour_space && intent == other.intent;
  }
  bool operator!=(const Tip& other) const { return !(*this == other); }
};

// A profile the benchmarks read: a generated one (`size` bytes) or one of the machine's
// (`size` 0).
struct Input {
  std::string name, path;
  uint64_t size;
};

// The generated 1 KB, 10 MB and 100 MB profiles in `dir`, joined with `separator`, written
// when missing; `machine_profile`, when given, stands second.  Says on stderr what could
// not be written and returns an empty list.
std::vector<Input> PrepareInputs(const std::string& dir, char separator,
                                 const char* machine_profile);

// Writes a profile of about `size` bytes (exactly, when size is a multiple of 4 and at least
// 1 KB): header, tag table, a large lookup-table tag, then the description tag and a white
// point.  An existing file of the right length is kept.  Returns false on an I/O error.
bool MakeProfile(const std::string& path, uint64_t size);

// MakeProfile's profile as version 4, with its profile ID.  With `sparse`, MakeProfile's 1 KB
// profile instead, its size field saying `size` and zeros up to that length (a sparse file
// whose ID is then not its content's).  An existing file of the right length is kept.
bool MakeIdProfile(const std::string& path, uint64_t size, bool sparse = false);

// The worst cases of the handlers' whole-file reads, made in `dir` by MakeIdProfile: version
// 4 profiles with an ID at the bound (icc::kMaxWholeReadBytes), 4 bytes past it, 100 MB with
// `with_100_mb`, and a sparse 2 GB one.  Empty when one cannot be written (said on stderr).
struct IdProfile {
  const char* name;
  std::string path;
  uint64_t size;
};
std::vector<IdProfile> MakeIdProfiles(const std::string& dir, bool with_100_mb);

// The tags of the profile `matrix` that a gamut picture needs, after `filler` bytes of a
// private tag, so that they lie at the end of the file.  An existing file is kept.
bool MakeMatrixProfile(const std::string& matrix, const std::string& path, uint32_t filler);

// The generated copies of the profile `matrix` in `dir`, joined with `separator`:
// "matrix-small.icc" with no filler (skipped when `small` is null) and "matrix-100m.icc"
// after 100 MB of it.  Returns false when one could not be written.
bool PrepareMatrixProfiles(const std::string& dir, char separator, const std::string& matrix,
                           std::string* small, std::string* big);

uint64_t FileLength(const std::string& path);

double Median(std::vector<double> values);

// The median time of one call of `f`, repeated until both `min_runs` calls and `min_seconds`
// have passed (at most `max_runs` calls).  `f` returns false on failure, which ends the run
// with a negative result.
template <class F>
double MedianSeconds(F f, int min_runs, double min_seconds, int max_runs = 100000) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> times;
  const auto start = Clock::now();
  while (int(times.size()) < max_runs &&
         (int(times.size()) < min_runs ||
          std::chrono::duration<double>(Clock::now() - start).count() < min_seconds)) {
    const auto t0 = Clock::now();
    if (!f()) return -1;
    times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return Median(times);
}

// "12.3 us", "4.56 ms", "1.23 s".
std::string FormatTime(double seconds);
std::string FormatSize(uint64_t bytes);

// One row of a table printed with aligned columns.
class Table {
 public:
  explicit Table(std::vector<std::string> heading) { rows_.push_back(std::move(heading)); }
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void Print() const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

std::string Ratio(double numerator, double denominator);

}  // namespace bench
