#include "profile_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "icc_profile.h"

namespace testing_icc {

std::vector<uint8_t> BuildProfile(const std::vector<Tag>& tags, uint32_t length) {
  std::vector<uint8_t> file(icc::kTagTableStart + tags.size() * icc::kTagEntrySize);
  uint32_t next = uint32_t(file.size());
  struct Placed { uint32_t offset, size; };
  std::vector<Placed> placed;
  for (const Tag& t : tags) {
    const uint32_t offset = t.offset ? t.offset : icc::Pad4(next);
    const uint32_t size = t.size ? t.size : uint32_t(t.bytes.size());
    if (file.size() < offset + t.bytes.size()) file.resize(offset + t.bytes.size());
    std::copy(t.bytes.begin(), t.bytes.end(), file.begin() + offset);
    placed.push_back({offset, size});
    if (offset + size > next) next = offset + size;
  }
  file.resize(length ? length : icc::Pad4(uint32_t(file.size())));
  icc::StoreBE32(file.data(), uint32_t(file.size()));
  icc::StoreBE32(file.data() + 8, 0x02100000);
  icc::StoreBE32(file.data() + 12, icc::Signature("mntr"));
  icc::StoreBE32(file.data() + 16, icc::Signature("RGB "));
  icc::StoreBE32(file.data() + 20, icc::Signature("XYZ "));
  icc::StoreBE32(file.data() + 36, icc::Signature("acsp"));
  icc::StoreBE32(file.data() + 128, uint32_t(tags.size()));
  for (std::size_t i = 0; i < tags.size(); ++i) {
    uint8_t* row = file.data() + icc::kTagTableStart + i * icc::kTagEntrySize;
    const std::string& s = tags[i].signature;
    icc::StoreBE32(row, (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
                            (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3])));
    icc::StoreBE32(row + 4, placed[i].offset);
    icc::StoreBE32(row + 8, placed[i].size);
  }
  return file;
}

std::vector<uint8_t> LutProfile(int inputs, int grid, int declared) {
  std::size_t points = 1;
  for (int i = 0; i < inputs; ++i) points *= std::size_t(grid);
  std::vector<uint8_t> lut = Bytes("mft2");
  lut.resize(52 + std::size_t(inputs) * 4 + points * 6 + 12);
  lut[8] = uint8_t(inputs);
  lut[9] = 3;
  lut[10] = uint8_t(declared ? declared : grid);
  for (int i = 0; i < 3; ++i) icc::StoreBE32(&lut[12 + 16 * std::size_t(i)], 0x10000);
  lut[49] = lut[51] = 2;  // two-entry input and output tables: identity
  uint8_t* p = &lut[52];
  auto put16 = [&](unsigned v) { *p++ = uint8_t(v >> 8); *p++ = uint8_t(v); };
  for (int i = 0; i < inputs; ++i) put16(0), put16(0xFFFF);
  for (std::size_t k = 0; k < points; ++k) {
    std::size_t rest = k;
    unsigned coordinate[3] = {};
    for (int i = inputs; i-- > 0; rest /= std::size_t(grid))
      if (i < 3) coordinate[i] = unsigned(rest % std::size_t(grid));
    for (unsigned c : coordinate) put16(0x1000 + c * 0x6000 / unsigned(grid - 1));
  }
  for (int o = 0; o < 3; ++o) put16(0), put16(0xFFFF);
  std::vector<uint8_t> file = BuildProfile({{"A2B0", lut}});
  static const char* const kSpaces = "23456789ABCDEF";
  const uint32_t space = inputs == 4 ? icc::Signature("CMYK")
                                     : (uint32_t(uint8_t(kSpaces[inputs - 2])) << 24) | 0x434C52;
  icc::StoreBE32(file.data() + 8, 0x02400000);
  icc::StoreBE32(file.data() + 12, icc::Signature("prtr"));
  icc::StoreBE32(file.data() + 16, space);
  return file;
}

namespace {

void Put32(std::vector<uint8_t>* v, uint32_t n) {
  v->resize(v->size() + 4);
  icc::StoreBE32(v->data() + v->size() - 4, n);
}
void PutFixed(std::vector<uint8_t>* v, double d) { Put32(v, uint32_t(int32_t(std::lround(d * 65536)))); }

// A media white point of D50 and a description, for the profiles below.
std::vector<Tag> BasicTags() {
  std::vector<uint8_t> wtpt = Bytes("XYZ "), desc = Bytes("mluc");
  Put32(&wtpt, 0);
  for (double d : {0.9642, 1.0, 0.8249}) PutFixed(&wtpt, d);
  for (uint32_t n : {0u, 1u, 12u, icc::Signature("enUS"), 2u, 28u}) Put32(&desc, n);
  desc.insert(desc.end(), {0, 'p'});
  return {{"desc", desc}, {"wtpt", wtpt}};
}

}  // namespace

