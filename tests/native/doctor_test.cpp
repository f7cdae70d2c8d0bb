// The profile doctor over a corpus of damaged profiles made from installed ones, one fault
// each.  Each fault must be found at its tag or header field; each repairable one must be
// repaired, after which Little CMS opens the profile, the fault is gone and every other tag
// keeps its bytes.  The damaged and repaired files are left in doctor-corpus/ beside the
// test, for bench/doctor to show the reference validator's view of them.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <set>

#include "description.h"
#include "doctor.h"
#include "localized_text.h"
#include "profile_builder.h"
#include "profile_names.h"

using namespace testing_icc;

namespace {

const char kV2[] = "/usr/share/color/argyll/ref/ClayRGB1998.icm";  // gamma TRCs, 'text' cprt
const char kV2Table[] = "/usr/share/color/icc/sRGB.icc";            // 1024-entry TRCs
const char kV4[] = "/usr/share/color/icc/colord/sRGB.icc";          // with a profile ID

using Bytes = std::vector<uint8_t>;

// The table row of `tag`: its offset in the file of the row.
std::size_t Row(const Bytes& b, const char* tag) {
  const uint32_t count = icc::LoadBE32(&b[128]);
  for (uint32_t i = 0; i < count; ++i)
    if (icc::LoadBE32(&b[132 + 12 * i]) == icc::LoadBE32(reinterpret_cast<const uint8_t*>(tag)))
      return 132 + 12 * i;
  ADD_FAILURE() << "no " << tag;
  return 132;
}
uint32_t At(const Bytes& b, const char* tag) { return icc::LoadBE32(&b[Row(b, tag) + 4]); }
uint32_t SizeOf(const Bytes& b, const char* tag) { return icc::LoadBE32(&b[Row(b, tag) + 8]); }
void Put32(Bytes& b, std::size_t at, uint32_t v) { icc::StoreBE32(&b[at], v); }

// Gives `tag` new bytes (adding it) through the container, as an editor would.
void SetTag(Bytes& b, const char* tag, const Bytes& bytes) {
  std::unique_ptr<icc::Profile> p;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(b), &p).ok());
  ASSERT_TRUE(icc::ProfileTags(*p).ReplaceTag(icc::LoadBE32(reinterpret_cast<const uint8_t*>(tag)), bytes).ok());
  MemorySink sink;
  ASSERT_TRUE(p->WriteTo(sink).ok());
  b = sink.bytes;
}

Bytes Xyz(double x, double y, double z) {
  Bytes t = {'X', 'Y', 'Z', ' ', 0, 0, 0, 0};
  t.resize(20);
  for (int i = 0; i < 3; ++i) icc::StoreBE32(&t[8 + 4 * i], uint32_t(int32_t((i == 0 ? x : i == 1 ? y : z) * 65536)));
  return t;
}

Bytes Mluc(const std::u16string& text) {
  return icc::BuildLocalizedText({icc::LocalizedRecord("en", "US", text)});
}

// Adds `extra` rows (P000, P001, ...) on the bytes of `tag`: the data moves up behind them.
void AddRows(Bytes& b, const char* tag, uint32_t extra) {
  const uint32_t count = icc::LoadBE32(&b[128]), at = At(b, tag), size = SizeOf(b, tag);
  for (uint32_t i = 0; i < count; ++i) Put32(b, 136 + 12 * i, icc::LoadBE32(&b[136 + 12 * i]) + 12 * extra);
  Bytes rows(12 * std::size_t(extra));
  for (uint32_t i = 0; i < extra; ++i) {
    const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    const uint8_t name[4] = {uint8_t('P' + i / 46656), uint8_t(digits[i / 1296 % 36]),
                             uint8_t(digits[i / 36 % 36]), uint8_t(digits[i % 36])};
    Put32(rows, 12 * i, icc::LoadBE32(name));
    Put32(rows, 12 * i + 4, at + 12 * extra);
    Put32(rows, 12 * i + 8, size);
  }
  b.insert(b.begin() + 132 + 12 * count, rows.begin(), rows.end());
  Put32(b, 128, count + extra);
  Put32(b, 0, uint32_t(b.size()));
}

struct Fault {
  const char* name;
  const char* source;
  std::function<void(Bytes&)> damage;
  const char* code;
  const char* tag;  // nullptr: the header or the whole profile
  int64_t offset;   // -2: any
  const char* instead = nullptr;  // "code" or "code TAG": what must not be said of it
};

