#include "bench_common.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "icc_profile.h"
#include "md5.h"
#include "profile_properties.h"
#include "profile_builder.h"

namespace bench {
namespace {

bool Put(std::FILE* f, const void* data, std::size_t count) {
  return std::fwrite(data, 1, count, f) == count;
}

}  // namespace

uint64_t FileLength(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  const long length = std::ftell(f);
  std::fclose(f);
  return length < 0 ? 0 : uint64_t(length);
}

bool MakeProfile(const std::string& path, uint64_t size) {
  if (FileLength(path) == size) return true;
  const std::vector<uint8_t> desc = testing_icc::DescTag("Benchmark profile, " + FormatSize(size), true);
  const uint32_t tags = 3;
  const uint32_t table_start = uint32_t(icc::kTagTableStart + tags * icc::kTagEntrySize);
  const uint32_t tail = icc::Pad4(uint32_t(desc.size())) + 20;
  const uint64_t fixed = uint64_t(table_start) + tail;
  const uint32_t lut = size > fixed + 32 ? uint32_t((size - fixed) & ~uint64_t(3)) : 32;
  const uint32_t desc_at = table_start + lut;
  const uint32_t wtpt_at = desc_at + icc::Pad4(uint32_t(desc.size()));
  const uint32_t length = wtpt_at + 20;

  std::vector<uint8_t> head(table_start);
  icc::StoreBE32(head.data(), length);
  icc::StoreBE32(head.data() + 8, 0x02100000);
  icc::StoreBE32(head.data() + 12, icc::Signature("mntr"));
  icc::StoreBE32(head.data() + 16, icc::Signature("RGB "));
  icc::StoreBE32(head.data() + 20, icc::Signature("XYZ "));
  icc::StoreBE32(head.data() + 36, icc::Signature("acsp"));
  icc::StoreBE32(head.data() + 64, 1);
  icc::StoreBE32(head.data() + 128, tags);
  const uint32_t rows[tags][3] = {{icc::Signature("A2B0"), table_start, lut},
                                  {icc::Signature("desc"), desc_at, uint32_t(desc.size())},
                                  {icc::Signature("wtpt"), wtpt_at, 20}};
  for (uint32_t i = 0; i < tags; ++i)
    for (int j = 0; j < 3; ++j) icc::StoreBE32(head.data() + 132 + 12 * i + 4 * j, rows[i][j]);

  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = Put(f, head.data(), head.size());
  // The lookup table: its type, then bytes that do not compress to nothing.
  std::vector<uint8_t> chunk(1 << 20);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = uint8_t(i * 131 + (i >> 9));
  std::memcpy(chunk.data(), "mft2", 4);
  for (uint64_t left = lut; ok && left != 0;) {
    const std::size_t n = std::size_t(std::min<uint64_t>(left, chunk.size()));
    ok = Put(f, chunk.data(), n);
    left -= n;
    chunk[0] = chunk[1] = chunk[2] = chunk[3] = 0x11;
  }
  const uint8_t zeros[4] = {};
  uint8_t wtpt[20] = {'X', 'Y', 'Z', ' '};
  ok = ok && Put(f, desc.data(), desc.size()) &&
       Put(f, zeros, icc::Pad4(uint32_t(desc.size())) - desc.size()) && Put(f, wtpt, 20);
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

bool MakeIdProfile(const std::string& path, uint64_t size, bool sparse) {
  if (FileLength(path) == size) return true;
  if (!MakeProfile(path, sparse ? 1024 : size)) return false;
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (!f) return false;
  uint8_t header[icc::kHeaderSize];
  bool ok = std::fread(header, 1, sizeof header, f) == sizeof header;
  header[8] = 4;
  header[9] = 0x30;
  if (sparse) icc::StoreBE32(header, uint32_t(size));
  uint8_t zeroed[icc::kHeaderSize];
  std::copy_n(header, sizeof header, zeroed);
  icc::ZeroProfileIdFields(zeroed);
  icc::Md5 md5;
  md5.Update(zeroed, sizeof zeroed);
  std::vector<uint8_t> chunk(1 << 20);
  for (std::size_t n; ok && (n = std::fread(chunk.data(), 1, chunk.size(), f)) != 0;) md5.Update(chunk.data(), n);
  md5.Final(header + icc::kProfileIdOffset);
  ok = ok && std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, f) == sizeof header;
  ok = std::fclose(f) == 0 && ok;
  if (ok && sparse) {
    std::error_code error;
    std::filesystem::resize_file(path, size, error);
    ok = !error;
  }
  return ok;
}

bool MakeMatrixProfile(const std::string& matrix, const std::string& path, uint32_t filler) {
  if (FileLength(path) != 0) return true;
  try {
    std::vector<testing_icc::Tag> tags;
    if (filler) tags.push_back({"zzzz", std::vector<uint8_t>(filler, 0x5A)});
    for (auto& [signature, bytes] : testing_icc::TagsOf(testing_icc::FileBytes(matrix)))
      if (signature != "desc" && signature != "cprt" && signature != "dmnd" && signature != "dmdd")
        tags.push_back({signature, bytes});
    testing_icc::WriteFileBytes(path, testing_icc::BuildProfile(tags));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool PrepareMatrixProfiles(const std::string& dir, char separator, const std::string& matrix,
                           std::string* small, std::string* big) {
  *big = dir + separator + "matrix-100m.icc";
  if (small) {
    *small = dir + separator + "matrix-small.icc";
    if (!MakeMatrixProfile(matrix, *small, 0)) return false;
  }
  return MakeMatrixProfile(matrix, *big, 100u << 20);
}

std::vector<Input> PrepareInputs(const std::string& dir, char separator,
                                 const char* machine_profile) {
  std::vector<Input> inputs = {{"1 KB", dir + separator + "1k.icc", 1024}};
  if (machine_profile) inputs.push_back({"ITULab.icc", machine_profile, 0});
  inputs.push_back({"10 MB", dir + separator + "10m.icc", 10u << 20});
  inputs.push_back({"100 MB", dir + separator + "100m.icc", 100u << 20});
  for (const Input& in : inputs)
    if (in.size && !MakeProfile(in.path, in.size)) {
      std::fprintf(stderr, "cannot write %s\n", in.path.c_str());
      return {};
    }
  return inputs;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t m = values.size() / 2;
  return values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
}

std::string FormatTime(double seconds) {
  char text[32];
  if (seconds < 0) return "failed";
  if (seconds < 1e-3) std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
  else if (seconds < 1) std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  else std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string FormatSize(uint64_t bytes) {
  char text[32];
  if (bytes < 10 * 1024) std::snprintf(text, sizeof text, "%llu B", (unsigned long long)bytes);
  else if (bytes < 10ull << 20) std::snprintf(text, sizeof text, "%.0f KB", bytes / 1024.0);
  else std::snprintf(text, sizeof text, "%.0f MB", bytes / 1048576.0);
  return text;
}

std::string Ratio(double numerator, double denominator) {
  if (numerator <= 0 || denominator <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", numerator / denominator);
  return text;
}

void Table::Print() const {
  std::vector<std::size_t> width;
  for (const auto& row : rows_)
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (width.size() <= i) width.push_back(0);
      width[i] = std::max(width[i], row[i].size());
    }
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    std::string line;
    for (std::size_t i = 0; i < rows_[r].size(); ++i) {
      const std::string& cell = rows_[r][i];
      const std::string pad(width[i] - cell.size(), ' ');
      line += i == 0 ? cell + pad : "  " + pad + cell;
    }
    std::printf("%s\n", line.c_str());
    if (r == 0) std::printf("%s\n", std::string(line.size(), '-').c_str());
  }
  std::fflush(stdout);
}

std::vector<IdProfile> MakeIdProfiles(const std::string& dir, bool with_100_mb) {
  const uint64_t bound = icc::kMaxWholeReadBytes, sparse = 2048ull << 20;
  std::vector<IdProfile> rows = {{"at the bound", dir + "\\id-bound.icc", bound},
                                 {"bound + 4 B", dir + "\\id-bound+4.icc", bound + 4}};
  if (with_100_mb) rows.push_back({"100 MB", dir + "\\id-100m.icc", 100u << 20});
  rows.push_back({"2 GB, sparse", dir + "\\id-2g.icc", sparse});
  for (const IdProfile& row : rows)
    if (!MakeIdProfile(row.path, row.size, row.size == sparse)) {
      std::fprintf(stderr, "cannot write %s\n", row.path.c_str());
      return {};
    }
  return rows;
}

}  // namespace bench
