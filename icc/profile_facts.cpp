#include "profile_facts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace icc {
namespace {

constexpr uint32_t kXyzType = Signature("XYZ ");

// Robertson's isotemperature lines: reciprocal megakelvin, CIE 1960 u, v, and the slope.
struct Isotherm {
  double mired, u, v, t;
};
constexpr Isotherm kIsotherms[] = {
    {0, 0.18006, 0.26352, -0.24341},   {10, 0.18066, 0.26589, -0.25479},
    {20, 0.18133, 0.26846, -0.26876},  {30, 0.18208, 0.27119, -0.28539},
    {40, 0.18293, 0.27407, -0.30470},  {50, 0.18388, 0.27709, -0.32675},
    {60, 0.18494, 0.28021, -0.35156},  {70, 0.18611, 0.28342, -0.37915},
    {80, 0.18740, 0.28668, -0.40955},  {90, 0.18880, 0.28997, -0.44278},
    {100, 0.19032, 0.29326, -0.47888}, {125, 0.19462, 0.30141, -0.58204},
    {150, 0.19962, 0.30921, -0.70471}, {175, 0.20525, 0.31647, -0.84901},
    {200, 0.21142, 0.32312, -1.0182},  {225, 0.21807, 0.32909, -1.2168},
    {250, 0.22511, 0.33439, -1.4512},  {275, 0.23247, 0.33904, -1.7298},
    {300, 0.24010, 0.34308, -2.0637},  {325, 0.24792, 0.34655, -2.4681},
    {350, 0.25591, 0.34951, -2.9641},  {375, 0.26400, 0.35200, -3.5814},
    {400, 0.27218, 0.35407, -4.3633},  {425, 0.28039, 0.35577, -5.3762},
    {450, 0.28863, 0.35714, -6.7262},  {475, 0.29685, 0.35823, -8.5955},
    {500, 0.30505, 0.35907, -11.324},  {525, 0.31320, 0.35968, -15.628},
    {550, 0.32129, 0.36011, -23.325},  {575, 0.32931, 0.36038, -40.770},
    {600, 0.33724, 0.36051, -116.45},
};

}  // namespace

Result ReadTagTable(Profile& profile, std::vector<TagRow>* rows) {
  rows->clear();
  const std::vector<TagEntry>& entries = profile.Entries();
  for (const TagEntry& e : entries) {
    TagRow row{e.signature, 0, e.offset, e.size, false};
    // Read through the row's own offset: GetTag would find a repeated signature's first row.
    uint8_t head[4] = {};
    if (e.size >= 4) {
      const Result r = profile.ReadStored(e.offset, head, sizeof head);
      if (!r.ok()) return r;
      row.type = LoadBE32(head);
    }
    rows->push_back(row);
  }
  // Rows sharing bytes, in file order (an empty row before the others at its offset): each
  // row against the one reaching furthest before it, which then shares too.  A table is as
  // long as its count says, so no pair of rows is tried.
  std::vector<std::size_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const TagEntry &x = entries[a], &y = entries[b];
    return x.offset != y.offset ? x.offset < y.offset : x.size == 0 && y.size != 0;
  });
  const std::size_t none = entries.size();
  std::size_t widest = none;
  uint64_t reach = 0;
  for (const std::size_t i : order) {
    const TagEntry& e = entries[i];
    if (widest != none && e.offset < reach) (*rows)[i].shared = (*rows)[widest].shared = true;
    if (e.size != 0 && (widest == none || uint64_t(e.offset) + e.size > reach)) {
      reach = uint64_t(e.offset) + e.size;
      widest = i;
    }
  }
  return {};
}

Result ReadXyzTag(Profile& profile, uint32_t signature, Xyz* xyz) {
  uint8_t tag[20];
  uint32_t count = sizeof tag;
  Result r = profile.GetTag(signature, 0, &count, tag, nullptr);
  if (!r.ok()) return r;
  if (count < sizeof tag || LoadBE32(tag) != kXyzType) return {Status::InvalidProfile, 0};
  *xyz = {LoadS15Fixed16(tag + 8), LoadS15Fixed16(tag + 12), LoadS15Fixed16(tag + 16)};
  return {};
}

bool Chromaticity(const Xyz& xyz, double* x, double* y) {
  const double sum = xyz.X + xyz.Y + xyz.Z;
  if (!(sum > 0) || !std::isfinite(sum)) return false;
  *x = xyz.X / sum;
  *y = xyz.Y / sum;
  return true;
}

double CorrelatedColourTemperature(double x, double y) {
  const double d = -2 * x + 12 * y + 3;
  if (!(std::fabs(d) > 1e-12)) return 0;
  const double u = 4 * x / d, v = 6 * y / d;
  double previous = 0;
  for (std::size_t i = 0; i < sizeof kIsotherms / sizeof kIsotherms[0]; ++i) {
    const Isotherm& line = kIsotherms[i];
    // Signed distance of (u, v) from the isotemperature line.
    const double distance = ((v - line.v) - line.t * (u - line.u)) / std::sqrt(1 + line.t * line.t);
    if (i > 0 && (distance == 0 || (distance < 0) != (previous < 0))) {
      const Isotherm& before = kIsotherms[i - 1];
      const double mired =
          before.mired + (line.mired - before.mired) * previous / (previous - distance);
      return mired > 0 ? 1e6 / mired : 0;
    }
    previous = distance;
  }
  return 0;
}

std::string SignatureText(uint32_t signature) {
  if (signature == 0) return "none";
  char text[11];
  for (int i = 0; i < 4; ++i) {
    const unsigned c = (signature >> (24 - 8 * i)) & 0xFF;
    if (c < 0x20 || c > 0x7E) {
      std::snprintf(text, sizeof text, "0x%08X", unsigned(signature));
      return text;
    }
    text[i] = char(c);
  }
  return std::string(text, 4);
}

}  // namespace icc