// Every check of the doctor, one fault each.
const std::vector<Fault>& Faults() {
  static const std::vector<Fault> faults = {
      {"size-too-large", kV2, [](Bytes& b) { Put32(b, 0, uint32_t(b.size() + 100)); }, "size-field", nullptr, 0},
      {"not-acsp", kV2, [](Bytes& b) { b[39] = 'x'; }, "not-a-profile", nullptr, 36},
      {"version-7", kV2, [](Bytes& b) { b[8] = 7; }, "version", nullptr, 8},
      {"class", kV2, [](Bytes& b) { std::memcpy(&b[12], "xxxx", 4); }, "device-class", nullptr, 12},
      {"space", kV2, [](Bytes& b) { std::memcpy(&b[16], "QQQ ", 4); }, "colour-space", nullptr, 16},
      {"pcs", kV2, [](Bytes& b) { std::memcpy(&b[20], "RGB ", 4); }, "connection-space", nullptr, 20},
      {"abstract-rgb", kV2, [](Bytes& b) { std::memcpy(&b[12], "abst", 4); }, "class-spaces", nullptr, 16},
      {"intent", kV2, [](Bytes& b) { Put32(b, 64, 7); }, "intent", nullptr, 64},
      {"date", kV2, [](Bytes& b) { b[27] = 13; }, "creation-date", nullptr, 24},
      {"illuminant", kV2, [](Bytes& b) { Put32(b, 68, 0x10000); }, "illuminant", nullptr, 68},
      {"flags", kV2, [](Bytes& b) { b[47] |= 4; }, "reserved-flags", nullptr, 44},
      {"reserved", kV2, [](Bytes& b) { b[110] = 1; }, "reserved-bytes", nullptr, 110},
      {"id-after-edit", kV4, [](Bytes& b) { b[At(b, "dmdd") + 40] ^= 1; }, "profile-id", nullptr, 84},
      {"tag-count", kV2, [](Bytes& b) { Put32(b, 128, 100000); }, "tag-count", nullptr, 128},
      {"tag-outside", kV2, [](Bytes& b) { Put32(b, Row(b, "bkpt") + 4, uint32_t(b.size())); }, "tag-outside", "bkpt", -2},
      {"tag-misaligned", kV2,
       [](Bytes& b) {  // the last tag two bytes further on
         const uint32_t at = At(b, "arts");
         b.insert(b.begin() + at, 2, 0);
         Put32(b, Row(b, "arts") + 4, at + 2);
         Put32(b, 0, uint32_t(b.size()));
       },
       "tag-alignment", "arts", -2},
      {"tag-overlap", kV2, [](Bytes& b) { Put32(b, Row(b, "bkpt") + 4, At(b, "wtpt") + 8); }, "tag-overlap", "bkpt", -2},
      {"tag-twice", kV2, [](Bytes& b) { std::memcpy(&b[Row(b, "bkpt")], "wtpt", 4); }, "tag-duplicate", "wtpt", -2},
      {"padding", kV2, [](Bytes& b) { b[At(b, "cprt") + SizeOf(b, "cprt")] = 0xAA; }, "padding", "cprt", -2},
      {"trailing", kV2,
       [](Bytes& b) {
         b.resize(b.size() + 16, 0x55);
         Put32(b, 0, uint32_t(b.size()));
       },
       "trailing-bytes", nullptr, -2},
      {"no-matrix", kV2, [](Bytes& b) { std::memcpy(&b[Row(b, "rXYZ")], "zzzz", 4); }, "required-tag", "rXYZ", -1,
       "required-tag A2B0"},
      {"cprt-as-sig", kV2, [](Bytes& b) { std::memcpy(&b[At(b, "cprt")], "sig ", 4); }, "tag-type", "cprt", -2},
      {"v4-text-cprt", kV4,
       [](Bytes& b) { SetTag(b, "cprt", {'t', 'e', 'x', 't', 0, 0, 0, 0, 'C', 0}); },
       "tag-type-version", "cprt", -2},
      {"v4-desc-record", kV4, [](Bytes& b) { SetTag(b, "desc", DescTag("sRGB", false)); }, "desc-type", "desc", -2},
      {"v2-desc-mluc", kV2, [](Bytes& b) { SetTag(b, "desc", Mluc(u"Clay RGB \u00e9")); }, "desc-type", "desc", -2},
      {"tag-reserved", kV2, [](Bytes& b) { b[At(b, "wtpt") + 7] = 1; }, "tag-reserved", "wtpt", -2},
      {"curve-count", kV2Table, [](Bytes& b) { Put32(b, At(b, "rTRC") + 8, 0x10000); }, "tag-structure", "rTRC", -2},
      {"cprt-no-zero", kV2, [](Bytes& b) { b[At(b, "cprt") + SizeOf(b, "cprt") - 1] = 'x'; }, "text-terminator", "cprt", -2},
      {"scriptcode-cut", kV2,
       [](Bytes& b) {  // a ScriptCode of 14 bytes, its field cut after them
         Bytes desc(b.begin() + At(b, "desc"), b.begin() + At(b, "desc") + SizeOf(b, "desc"));
         const uint32_t ascii = icc::LoadBE32(&desc[8]);
         const std::size_t script = 20 + ascii + 2 * icc::LoadBE32(&desc[16 + ascii]);
         desc[script + 2] = 14;
         desc.resize(script + 3 + 14, 'x');
         SetTag(b, "desc", desc);
       },
       "scriptcode", "desc", -2},
      {"dscm-stale", kV2, [](Bytes& b) { SetTag(b, "dscm", Mluc(u"An old name")); }, "dscm-mismatch", "dscm", -2},
      {"white-point", kV2, [](Bytes& b) { SetTag(b, "wtpt", Xyz(0.5, 1.0, 0.2)); }, "white-point", "wtpt", -2},
      {"colorant-sum", kV2, [](Bytes& b) { b[At(b, "rXYZ") + 9] += 0x30; }, "colorant-sum", "rXYZ", -2},
      {"colorant-negative", kV2, [](Bytes& b) { SetTag(b, "gXYZ", Xyz(0.2, 0.7, -0.05)); }, "colorant-range", "gXYZ", -2},
      {"curve-dip", kV2Table, [](Bytes& b) { Put32(b, At(b, "rTRC") + 12 + 2 * 600, 0x10001000); }, "curve-monotonic", "rTRC", -2},
      {"curve-half", kV2Table,
       [](Bytes& b) {
         for (uint32_t i = 0, at = At(b, "gTRC") + 12; i < 1024; ++i, at += 2) {
           const uint16_t v = uint16_t(((b[at] << 8) | b[at + 1]) / 2);
           b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v);
         }
       },
       "curve-range", "gTRC", -2},
      {"vcgt-dip", kV2,
       [](Bytes& b) {
         Bytes vcgt = {'v', 'c', 'g', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 4, 0, 2};
         for (int c = 0; c < 3; ++c)
           for (uint16_t v : {0, 40000, 20000, 65535}) vcgt.insert(vcgt.end(), {uint8_t(v >> 8), uint8_t(v)});
         SetTag(b, "vcgt", vcgt);
       },
       "vcgt-monotonic", "vcgt", -2},
      {"gray-tinted", kV2, [](Bytes& b) { b[At(b, "rTRC") + 12] = 1, b[At(b, "rTRC") + 13] = 0; }, "gray-axis", nullptr, -1},
      {"gray-falls", kV2Table,
       [](Bytes& b) {
         for (const char* trc : {"rTRC", "gTRC", "bTRC"}) Put32(b, At(b, trc) + 12 + 2 * 800, 0x10001000);
       },
       "gray-monotonic", nullptr, -1},
      // Once found nowhere.
      {"v2-id-bytes", kV2, [](Bytes& b) { b[90] = 1; }, "reserved-bytes", nullptr, 90},
      {"lone-surrogate", kV2,
       [](Bytes& b) {
         Bytes desc = DescTag("Clay", true);
         desc[20 + 5] = 0xD8;  // the first character half of a pair, the next no other half
         SetTag(b, "desc", desc);
       },
       "text-encoding", "desc", -2},
      {"desc-no-record", kV4, [](Bytes& b) { SetTag(b, "desc", icc::BuildLocalizedText({})); }, "empty-text", "desc", -2},
      {"red-blue-swapped", kV2,
       [](Bytes& b) {
         Bytes red(b.begin() + Row(b, "rXYZ") + 4, b.begin() + Row(b, "rXYZ") + 12);
         std::copy_n(b.begin() + Row(b, "bXYZ") + 4, 8, b.begin() + Row(b, "rXYZ") + 4);
         std::copy(red.begin(), red.end(), b.begin() + Row(b, "bXYZ") + 4);
       },
       "colorant-order", "rXYZ", -2},
      {"illuminant-off", kV2, [](Bytes& b) { Put32(b, 68, 63157), Put32(b, 76, 54008); }, "illuminant", nullptr, 68},
      {"version-0", kV2, [](Bytes& b) { Put32(b, 8, 0); }, "version", nullptr, 8},
      {"pcs-none", kV2, [](Bytes& b) { Put32(b, 20, 0); }, "connection-space", nullptr, 20},
      // Once found at the wrong place, or said to be something else.
      {"cut-last-tag", kV2, [](Bytes& b) { b.resize(At(b, "arts") + 20); }, "tag-outside", "arts", -2,
       "trailing-bytes"},
      {"many-tags", kV2, [](Bytes& b) { AddRows(b, "cprt", 4097 - icc::LoadBE32(&b[128])); }, "lcms-refused", nullptr, -1,
       "required-tag"},
      {"no-tags", kV2, [](Bytes& b) { Put32(b, 128, 0); }, "no-tags", nullptr, 128, "required-tag"},
      {"rgb-says-cmyk", kV2, [](Bytes& b) { std::memcpy(&b[16], "CMYK", 4); }, "space-tags", nullptr, 16,
       "required-tag"},
      {"v4-no-bTRC", kV4, [](Bytes& b) { std::memcpy(&b[Row(b, "bTRC")], "zzzz", 4); }, "required-tag", "bTRC", -1,
       "required-tag A2B0"},
      {"para-negative-gamma", kV4, [](Bytes& b) { Put32(b, At(b, "rTRC") + 12, uint32_t(int32_t(-2.2 * 65536))); },
       "curve-monotonic", "rTRC", -2},
      {"green-black", kV2, [](Bytes& b) { SetTag(b, "gXYZ", Xyz(0, 0, 0)); }, "colorant-range", "gXYZ", -2,
       "colorant-sum"},
  };
  return faults;
}

