// What the command-line benchmarks share: copies of the installed profiles and timed runs of
// a program.  Native only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The .icc and .icm files that the packages install under /usr/share/color.
std::vector<std::string> InstalledProfiles();

bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes);

// Fresh copies of the corpus in `dir`, `count` of them (named 0.icc, 1.icc...), flushed
// before any clock starts; *files gets their paths, `dir` joined with each name.
bool MakeCopies(const std::vector<std::vector<uint8_t>>& corpus, const std::string& dir,
                std::size_t count, std::vector<std::string>* files);

double Seconds(std::chrono::steady_clock::time_point since);

// Runs argv[0] (a path) with the arguments, its standard output thrown away; its time in
// seconds, or -1 when it could not start or did not exit with 0 (with `any_exit`: did not
// exit at all; checkers exit with 1 for the faults they find).
double TimeProgram(const std::vector<std::string>& argv, bool any_exit = false);

}  // namespace bench