std::vector<uint8_t> CurveMatrixProfile(bool ycc) {
  // To XYZ in the table's encoding, where 1.0 stands for 2.
  static const double kRgb[12] = {0.218, 0.1925, 0.0715, 0.1113, 0.3584, 0.0303,
                                  0.007, 0.0486, 0.3571, 0, 0, 0};
  static const double kYcc[12] = {0.4821, 0.0605, 0.1682, 0.5, -0.0696, -0.1,
                                  0.4126, 0.616, -0.0249, -0.1144, 0.0848, -0.2956};
  const double gamma = ycc ? 1 : 2.2;
  std::vector<uint8_t> lut = Bytes("mAB ");
  Put32(&lut, 0);
  lut.insert(lut.end(), {3, 3, 0, 0});
  for (uint32_t offset : {32u, 80u, 128u, 0u, 0u}) Put32(&lut, offset);  // B, matrix, M
  for (int i = 0; i < 3; ++i)  // two-entry tables: identity, XYZ kept within its encoding
    Put32(&lut, icc::Signature("curv")), Put32(&lut, 0), Put32(&lut, 2), Put32(&lut, 0xFFFF);
  for (double d : ycc ? kYcc : kRgb) PutFixed(&lut, d);
  for (int i = 0; i < 3; ++i) {
    if (i) lut.insert(lut.end(), {0, 0});
    Put32(&lut, icc::Signature("curv")), Put32(&lut, 0), Put32(&lut, 1);
    const long g = std::lround(gamma * 256);
    lut.insert(lut.end(), {uint8_t(g >> 8), uint8_t(g)});
  }
  std::vector<Tag> tags = BasicTags();
  tags.push_back({"A2B0", lut});
  std::vector<uint8_t> file = BuildProfile(tags);
  icc::StoreBE32(file.data() + 8, 0x04300000);
  icc::StoreBE32(file.data() + 16, ycc ? icc::Signature("YCbr") : icc::Signature("RGB "));
  return file;
}

std::vector<uint8_t> Version5Profile() {
  std::vector<uint8_t> mpet = Bytes("mpet");
  Put32(&mpet, 0);
  for (uint32_t n : {0x00030003u, 1u, 24u, 60u}) Put32(&mpet, n);  // channels, 1 element at 24
  const std::vector<uint8_t> matf = Bytes("matf");
  mpet.insert(mpet.end(), matf.begin(), matf.end());
  Put32(&mpet, 0);
  Put32(&mpet, 0x00030003u);
  for (int i = 0; i < 12; ++i) {
    const float f = i < 9 && i % 4 == 0 ? 1.0f : 0.0f;
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Put32(&mpet, bits);
  }
  std::vector<Tag> tags = BasicTags();
  tags.push_back({"A2B1", mpet});
  std::vector<uint8_t> file = BuildProfile(tags);
  icc::StoreBE32(file.data() + 8, 0x05000000);
  return file;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Pattern(std::size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (std::size_t i = 0; i < size; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

std::vector<uint8_t> DescTag(const std::string& ascii, bool unicode) {
  const uint32_t n = uint32_t(ascii.size() + 1);
  const uint32_t u = unicode ? 2 * n : 0;
  std::vector<uint8_t> tag(90 + n + u);
  std::copy_n("desc", 4, tag.begin());
  icc::StoreBE32(tag.data() + 8, n);
  std::copy(ascii.begin(), ascii.end(), tag.begin() + 12);
  if (unicode) {
    icc::StoreBE32(tag.data() + 16 + n, n);
    for (uint32_t i = 0; i < ascii.size(); ++i) tag[20 + n + 2 * i + 1] = uint8_t(ascii[i]);
  }
  const uint32_t count = n < 67 ? n : 67;
  tag[22 + n + u] = uint8_t(count);
  std::copy_n(ascii.begin(), count - 1, tag.begin() + 23 + n + u);
  return tag;
}

std::map<std::string, std::vector<uint8_t>> TagsOf(const std::vector<uint8_t>& file) {
  if (file.size() < icc::kTagTableStart) throw std::runtime_error("no tag table");
  const uint32_t count = icc::LoadBE32(file.data() + icc::kHeaderSize);
  if (icc::kTagTableStart + uint64_t(count) * icc::kTagEntrySize > file.size())
    throw std::runtime_error("tag table past the end");
  std::map<std::string, std::vector<uint8_t>> tags;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* row = file.data() + icc::kTagTableStart + icc::kTagEntrySize * i;
    const uint32_t offset = icc::LoadBE32(row + 4), size = icc::LoadBE32(row + 8);
    if (uint64_t(offset) + size > file.size()) throw std::runtime_error("tag past the end");
    tags[std::string(reinterpret_cast<const char*>(row), 4)] =
        std::vector<uint8_t>(file.begin() + offset, file.begin() + offset + size);
  }
  return tags;
}

icc::Result MemoryFile::ReadAt(uint64_t offset, void* buffer, std::size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return icc::Result::Io(5);
  std::memcpy(buffer, bytes_.data() + offset, count);
  if (bytes_read_) *bytes_read_ += count;
  return {};
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace testing_icc