const Fault& FaultNamed(const char* name) {
  return *std::find_if(Faults().begin(), Faults().end(),
                       [&](const Fault& x) { return std::string(x.name) == name; });
}

Bytes Damaged(const char* name) {
  const Fault& f = FaultNamed(name);
  Bytes b = FileBytes(f.source);
  f.damage(b);
  return b;
}

icc::CheckReport Checked(const Bytes& b) {
  MemoryFile file(b);
  icc::CheckReport report;
  EXPECT_TRUE(doctor::CheckProfile(file, &report).ok());
  return report;
}

const icc::Finding* FindingOf(const icc::CheckReport& report, const char* code) {
  for (const icc::Finding& f : report.findings)
    if (std::string(f.code) == code) return &f;
  return nullptr;
}

Bytes WriteOut(icc::Profile& p) {
  MemorySink sink;
  EXPECT_TRUE(p.WriteTo(sink).ok());
  return sink.bytes;
}

TEST(Doctor, InstalledSourcesHaveNoneOfTheirFaults) {
  for (const char* source : {kV2, kV2Table, kV4}) {
    MemoryFile file(FileBytes(source));
    icc::CheckReport report;
    ASSERT_TRUE(doctor::CheckProfile(file, &report).ok());
    EXPECT_EQ(report.Count(icc::Severity::Error), 0u) << source;
    for (const Fault& f : Faults())
      if (f.source == source && std::string(f.code) != "metadata-alignment")
        EXPECT_FALSE(report.Has(f.code)) << source << " already has " << f.code;
  }
}

TEST(Doctor, EachFaultIsFoundAndRepairedWhereItCanBe) {
  mkdir("doctor-corpus", 0755);
  for (const Fault& f : Faults()) {
    SCOPED_TRACE(f.name);
    Bytes damaged = FileBytes(f.source);
    f.damage(damaged);
    WriteFileBytes(std::string("doctor-corpus/") + f.name + ".icc", damaged);

    MemoryFile file(damaged);
    doctor::Repair repair;
    ASSERT_TRUE(doctor::RepairProfile(file, &repair).ok());
    const uint32_t tag = f.tag ? icc::LoadBE32(reinterpret_cast<const uint8_t*>(f.tag)) : 0;
    const auto found = std::find_if(repair.before.findings.begin(), repair.before.findings.end(),
                                    [&](const icc::Finding& x) { return std::string(x.code) == f.code; });
    ASSERT_NE(found, repair.before.findings.end()) << "not found";
    EXPECT_EQ(icc::TagName(found->tag), icc::TagName(tag));
    if (f.offset != -2) EXPECT_EQ(found->offset, f.offset);
    if (f.instead) {
      const std::string instead = f.instead, code = instead.substr(0, instead.find(' '));
      for (const icc::Finding& x : repair.before.findings)
        EXPECT_FALSE(x.code == code && (code == instead || icc::TagName(x.tag) == instead.substr(code.size() + 1)))
            << x.message;
    }

    const bool repaired = std::count(repair.repaired.begin(), repair.repaired.end(), f.code) != 0;
    EXPECT_EQ(repaired, doctor::Repairable(*found));
    if (!repaired) {  // left, and, unless a note, listed with its reason
      EXPECT_TRUE(repair.after.Has(f.code));
      EXPECT_EQ(found->severity == icc::Severity::Note,
                std::none_of(repair.not_repaired.begin(), repair.not_repaired.end(),
                             [&](const icc::Finding& x) { return std::string(x.code) == f.code; }));
      continue;
    }
    ASSERT_TRUE(repair.profile);
    const Bytes fixed = WriteOut(*repair.profile);
    WriteFileBytes(std::string("doctor-corpus/") + f.name + ".fixed.icc", fixed);
    EXPECT_FALSE(repair.after.Has(f.code));
    EXPECT_EQ(repair.after.Count(icc::Severity::Error), 0u);
    cmsHPROFILE h = cmsOpenProfileFromMem(fixed.data(), cmsUInt32Number(fixed.size()));
    EXPECT_TRUE(h != nullptr);
    if (h) cmsCloseProfile(h);

    // Every tag but the repaired one keeps its bytes.
    std::set<std::string> changed;
    if (std::string(f.code) == "desc-type" || std::string(f.code) == "scriptcode") changed = {"desc"};
    const auto before = TagsOf(damaged), after = TagsOf(fixed);
    EXPECT_EQ(before.size(), after.size());
    for (const auto& t : before)
      if (!changed.count(t.first)) EXPECT_EQ(t.second, after.at(t.first)) << t.first;
  }
}

TEST(Doctor, RepairsKeepTheMeaning) {
  // A version 4 description record becomes localized records with the same text, and the
  // reverse keeps what ASCII cannot hold in the Unicode record.
  for (const char* name : {"v4-desc-record", "v2-desc-mluc"}) {
    const Bytes damaged = Damaged(name);
    MemoryFile file(damaged);
    doctor::Repair repair;
    ASSERT_TRUE(doctor::RepairProfile(file, &repair).ok());
    ASSERT_TRUE(repair.profile);
    icc::Description before, after;
    std::unique_ptr<icc::Profile> old;
    ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(damaged), &old).ok());
    ASSERT_TRUE(icc::ReadDescription(*old, {}, &before).ok());
    ASSERT_TRUE(icc::ReadDescription(*repair.profile, {}, &after).ok());
    EXPECT_EQ(icc::DescriptionText(before, icc::PortableCodePage()),
              icc::DescriptionText(after, icc::PortableCodePage())) << name;
    EXPECT_NE(before.kind, after.kind);
  }
  // A profile with nothing to repair gives no new file.
  MemoryFile sound(FileBytes(kV2));
  doctor::Repair none;
  ASSERT_TRUE(doctor::RepairProfile(sound, &none).ok());
  EXPECT_FALSE(none.profile);
  EXPECT_TRUE(none.repaired.empty());
}

// A new description, stored as every save stores it, adds no finding to any profile: not to
// the installed ones, nor to the damaged ones of the corpus that the container opens.
TEST(Doctor, ASaveNeverMakesAProfileWorse) {
  std::vector<Bytes> profiles;
  for (const char* folder : {"/usr/share/color/icc", "/usr/share/color/icc/colord", "/usr/share/color/argyll/ref"})
    if (DIR* dir = opendir(folder)) {
      while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > 4 && (name.find(".ic") == name.size() - 4 || name.find(".IC") == name.size() - 4))
          profiles.push_back(FileBytes(std::string(folder) + "/" + name));
      }
      closedir(dir);
    }
  for (const Fault& f : Faults()) {
    profiles.push_back(FileBytes(f.source));
    f.damage(profiles.back());
  }
  auto codes = [](const Bytes& b) {
    MemoryFile file(b);
    icc::CheckReport report;
    EXPECT_TRUE(doctor::CheckProfile(file, &report).ok());
    std::set<std::string> out;
    for (const icc::Finding& f : report.findings)
      if (f.severity != icc::Severity::Note) out.insert(f.code);
    return out;
  };
  int saved = 0;
  for (const Bytes& before : profiles) {
    std::unique_ptr<icc::Profile> p;
    icc::Description d;
    if (!icc::Profile::Open(std::make_unique<MemoryFile>(before), &p).ok() ||
        !icc::ReadDescription(*p, {}, &d).ok())
      continue;
    if (d.damage) continue;  // never written back
    ASSERT_TRUE(icc::SetDescriptionText(&d, u"Saved \u00e9", icc::PortableCodePage()));
    ASSERT_TRUE(icc::StoreDescription(*p, d).ok());
    const std::set<std::string> old_codes = codes(before), new_codes = codes(WriteOut(*p));
    for (const std::string& code : new_codes) EXPECT_TRUE(old_codes.count(code)) << code;
    ++saved;
  }
  EXPECT_GT(saved, 60);
}

// What fix leaves of a file: the findings after, and the file itself when nothing changed.
struct Fixed {
  doctor::Repair repair;
  Bytes bytes;
  // The finding of `code` left, with its reason in its words.
  std::string Left(const char* code) const {
    for (const icc::Finding& f : repair.after.findings)
      if (std::string(f.code) == code) return f.message;
    return "(repaired)";
  }
};
Fixed Fix(const Bytes& damaged) {
  Fixed out;
  MemoryFile file(damaged);
  EXPECT_TRUE(doctor::RepairProfile(file, &out.repair).ok());
  out.bytes = out.repair.profile ? WriteOut(*out.repair.profile) : damaged;
  return out;
}

// The size field, the padding, the bytes after the last tag and the tags' places are left,
// each saying why, while the table points into other data (tags overlapping, a row on bytes
// that are no tag) or a tag may own the bytes after it (cut short, or its text unended).
TEST(Doctor, LayoutIsLeftWhileTheTableOrATagIsInDoubt) {
  const Bytes lut = TagsOf(LutProfile(4, 5)).at("A2B0");
  Bytes chad = {'s', 'f', '3', '2'};  // nine numbers, of which the table row holds eight
  chad.resize(44);
  const Bytes info = testing_icc::Bytes(std::string("text\0\0\0\0A RIP's", 15));  // no zero
  const struct {
    Bytes file;
    const char* code;  // a finding of the layout
    const char* why;
  } cases[] = {
      {BuildProfile({{"A2B0", lut}, {"pr00", {}, 156 + 54, 40}}, 156 + uint32_t(lut.size()) + 8),
       "trailing-bytes", "the tag table is not right (the pr00 tag overlaps the A2B0 tag)"},
      {BuildProfile({{"A2B0", lut}, {"zzzz", Pattern(40, 1)}}, 156 + uint32_t(lut.size()) + 48),
       "trailing-bytes",
       "the tag table is not right (the zzzz tag does not start with a type signature)"},
      {BuildProfile({{"wtpt", Xyz(0.9642, 1, 0.8249)}, {"chad", chad, 0, 40}}),
       "trailing-bytes", "the chad tag is damaged, and the bytes after it may be its own"},
      {BuildProfile({{"wtpt", Xyz(0.9642, 1, 0.8249)}, {"Info", info, 0, 13}}),
       "padding", "the Info tag is damaged, and the bytes after it may be its own"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const Fixed fixed = Fix(c.file);
    EXPECT_EQ(fixed.bytes, c.file);
    EXPECT_TRUE(fixed.repair.repaired.empty());
    EXPECT_NE(fixed.Left(c.code).find(std::string("Not repaired: ") + c.why + "."),
              std::string::npos) << fixed.Left(c.code);
  }
}

// fix never rewrites a text: a localized name that says something other than the description
// is a note, kept; a conversion of the description to the other version's type that would
// lose a language or a translation is refused, saying why.
TEST(Doctor, FixNeverRewritesAText) {
  Bytes named = FileBytes(kV4);
  icc::CheckReport sound;
  MemoryFile source(named);
  ASSERT_TRUE(doctor::CheckProfile(source, &sound).ok());
  SetTag(named, "dscm", icc::BuildLocalizedText({icc::LocalizedRecord("en", "US", u"Color LCD"),
                                                 icc::LocalizedRecord("de", "DE", u"Farb-LCD")}));
  const Fixed name = Fix(named);
  EXPECT_EQ(name.bytes, named);
  EXPECT_EQ(icc::HealthText(name.repair.before), icc::HealthText(sound));
  EXPECT_NE(name.Left("dscm-mismatch"), "(repaired)");

  Bytes two = FileBytes(kV2);
  SetTag(two, "desc", icc::BuildLocalizedText({icc::LocalizedRecord("en", "US", u"Clay"),
                                               icc::LocalizedRecord("de", "DE", u"Ton")}));
  Bytes translated = FileBytes(kV4), record = DescTag("sRGB", true);
  record[20 + 5 + 3] = 'X';  // the Unicode record says "sXGB"
  SetTag(translated, "desc", record);
  Bytes unknown = FileBytes(kV2);
  unknown[8] = 7;
  const std::pair<Bytes, const char*> refused[] = {
      {two, "the description has 2 languages, and a version 2 description holds one"},
      {translated, "the description's Unicode text says something other than its ASCII text"},
      {unknown, "the profile's version does not tell which type"}};
  for (const auto& c : refused) {
    const Fixed fixed = Fix(c.first);
    EXPECT_EQ(fixed.bytes, c.first);
    EXPECT_NE(fixed.Left("desc-type").find(c.second), std::string::npos) << fixed.Left("desc-type");
  }
}

// A repair changes the bytes of its finding and no others: padding is zeroed where it lies,
// the bytes after the last tag are cut, and a misaligned tag gets zeros before it while the
// bytes before it, which are no tag's, stay.  A repair that would change another finding
// too (a new ID for a profile in error) is not made.
TEST(Doctor, ARepairChangesOnlyTheBytesOfItsFinding) {
  const Bytes clay = FileBytes(kV2);
  Bytes padded = clay, trailing = clay, shifted = clay;
  padded[At(clay, "cprt") + SizeOf(clay, "cprt")] = 0xAA;
  trailing.insert(trailing.end(), 16, 0x55);
  Put32(trailing, 0, uint32_t(trailing.size()));
  EXPECT_EQ(Fix(padded).bytes, clay);
  EXPECT_EQ(Fix(trailing).bytes, clay);

  const uint32_t arts = At(clay, "arts");
  shifted.insert(shifted.begin() + arts, {0x55, 0x66});
  Put32(shifted, Row(shifted, "arts") + 4, arts + 2);
  Put32(shifted, 0, uint32_t(shifted.size()));
  Bytes expected = shifted;
  expected.insert(expected.begin() + arts + 2, 2, 0);
  Put32(expected, Row(expected, "arts") + 4, arts + 4);
  Put32(expected, 0, uint32_t(expected.size()));
  EXPECT_EQ(Fix(shifted).bytes, expected);

  Bytes v4 = FileBytes(kV4);
  Put32(v4, 64, 7);                               // an error the ID does not cover
  v4[At(v4, "dmdd") + 40] ^= 1;                    // a wrong ID
  v4[At(v4, "meta") + SizeOf(v4, "meta")] = 0xAA;  // padding
  const Fixed held = Fix(v4);
  EXPECT_EQ(held.bytes, v4);
  EXPECT_NE(held.Left("padding").find("repairing it would also change profile-id"),
            std::string::npos) << held.Left("padding");
}

TEST(Doctor, HealthInAFewWords) {
  icc::CheckReport r;
  EXPECT_EQ(icc::HealthText(r), "Sound");
  r.Add(icc::Severity::Note, "platform", 0, 40, "");
  EXPECT_EQ(icc::HealthText(r), "Sound");
  r.Add(icc::Severity::Warning, "padding", 0, 40, "");
  r.Add(icc::Severity::Warning, "padding", 0, 40, "");
  EXPECT_EQ(icc::HealthText(r), "2 warnings");
  r.Add(icc::Severity::Error, "size-field", 0, 0, "");
  r.Add(icc::Severity::Error, "tag-overlap", 0, 0, "");
  EXPECT_EQ(icc::HealthText(r), "Wrong size field (+1 more error)");
  r.Add(icc::Severity::Error, "tag-overlap", 0, 0, "");
  EXPECT_EQ(icc::HealthText(r), "Wrong size field (+2 more errors)");
}

// Readers may refuse or misread a profile with an error; one with a warning is readable.
// Every version the format does not know is one rule.
TEST(Doctor, EachFaultHasItsSeverity) {
  using icc::Severity;
  const std::pair<const char*, Severity> cases[] = {
      {"version-0", Severity::Warning},     {"version-7", Severity::Warning},
      {"v2-id-bytes", Severity::Warning},   {"lone-surrogate", Severity::Warning},
      {"desc-no-record", Severity::Warning}, {"red-blue-swapped", Severity::Warning},
      {"illuminant-off", Severity::Warning}, {"para-negative-gamma", Severity::Warning},
      {"green-black", Severity::Warning},   {"cut-last-tag", Severity::Error},
      {"no-tags", Severity::Error},         {"rgb-says-cmyk", Severity::Error},
      {"v4-no-bTRC", Severity::Error},
  };
  for (const auto& c : cases) {
    const icc::CheckReport report = Checked(Damaged(c.first));
    const icc::Finding* f = FindingOf(report, FaultNamed(c.first).code);
    ASSERT_TRUE(f) << c.first;
    EXPECT_EQ(icc::SeverityName(f->severity), std::string(icc::SeverityName(c.second))) << c.first;
  }
}

// The words of a finding are the profile's own: its numbers, its signatures (quoted when
// they hold a space, "none" for zero), what a header claims, and plain grammar.
TEST(Doctor, FindingsInPlainWords) {
  Bytes lut = LutProfile(4, 5, 255);  // a grid of 255 points a side claims 25 GB
  Bytes one = LutProfile(4, 5);
  one[At(one, "A2B0") + 8] = 1;
  Bytes unknown = BuildProfile({{"desc", DescTag("x", true)}, {"wtpt", Xyz(0.9642, 1, 0.8249)}});
  std::memcpy(&unknown[12], "xxxx", 4);
  const struct {
    Bytes profile;
    const char* code;
    const char* words;
  } cases[] = {
      {Damaged("illuminant-off"), "illuminant",
       "The connection space illuminant is X 0.9637, Y 1, Z 0.8241, not D50."},
      {Damaged("pcs-none"), "connection-space", "The connection space is none, neither XYZ nor Lab."},
      {Damaged("cut-last-tag"), "tag-outside", "The arts tag (44 bytes at 596) is cut: the file ends 20 bytes into it."},
      {Damaged("curve-count"), "tag-structure", "it has 2060 bytes, too few for the curve's entries (131084 bytes)."},
      {Damaged("dscm-stale"), "dscm-mismatch", "says something other than the description."},
      {Damaged("cprt-as-sig"), "tag-type", "The cprt tag is of type 'sig ', which"},
      {lut, "tag-structure", "its tables claim 25369503830 bytes, the tag has"},
      {one, "tag-structure", "it maps 1 channel to 3 instead of 4 to 3."},
      {unknown, "required-tag", "Profiles must carry the tag cprt; this one has none."},
  };
  for (const auto& c : cases) {
    const icc::CheckReport report = Checked(c.profile);
    const icc::Finding* f = FindingOf(report, c.code);
    ASSERT_TRUE(f) << c.words;
    EXPECT_NE(f->message.find(c.words), std::string::npos) << f->message;
  }
  EXPECT_STREQ(icc::AnyColourSpaceName(icc::Signature("FCLR")), "Generic 15 channel");
}

// A version 5 profile is checked as far as its header, its tag table and the structures of
// the types this checker knows, and says so; nothing of version 2 or 4 is asked of it.
TEST(Doctor, Version5ProfilesAreProfiles) {
  const Bytes mpet = {'m', 'p', 'e', 't', 0, 0, 0, 0, 0, 3, 0, 3, 0, 0, 0, 0};
  const Bytes utf8 = testing_icc::Bytes(std::string("utf8\0\0\0\0ISO 22028-1", 19));
  Bytes encoding = BuildProfile({{"desc", Mluc(u"sRGB")}, {"rfnm", utf8}});
  Put32(encoding, 8, 0x05000000);
  std::memcpy(&encoding[12], "cenc", 4);
  Put32(encoding, 20, 0);  // no connection space; illuminant, date and the rest zero
  Bytes display = BuildProfile({{"desc", Mluc(u"sRGB")}, {"cprt", Mluc(u"No copyright")},
                                {"wtpt", Xyz(0.9642, 1, 0.8249)}, {"A2B1", mpet}});
  Put32(display, 8, 0x05000000);
  Put32(display, 68, 0xF6D6), Put32(display, 72, 0x10000), Put32(display, 76, 0xD32D);
  display[123] = 1;  // a device subclass
  for (const Bytes& v5 : {encoding, display}) {
    const icc::CheckReport report = Checked(v5);
    for (const icc::Finding& f : report.findings) EXPECT_EQ(f.severity, icc::Severity::Note) << f.message;
    const icc::Finding* note = FindingOf(report, "colour-not-checked");
    ASSERT_TRUE(note);
    EXPECT_EQ(note->message,
              "version 5 (iccMAX): header and tag table checked; its colour transforms are not read here");
  }
  Bytes v4 = encoding;
  v4[8] = 4;
  EXPECT_NE(FindingOf(Checked(v4), "device-class"), nullptr);
}

// A tag table is as long as its count says, within the file: a profile of 4,097 tags opens
// and has its description, and a table of every row the file can hold is checked and
// repaired (in linear time: a pairwise check of its 350,000 rows would meet the test's
// time-out).
TEST(Doctor, ATableIsAsLongAsItsBytesSay) {
  const Bytes many = Damaged("many-tags");
  std::unique_ptr<icc::Profile> p;
  ASSERT_TRUE(icc::Profile::Open(std::make_unique<MemoryFile>(many), &p).ok());
  EXPECT_EQ(p->Entries().size(), 4097u);
  icc::Description d;
  EXPECT_TRUE(icc::ReadDescription(*p, {}, &d).ok());

  Bytes full = FileBytes(kV2);
  AddRows(full, "cprt", (4u << 20) / 12);
  EXPECT_EQ(FindingOf(Checked(full), "required-tag"), nullptr);
  EXPECT_TRUE(Fix(full).repair.repaired.empty());
}

}  // namespace
