#include "profile_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "description.h"
#include "localized_text.h"
#include "profile_facts.h"
#include "profile_names.h"
#include "profile_properties.h"
#include "text_description.h"

namespace icc {
namespace {

const std::vector<CheckCode> kCodes = {
    {"not-a-profile", "Not a profile", false},
    {"size-field", "Wrong size field", true},
    {"version", "Unknown version", false},
    {"device-class", "Unknown device class", false},
    {"colour-space", "Unknown colour space", false},
    {"connection-space", "Unknown connection space", false},
    {"class-spaces", "Spaces do not fit the class", false},
    {"intent", "Unknown rendering intent", false},
    {"creation-date", "Invalid creation date", false},
    {"illuminant", "Illuminant is not D50", false},
    {"platform", "Unknown platform", false},
    {"reserved-bytes", "Reserved header bytes set", false},
    {"reserved-flags", "Reserved flag bits set", false},
    {"profile-id", "Profile ID does not match", true},
    {"tag-count", "Tag table runs past the end", false},
    {"no-tags", "Profile has no tags", false},
    {"tag-outside", "Tag outside the profile", false},
    {"tag-alignment", "Tag not on a 4-byte boundary", true},
    {"tag-overlap", "Tags overlap", false},
    {"tag-duplicate", "Tag listed twice", false},
    {"padding", "Padding bytes not zero", true},
    {"trailing-bytes", "Bytes after the last tag", true},
    {"required-tag", "Required tag missing", false},
    {"space-tags", "Colour space does not fit the tags", false},
    {"tag-type", "Tag of the wrong type", false},
    {"tag-type-version", "Tag type of another version", false},
    {"desc-type", "Description of the other version's type", true},
    {"tag-reserved", "Reserved tag bytes set", false},
    {"tag-structure", "Damaged tag", false},
    {"text-terminator", "Text without its zero", false},
    {"text-encoding", "Text not valid UTF-16", false},
    {"empty-text", "Text tag without a text", false},
    {"scriptcode", "ScriptCode of the wrong length", true},
    {"dscm-mismatch", "Localized name differs from description", true},
    {"metadata-alignment", "Metadata not aligned", false},
    // The colour checks (doctor/colour_check.cpp).
    {"lcms-refused", "Colour engine refuses it", false},
    {"white-point", "Implausible white point", false},
    {"colorant-range", "Colorant outside its range", false},
    {"colorant-sum", "Colorants do not add up to white", false},
    {"colorant-order", "Colorants swapped", false},
    {"curve-monotonic", "Tone curve not monotonic", false},
    {"curve-range", "Tone curve does not span its range", false},
    {"vcgt-monotonic", "Video card curve not monotonic", false},
    {"gray-axis", "Gray axis not neutral", false},
    {"gray-monotonic", "Gray axis not monotonic", false},
    // What was not checked: a profile too large, or of version 5.
    {"colour-not-checked", "Colour not checked", false},
};

constexpr uint32_t kMagic = Signature("acsp");
constexpr uint32_t kXYZ = Signature("XYZ ");
constexpr uint32_t kLab = Signature("Lab ");
// The most bytes of one tag the structure checks read: every structure they look at
// (counts, offsets, record tables, a description's texts) lies in its first bytes.
constexpr uint32_t kTagReadLimit = 1 << 20;

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

std::string Num(uint64_t v) { return std::to_string(v); }

// "1 channel", "3 channels".
std::string Count(uint64_t n, const char* thing) {
  return Num(n) + " " + thing + (n == 1 ? "" : "s");
}

// A number of the header or a tag in few digits: 1, 0.9637.
std::string Short(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", v);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

// Bytes a header claims, multiplied out without overflowing: its numbers may claim more
// than any file holds.
struct Claim {
  uint64_t bytes = 0;
  bool beyond = false;  // more than 2^64
  void Add(uint64_t v) { beyond = beyond || __builtin_add_overflow(bytes, v, &bytes); }
  void Multiply(uint64_t v) { beyond = beyond || __builtin_mul_overflow(bytes, v, &bytes); }
  static Claim Product(std::initializer_list<uint64_t> factors) {
    Claim c;
    c.bytes = 1;
    for (uint64_t f : factors) c.Multiply(f);
    return c;
  }
  std::string Text() const {
    return beyond ? "more than " + Num(UINT64_MAX) + " bytes" : Num(bytes) + " bytes";
  }
};

bool KnownClass(uint32_t s) { return std::string(DeviceClassName(s)) != "Unknown"; }
bool Version5Class(uint32_t s) {
  return s == Signature("cenc") || s == Signature("mid ") || s == Signature("mlnk") ||
         s == Signature("mvis");
}
bool KnownSpace(uint32_t s) { return std::string(AnyColourSpaceName(s)) != "Unknown"; }
// Version 5's spaces of any number of channels: 'nc' and the count in the low 16 bits.
bool ChannelSpace(uint32_t s) { return (s >> 16) == 0x6E63 && (s & 0xFFFF) != 0; }

// Four bytes as characters, '?' for those outside printable ASCII.
std::string Printable4(uint32_t signature) {
  std::string name(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char(signature >> (24 - 8 * i));
    name[std::size_t(i)] = c >= 0x20 && c < 0x7F ? c : '?';
  }
  return name;
}

// Channels of a colour space; 0 when unknown.
unsigned Channels(uint32_t space) {
  switch (space) {
    case Signature("GRAY"): return 1;
    case Signature("CMYK"): return 4;
    case Signature("RGB "): case Signature("Lab "): case Signature("XYZ "):
    case Signature("Luv "): case Signature("YCbr"): case Signature("Yxy "):
    case Signature("HSV "): case Signature("HLS "): case Signature("CMY "): return 3;
  }
  const unsigned digit = unsigned(space >> 24);
  if ((space & 0xFFFFFF) != (Signature("0CLR") & 0xFFFFFF)) return 0;
  if (digit >= '2' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return 0;
}

// Bytes of a curve element of a lookup table ('curv' or 'para') at `at`, padded to 4; 0 when
// it is not one or does not lie within `have` bytes.
uint64_t CurveBytes(const std::vector<uint8_t>& b, uint64_t at) {
  if (at + 12 > b.size()) return 0;
  const uint32_t type = LoadBE32(&b[std::size_t(at)]);
  if (type == Signature("curv")) return Pad4(12 + 2 * uint64_t(LoadBE32(&b[std::size_t(at + 8)])));
  static const unsigned kParams[] = {1, 3, 4, 5, 7};
  const unsigned function = (b[std::size_t(at + 8)] << 8) | b[std::size_t(at + 9)];
  if (type == Signature("para") && function <= 4) return 12 + 4 * uint64_t(kParams[function]);
  return 0;
}

// The types a tag may have, by version: one row per signature this checker knows.
// Private and unknown signatures are not checked.
struct TagTypes {
  uint32_t tag;
  std::vector<uint32_t> v2, v4;
};

std::vector<uint32_t> Sigs(std::initializer_list<const char*> names) {
  std::vector<uint32_t> out;
  for (const char* n : names) out.push_back(LoadBE32(reinterpret_cast<const uint8_t*>(n)));
  return out;
}

const std::vector<TagTypes>& TypeTable() {
  static const std::vector<TagTypes> table = [] {
    std::vector<TagTypes> t;
    auto row = [&t](const char* tag, std::initializer_list<const char*> v2,
                    std::initializer_list<const char*> v4) {
      t.push_back({LoadBE32(reinterpret_cast<const uint8_t*>(tag)), Sigs(v2), Sigs(v4)});
    };
    const auto lut2 = {"mft1", "mft2"};
    const auto a2b4 = {"mft1", "mft2", "mAB "};
    const auto b2a4 = {"mft1", "mft2", "mBA "};
    row("desc", {"desc"}, {"mluc"});
    row("dmnd", {"desc"}, {"mluc"});
    row("dmdd", {"desc"}, {"mluc"});
    row("vued", {"desc"}, {"mluc"});
    row("cprt", {"text"}, {"mluc"});
    row("dscm", {"mluc"}, {"mluc"});
    for (const char* xyz : {"wtpt", "bkpt", "rXYZ", "gXYZ", "bXYZ", "lumi"})
      row(xyz, {"XYZ "}, {"XYZ "});
    for (const char* trc : {"rTRC", "gTRC", "bTRC", "kTRC"}) row(trc, {"curv"}, {"curv", "para"});
    for (const char* a2b : {"A2B0", "A2B1", "A2B2"}) row(a2b, lut2, a2b4);
    for (const char* b2a : {"B2A0", "B2A1", "B2A2", "gamt", "pre0", "pre1", "pre2"})
      row(b2a, lut2, b2a4);
    row("chad", {"sf32"}, {"sf32"});
    row("chrm", {"chrm"}, {"chrm"});
    row("tech", {"sig "}, {"sig "});
    row("rig0", {"sig "}, {"sig "});
    row("view", {"view"}, {"view"});
    row("meas", {"meas"}, {"meas"});
    row("ncl2", {"ncl2"}, {"ncl2"});
    row("pseq", {"pseq"}, {"pseq"});
    row("targ", {"text"}, {"text"});
    row("calt", {"dtim"}, {"dtim"});
    row("meta", {"dict"}, {"dict"});
    return t;
  }();
  return table;
}

const TagTypes* TypesOf(uint32_t tag) {
  for (const TagTypes& row : TypeTable())
    if (row.tag == tag) return &row;
  return nullptr;
}

bool Contains(const std::vector<uint32_t>& list, uint32_t v) {
  return std::find(list.begin(), list.end(), v) != list.end();
}

class Checker {
 public:
  Checker(SourceFile& file, CheckReport* report, uint64_t max_id_bytes)
      : file_(file), report_(report), max_id_bytes_(max_id_bytes) {}
  Result Run();

 private:
  void Add(Severity s, const char* code, uint32_t tag, int64_t offset, std::string message) {
    report_->Add(s, code, tag, offset, std::move(message));
  }
  Result ReadTable(const uint8_t start[kTagTableStart]);
  void CheckHeader();
  void CheckReservedBytes(std::size_t from, std::size_t to, const std::string& what);
  Result CheckTable();
  void CheckOverlaps();
  Result CheckPadding(uint64_t table_end);
  Result CheckTags();
  void CheckTypeOfTag(const TagEntry& e, uint32_t type);
  void CheckRequired();
  Result CheckDescriptionName();
  Result CheckId();
  Result ReadTag(const TagEntry& e, std::size_t limit, std::vector<uint8_t>* bytes);
  void CheckType(const TagEntry& e, const std::vector<uint8_t>& b);
  void CheckText(const TagEntry& e, const std::vector<uint8_t>& b, uint64_t at, uint64_t units,
                 const std::string& what);
  void CheckLut(const TagEntry& e, const std::vector<uint8_t>& b);
  void Structure(const TagEntry& e, const std::string& what) {
    Add(Severity::Error, "tag-structure", e.signature, e.offset,
        "The " + SignatureWords(e.signature) + " tag is damaged: " + what + ".");
  }
  bool Present(uint32_t tag) const { return Entry(tag) != nullptr; }
  const TagEntry* Entry(uint32_t tag) const {
    for (const TagEntry& e : usable_)
      if (e.signature == tag) return &e;
    return nullptr;
  }

  SourceFile& file_;
  CheckReport* report_;
  uint64_t max_id_bytes_;
  uint64_t size_ = 0;
  Header h_;
  uint32_t count_ = 0;
  uint64_t table_end_ = kTagTableStart;  // after the table's last row, by its count
  int major_ = 0;
  bool table_read_ = false;       // the table lies in the file: entries_ holds it
  uint64_t cut_end_ = 0;          // the end of the file when a tag starts in it and is cut
  std::vector<TagEntry> entries_;
  std::vector<TagEntry> usable_;  // rows whose data lies inside the file
  // By row of usable_: the first row with the same bytes (itself when none), and whether
  // the row starts inside another tag's bytes.  Each tag's bytes are read once, and only
  // those of rows that overlap none before them: what the checks read stays within the
  // file's size whatever the table claims.
  std::vector<std::size_t> same_as_;
  std::vector<bool> overlapping_;
};

Result Checker::Run() {
  size_ = file_.Size();
  if (size_ < kTagTableStart) {
    report_->readable = false;
    Add(Severity::Error, "not-a-profile", 0, -1,
        "The file has " + Num(size_) + " bytes, fewer than a profile's header and tag count.");
    return {};
  }
  uint8_t start[kTagTableStart];
  Result r = file_.ReadAt(0, start, sizeof start);
  if (!r.ok()) return r;
  h_ = Header(start);
  if (h_.magic() != kMagic) {
    report_->readable = false;
    Add(Severity::Error, "not-a-profile", 0, 36,
        "The header does not carry the profile signature 'acsp' at byte 36.");
    return {};
  }
  major_ = int(h_.version_major());
  r = ReadTable(start);
  if (!r.ok()) return r;
  CheckHeader();
  r = CheckTable();
  if (!r.ok()) return r;
  r = CheckTags();
  if (!r.ok()) return r;
  // Without a table there is nothing to say which tags the profile lacks.
  if (table_read_ && count_ != 0) CheckRequired();
  r = CheckDescriptionName();
  if (!r.ok()) return r;
  return CheckId();
}

// The table as its bytes say, as many rows as its count gives when they lie in the file.
Result Checker::ReadTable(const uint8_t start[kTagTableStart]) {
  TagTable table;
  Result r = ReadTagRows(file_, start, &table);
  if (!r.ok()) return r;
  count_ = table.count;
  table_read_ = table.inside;
  table_end_ = table.end;
  entries_ = std::move(table.rows);
  return {};
}

void Checker::CheckHeader() {
  const uint32_t field = h_.size();
  uint64_t tag_end = kTagTableStart;
  if (table_read_) {
    tag_end = table_end_;
    for (const TagEntry& e : entries_)
      tag_end = std::max<uint64_t>(tag_end, uint64_t(e.offset) + e.size);
  }
  if (field != size_) {
    // A field that cuts tag data, or promises more than the file has, misleads readers; a
    // field that only leaves out bytes after the last tag does not.
    const bool misleads = field > size_ || field < tag_end;
    Add(misleads ? Severity::Error : Severity::Warning, "size-field", 0, 0,
        "The size field says " + Num(field) + " bytes, but the file has " + Num(size_) + ".");
  }

  const bool v5 = major_ == 5;
  if (major_ != 2 && major_ != 4 && !v5) {
    // One rule for every other number: version 3 never existed but some writers stamp it
    // on version 2 structures, and readers read what they know of any version.
    Add(Severity::Warning, "version", 0, 8,
        "Version " + Num(major_) + "." + Num(h_.version_minor()) +
            " is not a version 2, 4 or 5 profile.");
  } else if (!v5 && (h_.bytes()[10] != 0 || h_.bytes()[11] != 0)) {
    Add(Severity::Warning, "reserved-bytes", 0, 10,
        "The reserved bytes 10 and 11 of the version field are not zero.");
  }

  const uint32_t cls = h_.device_class(), space = h_.colour_space(), pcs = h_.connection_space();
  const bool class_ok = KnownClass(cls) || (v5 && Version5Class(cls));
  if (!class_ok)
    Add(Severity::Error, "device-class", 0, 12,
        "The device class is " + SignatureWords(cls) +
            (Version5Class(cls) ? ", which only version 5 profiles have."
                                : ", not one profiles can have."));
  // Version 5 also knows spaces of any number of channels, and classes without a space.
  const bool spaceless =
      cls == Signature("nmcl") || cls == Signature("mid ") || cls == Signature("mvis");
  if (!KnownSpace(space) && !(v5 && (ChannelSpace(space) || (space == 0 && spaceless))))
    Add(Severity::Error, "colour-space", 0, 16,
        "The colour space is " + SignatureWords(space) + ", not one profiles can have.");
  const bool link = cls == Signature("link");
  const bool pcs_ok = link ? KnownSpace(pcs) || (v5 && ChannelSpace(pcs))
                           : pcs == kXYZ || pcs == kLab || (v5 && pcs == 0);  // 0: spectral or none
  if (!pcs_ok)
    Add(Severity::Error, "connection-space", 0, 20,
        "The connection space is " + SignatureWords(pcs) +
            (link ? ", not a colour space." : ", neither XYZ nor Lab."));
  else if (!v5 && class_ok && cls == Signature("abst") && space != kXYZ && space != kLab)
    Add(Severity::Warning, "class-spaces", 0, 16,
        "An abstract profile works in XYZ or Lab, not in " + SignatureWords(space) + ".");

  const uint32_t intent = h_.intent();
  if (intent > 3)
    Add(Severity::Error, "intent", 0, 64,
        "The rendering intent " + Num(intent) + " is not one of the four (0 to 3).");

  DateTime date = h_.date();
  const bool all_zero = (date.year | date.month | date.day | date.hour | date.minute |
                         date.second) == 0;
  if (!all_zero && !CreationDate(h_, &date))
    Add(Severity::Warning, "creation-date", 0, 24, "The creation date is not a valid date and time.");

  // D50 within the precision its writers round it to; version 5 may name another
  // illuminant for its connection space (and a colour encoding profile leaves it zero).
  const double x = h_.illuminant().X, y = h_.illuminant().Y, z = h_.illuminant().Z;
  if (!v5 && (std::abs(x - 0.9642) > 0.0004 || std::abs(y - 1.0) > 0.0004 ||
              std::abs(z - 0.8249) > 0.0004))
    Add(Severity::Warning, "illuminant", 0, 68,
        "The connection space illuminant is X " + Short(x) + ", Y " + Short(y) + ", Z " +
            Short(z) + ", not D50.");

  const uint32_t platform = h_.platform();
  if (platform != 0 && !Contains(Sigs({"APPL", "MSFT", "SGI ", "SUNW", "TGNT"}), platform))
    Add(Severity::Note, "platform", 0, 40,
        "The primary platform " + SignatureWords(platform) + " is not a registered one.");

  // Version 5 gives flag bit 2 a meaning (the material channels' subset).
  // Bits 32 to 63 of the device attributes are the vendor's.
  const uint32_t flags = h_.flags(), attributes = uint32_t(h_.attributes());
  if ((flags & (v5 ? 0xFFF8 : 0xFFFC)) != 0)
    Add(Severity::Warning, "reserved-flags", 0, 44,
        std::string("Reserved profile flag bits (") + (v5 ? "3" : "2") + " to 15) are set: " +
            Hex(flags) + ".");
  if ((attributes & 0xFFFFFFF0u) != 0)
    Add(Severity::Warning, "reserved-flags", 0, 56,
        "Reserved device attribute bits (4 to 31) are set: " + Hex(attributes) + ".");

  // Version 4 keeps the profile ID in bytes 84 to 99, which version 2 reserves (tools have
  // written an MD5 there, which readers ignore); version 5 keeps its spectral connection
  // space, material channels and subclass in bytes 100 to 123.
  if (major_ < 4) CheckReservedBytes(84, 100, "84 to 99, where version 4 keeps the profile ID");
  CheckReservedBytes(v5 ? 124 : 100, kHeaderSize, v5 ? "124 to 127" : "100 to 127");
}

void Checker::CheckReservedBytes(std::size_t from, std::size_t to, const std::string& what) {
  for (std::size_t i = from; i < to; ++i)
    if (h_.bytes()[i] != 0) {
      Add(Severity::Warning, "reserved-bytes", 0, int64_t(i),
          "Reserved header bytes (" + what + ") are not zero, from byte " + Num(i) + ".");
      return;
    }
}

Result Checker::CheckTable() {
  const uint64_t table_end = table_end_;
  if (!table_read_) {
    Add(Severity::Error, "tag-count", 0, kHeaderSize,
        "The tag count " + Num(count_) + " makes the tag table run past the end of the file.");
    count_ = 0;
    return {};
  }
  if (count_ == 0) {
    Add(Severity::Error, "no-tags", 0, kHeaderSize, "The tag count is 0: the profile has no tags.");
    return {};
  }

  // A signature listed again: readers take its first row, the others are in error.
  std::vector<bool> again(entries_.size());
  {
    std::vector<std::size_t> order(entries_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
      return entries_[a].signature < entries_[b].signature;
    });
    for (std::size_t k = 1; k < order.size(); ++k)
      again[order[k]] = entries_[order[k]].signature == entries_[order[k - 1]].signature;
  }

  // The last tag to start in the file: one that runs past its end is cut there.
  uint32_t last_start = 0;
  for (const TagEntry& e : entries_)
    if (e.offset < size_) last_start = std::max(last_start, e.offset);
  usable_.reserve(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const TagEntry& e = entries_[i];
    const int64_t row = int64_t(kTagTableStart + i * kTagEntrySize);
    auto name = [&e] { return SignatureWords(e.signature); };
    if (again[i]) {
      Add(Severity::Error, "tag-duplicate", e.signature, row,
          "The tag table lists " + name() + " more than once.");
      continue;
    }
    const uint64_t end = uint64_t(e.offset) + e.size;
    if (e.offset < table_end || end > size_) {
      const std::string what =
          "The " + name() + " tag (" + Num(e.size) + " bytes at " + Num(e.offset) + ")";
      if (e.offset < table_end) {
        Add(Severity::Error, "tag-outside", e.signature, row,
            what + " lies in the header or tag table.");
      } else if (e.offset == last_start) {
        cut_end_ = size_;  // the file's last bytes are this tag's start
        Add(Severity::Error, "tag-outside", e.signature, row,
            what + " is cut: the file ends " + Num(size_ - e.offset) + " bytes into it.");
      } else {
        Add(Severity::Error, "tag-outside", e.signature, row,
            what + " runs past the end of the file.");
      }
      continue;
    }
    if (e.size < 8) {
      Add(Severity::Error, "tag-structure", e.signature, e.offset,
          "The " + name() + " tag has " + Num(e.size) + " bytes, too few for its type signature.");
      continue;
    }
    if (e.offset % 4 != 0)
      Add(Severity::Warning, "tag-alignment", e.signature, e.offset,
          "The " + name() + " tag starts at " + Num(e.offset) + ", not on a 4-byte boundary.");
    usable_.push_back(e);
  }
  CheckOverlaps();
  return CheckPadding(table_end);
}

// Two rows may share the same bytes, but not part of them.  In file order, each row is set
// against the one reaching furthest before it.
void Checker::CheckOverlaps() {
  std::vector<std::size_t> order(usable_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
    const TagEntry &x = usable_[a], &y = usable_[b];
    return x.offset != y.offset ? x.offset < y.offset : x.size > y.size;
  });
  same_as_.resize(usable_.size());
  overlapping_.assign(usable_.size(), false);
  std::size_t widest = 0;
  uint64_t reach = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::size_t i = order[k];
    const TagEntry& b = usable_[i];
    same_as_[i] = i;
    if (k > 0) {
      const TagEntry& a = usable_[order[k - 1]];
      const TagEntry& w = usable_[widest];
      if (a.offset == b.offset && a.size == b.size) {
        same_as_[i] = same_as_[order[k - 1]];
      } else if (b.offset < reach) {
        overlapping_[i] = true;
        Add(Severity::Error, "tag-overlap", b.signature, b.offset,
            "The " + SignatureWords(b.signature) + " tag overlaps the " +
                SignatureWords(w.signature) + " tag.");
      }
    }
    if (k == 0 || uint64_t(b.offset) + b.size > reach) {
      reach = uint64_t(b.offset) + b.size;
      widest = i;
    }
  }
}

// Padding: the bytes from a tag's end to the next 4-byte boundary, where no tag starts and
// no other tag's bytes lie.  Then the bytes after the last tag.
Result Checker::CheckPadding(uint64_t table_end) {
  std::vector<TagEntry> sorted;
  sorted.reserve(usable_.size());
  for (std::size_t i = 0; i < usable_.size(); ++i)
    if (same_as_[i] == i) sorted.push_back(usable_[i]);
  std::sort(sorted.begin(), sorted.end(), [](const TagEntry& a, const TagEntry& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.size > b.size;
  });
  // starts: each tag's offset; reach[k]: the furthest end of the tags before the k-th.
  std::vector<uint64_t> starts(sorted.size()), reach(sorted.size() + 1, 0);
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    starts[k] = sorted[k].offset;
    reach[k + 1] = std::max(reach[k], uint64_t(sorted[k].offset) + sorted[k].size);
  }
  uint64_t data_end = std::max<uint64_t>(table_end, cut_end_);
  for (const TagEntry& e : sorted) {
    const uint64_t end = uint64_t(e.offset) + e.size;
    data_end = std::max(data_end, end);
    uint64_t pad_end = std::min<uint64_t>(Pad4(end), size_);
    const std::size_t next =
        std::size_t(std::lower_bound(starts.begin(), starts.end(), end) - starts.begin());
    if (next < starts.size()) pad_end = std::min(pad_end, starts[next]);
    if (pad_end <= end || reach[next] > end) continue;  // no padding, or inside another tag
    uint8_t pad[4] = {};
    Result r = file_.ReadAt(end, pad, std::size_t(pad_end - end));
    if (!r.ok()) return r;
    if (std::any_of(pad, pad + (pad_end - end), [](uint8_t v) { return v != 0; }))
      Add(Severity::Warning, "padding", e.signature, int64_t(end),
          "The padding after the " + SignatureWords(e.signature) + " tag is not zero.");
  }
  if (!sorted.empty() && size_ > Pad4(data_end))
    Add(Severity::Warning, "trailing-bytes", 0, int64_t(Pad4(data_end)),
        Num(size_ - Pad4(data_end)) + " bytes follow the last tag.");
  return {};
}

Result Checker::ReadTag(const TagEntry& e, std::size_t limit, std::vector<uint8_t>* bytes) {
  try {
    bytes->resize(std::min<std::size_t>(e.size, limit));
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  return file_.ReadAt(e.offset, bytes->data(), bytes->size());
}

Result Checker::CheckTags() {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> types(usable_.size());
  for (std::size_t i = 0; i < usable_.size(); ++i) {
    const TagEntry& e = usable_[i];
    if (same_as_[i] == i) {
      // A row inside another tag's bytes is read only as far as its type.
      Result r = ReadTag(e, overlapping_[i] ? 8 : kTagReadLimit, &bytes);
      if (!r.ok()) return r;
      types[i] = LoadBE32(bytes.data());
      if (LoadBE32(bytes.data() + 4) != 0)
        Add(Severity::Warning, "tag-reserved", e.signature, int64_t(e.offset) + 4,
            "The reserved bytes 4 to 7 of the " + SignatureWords(e.signature) +
                " tag are not zero.");
      CheckTypeOfTag(e, types[i]);
      if (!overlapping_[i]) CheckType(e, bytes);
    } else {
      types[i] = types[same_as_[i]];
      CheckTypeOfTag(e, types[i]);
    }
  }
  return {};
}

// The type a tag has against those its version gives it.  Version 5 gives most tags more
// types than this table knows: its types are checked as far as their structures go.
void Checker::CheckTypeOfTag(const TagEntry& e, uint32_t type) {
  const TagTypes* types = major_ == 5 ? nullptr : TypesOf(e.signature);
  if (!types) return;
  const bool v4 = major_ >= 4;
  const std::vector<uint32_t>& mine = v4 ? types->v4 : types->v2;
  const std::vector<uint32_t>& other = v4 ? types->v2 : types->v4;
  if (Contains(mine, type)) return;
  const std::string text = "The " + SignatureWords(e.signature) + " tag is of type " +
                           SignatureWords(type) + ", which version " + Num(major_) +
                           " profiles do not use for it";
  if (Contains(other, type))
    Add(Severity::Warning, e.signature == kDescriptionTag ? "desc-type" : "tag-type-version",
        e.signature, e.offset, text + " (version " + (v4 ? "2" : "4") + " profiles do).");
  else
    Add(Severity::Error, "tag-type", e.signature, e.offset, text + ".");
}

// A UTF-16 text of `units` code units at `at` of the tag, as far as it was read: half of a
// surrogate pair alone is no character.
void Checker::CheckText(const TagEntry& e, const std::vector<uint8_t>& b, uint64_t at,
                        uint64_t units, const std::string& what) {
  const uint64_t end = std::min<uint64_t>(at + 2 * units, b.size() & ~std::size_t(1));
  for (uint64_t p = at; p + 2 <= end; p += 2) {
    const unsigned u = LoadBE16(&b[std::size_t(p)]);
    const bool high = u >= 0xD800 && u < 0xDC00, low = u >= 0xDC00 && u < 0xE000;
    const bool paired = high && p + 4 <= end && LoadBE16(&b[std::size_t(p + 2)]) >= 0xDC00 &&
                        LoadBE16(&b[std::size_t(p + 2)]) < 0xE000;
    if ((high && !paired) || low) {
      Add(Severity::Warning, "text-encoding", e.signature, int64_t(e.offset + p),
          "The " + what + " of the " + SignatureWords(e.signature) +
              " tag holds half of a UTF-16 surrogate pair alone, at character " +
              Num((p - at) / 2 + 1) + ".");
      return;
    }
    if (paired) p += 2;
  }
}

void Checker::CheckType(const TagEntry& e, const std::vector<uint8_t>& b) {
  const uint32_t type = LoadBE32(b.data());
  const uint64_t n = e.size;           // the tag's size
  const std::size_t have = b.size();   // bytes read (n, or the read limit)
  const std::string name = SignatureWords(e.signature);
  auto need = [&](uint64_t bytes, const char* what) {
    if (bytes <= n) return true;
    Structure(e, "it has " + Num(n) + " bytes, too few for " + what + " (" + Num(bytes) +
                     " bytes)");
    return false;
  };
  if (type == Signature("desc")) {
    // Counts beyond the bytes read are taken as 0: the parts are checked as far as read.
    TextDescriptionLayout layout;
    ReadTextDescriptionLayout(n, [&b](uint64_t offset, uint32_t* value) {
      *value = offset + 4 <= b.size() ? LoadBE32(&b[std::size_t(offset)]) : 0;
      return true;
    }, &layout);
    const auto part = layout.short_of;
    if (part == TextDescriptionLayout::kAsciiCount || part == TextDescriptionLayout::kAsciiText) {
      need(layout.needed, TextDescriptionPartName(part));
      return;
    }
    const uint64_t ascii = layout.ascii_count;
    if (ascii == 0 || (12 + ascii <= have && b[std::size_t(11 + ascii)] != 0))
      Add(Severity::Warning, "text-terminator", e.signature, int64_t(e.offset) + 12,
          "The ASCII text of the " + name + " tag does not end in a zero.");
    if (part == TextDescriptionLayout::kUnicodeText) {
      need(layout.needed, TextDescriptionPartName(part));
      return;
    }
    CheckText(e, b, layout.units_at(), layout.unicode_count, "Unicode text");
    const uint64_t script = layout.script_at();  // ScriptCode code, count, 67 bytes
    if (script + 3 + kScriptCodeField != n) {
      const uint64_t count = script + 3 <= have ? b[std::size_t(script + 2)] : 0;
      if (script + 3 + kScriptCodeField > n || count > kScriptCodeField)
        Add(Severity::Warning, "scriptcode", e.signature, int64_t(e.offset + script),
            "The ScriptCode field of the " + name + " tag has " +
                Num(n > script + 3 ? n - script - 3 : 0) + " bytes instead of 67.");
    } else if (b.size() >= n && b[std::size_t(script + 2)] > kScriptCodeField) {
      Add(Severity::Warning, "scriptcode", e.signature, int64_t(e.offset + script),
          "The ScriptCode count of the " + name + " tag is more than 67.");
    }
  } else if (type == Signature("mluc")) {
    const LocalizedLayout layout = LocalizedLayoutOf(b.data(), uint32_t(n));
    if (layout.header_cut) {
      need(kLocalizedHeaderSize, "the record table's header");
      return;
    }
    if (layout.record_size != kLocalizedRecordSize) {
      Structure(e, "its records are " + Num(layout.record_size) + " bytes long instead of 12");
      return;
    }
    if (layout.past_end) {
      need(layout.table_end, "the record table");
      return;
    }
    if (layout.count == 0)
      Add(Severity::Warning, "empty-text", e.signature, e.offset,
          "The " + name + " tag holds no text: it has no records.");
    for (uint64_t i = 0; i < layout.count && layout.RowAt(i) + kLocalizedRecordSize <= have; ++i) {
      const LocalizedRow row = LocalizedRowAt(&b[std::size_t(layout.RowAt(i))]);
      const std::string language = Printable4(LoadBE32(&b[std::size_t(layout.RowAt(i))]));
      const std::string record =
          "record " + Num(i + 1) + " (" + language.substr(0, 2) + "-" + language.substr(2) + ")";
      if (!row.Fits(n)) {
        Structure(e, record + " has its text " +
                         (row.length % 2 ? "of an odd length" : "outside the tag"));
        return;
      }
      CheckText(e, b, row.offset, row.length / 2, "text of " + record);
    }
  } else if (type == Signature("text")) {
    if (n <= 8 || (have == n && b[have - 1] != 0))
      Add(Severity::Warning, "text-terminator", e.signature, int64_t(e.offset) + 8,
          "The text of the " + name + " tag does not end in a zero.");
  } else if (type == kXYZ) {
    if (n < 20 || (n - 8) % 12 != 0) Structure(e, "its size " + Num(n) + " is not 8 + 12 per XYZ number");
  } else if (type == Signature("curv")) {
    if (!need(12, "the entry count")) return;
    need(12 + 2 * uint64_t(LoadBE32(&b[8])), "the curve's entries");
  } else if (type == Signature("para")) {
    if (!need(12, "the function type")) return;
    static const int kParams[] = {1, 3, 4, 5, 7};
    const unsigned function = LoadBE16(&b[8]);
    if (function > 4)
      Structure(e, "its function type " + Num(function) + " is not 0 to 4");
    else
      need(12 + 4 * uint64_t(kParams[function]), "the function's parameters");
  } else if (type == Signature("sf32")) {
    if (e.signature == Signature("chad") ? n != 44 : (n - 8) % 4 != 0)
      Structure(e, "its size " + Num(n) + " does not hold whole numbers" +
                       (e.signature == Signature("chad") ? " (a 3 by 3 matrix is 44 bytes)" : ""));
  } else if (type == Signature("sig ")) {
    need(12, "the signature");
  } else if (type == Signature("dtim")) {
    need(20, "the date");
  } else if (type == Signature("mft1") || type == Signature("mft2") ||
             type == Signature("mAB ") || type == Signature("mBA ")) {
    CheckLut(e, b);
  } else if (type == Signature("ncl2")) {
    if (!need(84, "the named colour header")) return;
    const uint64_t count = LoadBE32(&b[12]), coords = LoadBE32(&b[16]);
    need(84 + count * (38 + 2 * coords), "the named colours");
  } else if (type == Signature("vcgt")) {
    if (!need(12, "the gamma type")) return;
    const uint32_t kind = LoadBE32(&b[8]);
    if (kind == 0) {
      if (!need(18, "the table's header")) return;
      need(18 + uint64_t(LoadBE16(&b[12])) * LoadBE16(&b[14]) * LoadBE16(&b[16]), "the table");
    } else if (kind == 1) {
      need(48, "the formula");
    } else {
      Structure(e, "its gamma type " + Num(kind) + " is neither a table nor a formula");
    }
  } else if (type == Signature("dict")) {
    if (!need(16, "the record count")) return;
    const uint64_t count = LoadBE32(&b[8]), record = LoadBE32(&b[12]);
    if (record != 16 && record != 24 && record != 32) {
      Structure(e, "its records are " + Num(record) + " bytes long");
      return;
    }
    if (!need(16 + count * record, "the records")) return;
    bool misaligned = false;
    for (uint64_t i = 0; i < count && 16 + (i + 1) * record <= have; ++i)
      for (uint64_t f = 0; f < record; f += 8) {
        const uint64_t offset = LoadBE32(&b[std::size_t(16 + i * record + f)]);
        const uint64_t length = LoadBE32(&b[std::size_t(16 + i * record + f + 4)]);
        if (offset != 0 && offset + length > n) {
          Structure(e, "a name or value of record " + Num(i + 1) + " lies outside the tag");
          return;
        }
        misaligned = misaligned || offset % 4 != 0;
      }
    if (misaligned)
      Add(Severity::Warning, "metadata-alignment", e.signature, e.offset,
          "Names or values in the " + name + " tag do not start on 4-byte boundaries.");
  }
}

// Lookup tables: channel counts that fit the tag's place between the profile's spaces, and
// every element inside the tag (for 'mAB '/'mBA ', without overlapping another).
void Checker::CheckLut(const TagEntry& e, const std::vector<uint8_t>& b) {
  const uint32_t type = LoadBE32(b.data());
  const uint64_t n = e.size;
  const bool legacy = type == Signature("mft1") || type == Signature("mft2");
  const bool wide = type == Signature("mft2");
  const uint64_t header = legacy ? (wide ? 52 : 48) : 32;
  if (n < header) {
    Structure(e, "it has " + Num(n) + " bytes, too few for the lookup table's header (" +
                     Num(header) + " bytes)");
    return;
  }
  const unsigned in = b[8], out = b[9];
  if (in == 0 || out == 0 || in > 15 || out > 15) {
    Structure(e, "its channel counts " + Num(in) + " and " + Num(out) + " are out of range");
    return;
  }
  // Where the tag stands: device to connection space (A2B), the reverse (B2A), or within
  // the connection space (gamut and preview tags, and every table of an abstract profile).
  const uint32_t cls = h_.device_class();
  const unsigned device = Channels(h_.colour_space()), pcs = Channels(h_.connection_space());
  const std::string name = TagName(e.signature);
  unsigned want_in = 0, want_out = 0;
  if (name.compare(0, 3, "A2B") == 0) want_in = device, want_out = pcs;
  else if (name.compare(0, 3, "B2A") == 0) want_in = pcs, want_out = device;
  else if (name == "gamt") want_in = pcs, want_out = 1;
  else if (name.compare(0, 3, "pre") == 0) want_in = pcs, want_out = pcs;
  if (cls == Signature("abst")) want_in = want_out = pcs;
  if (want_in && want_out && (in != want_in || out != want_out)) {
    Structure(e, "it maps " + Count(in, "channel") + " to " + Num(out) + " instead of " +
                     Num(want_in) + " to " + Num(want_out));
    return;
  }
  if (legacy) {
    const uint64_t grid = b[10];
    const uint64_t in_entries = wide ? LoadBE16(&b[48]) : 256;
    const uint64_t out_entries = wide ? LoadBE16(&b[50]) : 256;
    if (grid < 2 || in_entries < 2 || out_entries < 2) {
      Structure(e, "its grid or table sizes are out of range");
      return;
    }
    // What the header claims, multiplied out in full: a grid of 255 points over 15 inputs
    // claims more than any file holds.
    const uint64_t unit = wide ? 2 : 1;
    Claim claim = Claim::Product({unit, out});
    for (unsigned i = 0; i < in; ++i) claim.Multiply(grid);
    claim.Add(header + unit * (in * in_entries + out * out_entries));
    if (claim.beyond || claim.bytes > n)
      Structure(e, "its tables claim " + claim.Text() + ", the tag has " + Num(n));
    return;
  }
  // 'mAB ': B curves (out), matrix, M curves (out), CLUT, A curves (in); 'mBA ' the
  // reverse, B curves counting the input channels.
  const bool ab = type == Signature("mAB ");
  struct Element {
    const char* what;
    uint64_t offset, size;
  };
  std::vector<Element> elements;
  const uint64_t off_b = LoadBE32(&b[12]), off_matrix = LoadBE32(&b[16]), off_m = LoadBE32(&b[20]),
                 off_clut = LoadBE32(&b[24]), off_a = LoadBE32(&b[28]);
  auto curves = [&](const char* what, uint64_t at, unsigned count) {
    if (at == 0) return true;
    uint64_t size = 0;
    for (unsigned i = 0; i < count; ++i) {
      const uint64_t one = CurveBytes(b, at + size);
      if (one == 0) {
        if (at + size + 12 > b.size() && at + size < n) return true;  // beyond what was read
        Structure(e, std::string("its ") + what + " are not curves inside the tag");
        return false;
      }
      size += one;
    }
    elements.push_back({what, at, size});
    return true;
  };
  const unsigned matrix_channels = ab ? out : in;
  if (!curves("B curves", off_b, ab ? out : in) || !curves("M curves", off_m, matrix_channels) ||
      !curves("A curves", off_a, ab ? in : out))
    return;
  if (off_matrix) elements.push_back({"matrix", off_matrix, 48});
  if (off_clut) {
    if (off_clut + 20 > n) {
      Structure(e, "its colour lookup table lies outside the tag");
      return;
    }
    if (off_clut + 20 <= b.size()) {
      uint64_t points = out;
      for (unsigned i = 0; i < in && i < 16 && points <= n; ++i) points *= b[std::size_t(off_clut + i)];
      const unsigned precision = b[std::size_t(off_clut + 16)];
      if (precision != 1 && precision != 2) {
        Structure(e, "its colour lookup table's precision " + Num(precision) + " is neither 1 nor 2");
        return;
      }
      elements.push_back({"colour lookup table", off_clut, Pad4(20 + points * precision)});
    }
  }
  std::sort(elements.begin(), elements.end(),
            [](const Element& x, const Element& y) { return x.offset < y.offset; });
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const Element& x = elements[i];
    if (x.offset < header || x.offset + x.size > Pad4(n)) {
      Structure(e, std::string("its ") + x.what + " lies outside the tag");
      return;
    }
    if (i > 0 && elements[i - 1].offset + elements[i - 1].size > x.offset) {
      Structure(e, std::string("its ") + elements[i - 1].what + " and " + x.what + " overlap");
      return;
    }
  }
}

void Checker::CheckRequired() {
  const uint32_t cls = h_.device_class(), space = h_.colour_space(), pcs = h_.connection_space();
  struct Required {
    const char* tag;
    Severity severity;
    std::string who;  // "Monitor profiles"
  };
  std::vector<Required> required;
  auto need = [&](std::initializer_list<const char*> tags, Severity s, const std::string& who) {
    for (const char* t : tags) required.push_back({t, s, who});
  };
  const std::string of_class = std::string(DeviceClassName(cls)) + " profiles";
  if (major_ == 5) {
    // What every class carries; the tags of its transforms are not read here.
    if (cls == Signature("cenc")) {
      need({"rfnm"}, Severity::Warning, "Color Encoding profiles");
    } else {
      need({"desc", "cprt"}, Severity::Warning, "Profiles");
      if (pcs != 0 && cls != Signature("link") && cls != Signature("mid ") &&
          cls != Signature("mlnk"))
        need({"wtpt"}, Severity::Warning, "Profiles with a connection space");
    }
  } else {
    need({"desc", "cprt"}, Severity::Warning, "Profiles");
    if (cls != Signature("link")) need({"wtpt"}, Severity::Warning, "Profiles");
  }
  const bool device = major_ != 5 && (cls == Signature("scnr") || cls == Signature("mntr") ||
                                      cls == Signature("prtr"));
  const auto matrix_tags = {"rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC"};
  bool some_matrix = false, whole_matrix = true;
  for (const char* t : matrix_tags) {
    const bool present = Present(LoadBE32(reinterpret_cast<const uint8_t*>(t)));
    some_matrix = some_matrix || present;
    whole_matrix = whole_matrix && present;
  }
  const bool gray_trc = Present(Signature("kTRC"));
  const bool lut = Present(Signature("A2B0"));
  if (device && cls != Signature("prtr") && space == Signature("RGB ") && whole_matrix) {
    // a matrix/TRC profile
  } else if (device && cls != Signature("prtr") && !lut && (some_matrix || gray_trc)) {
    // Without lookup tables the tags give the model: a matrix with its curves, or a gray
    // curve.  The colour space must be the model's; the model must be whole.
    const bool gray = gray_trc && (!some_matrix || space == Signature("GRAY"));
    const uint32_t model_space = gray ? Signature("GRAY") : Signature("RGB ");
    if (space != model_space)
      Add(Severity::Error, "space-tags", 0, 16,
          "The colour space is " + SignatureWords(space) + ", but the tags are those of " +
              (gray ? "a gray profile (kTRC"
                    : "an RGB matrix/TRC profile (rXYZ, gXYZ, bXYZ and their curves") +
              ", no A2B0).");
    else if (!gray)
      need(matrix_tags, Severity::Error, "Matrix/TRC profiles");
  } else if (device && space == Signature("GRAY")) {
    need({"kTRC"}, lut ? Severity::Warning : Severity::Error, of_class);
  } else if (device && cls != Signature("prtr")) {
    need({"A2B0"}, Severity::Error, of_class);
    if (cls == Signature("mntr")) need({"B2A0"}, Severity::Warning, of_class);
  } else if (device) {
    need({"A2B0", "B2A0"}, Severity::Error, of_class);
    need({"A2B1", "B2A1", "A2B2", "B2A2", "gamt"}, Severity::Note, of_class);
  } else if (major_ != 5 && cls == Signature("link")) {
    need({"A2B0"}, Severity::Error, of_class);
    need({"pseq"}, Severity::Warning, of_class);
  } else if (major_ != 5 && cls == Signature("abst")) {
    need({"A2B0"}, Severity::Error, of_class);
  } else if (major_ != 5 && cls == Signature("spac")) {
    need({"A2B0", "B2A0"}, Severity::Error, of_class);
  } else if (major_ != 5 && cls == Signature("nmcl")) {
    need({"ncl2"}, Severity::Error, of_class);
  }
  for (const Required& r : required) {
    const uint32_t sig = LoadBE32(reinterpret_cast<const uint8_t*>(r.tag));
    if (Present(sig)) continue;
    Add(r.severity, "required-tag", sig, -1,
        r.who + (r.severity == Severity::Note ? " usually carry" : " must carry") + " the tag " +
            r.tag + "; this one has none.");
  }
}

// A localized name ('dscm') says what the description says: the record of the
// description's own language (English for a description record) holds the same text.
Result Checker::CheckDescriptionName() {
  const TagEntry* desc = Entry(kDescriptionTag);
  const TagEntry* dscm = Entry(kLocalizedNameTag);
  if (!desc || !dscm || desc->size > kTagReadLimit || dscm->size > kTagReadLimit) return {};
  std::vector<uint8_t> d, m;
  Result r = ReadTag(*desc, kTagReadLimit, &d);
  if (r.ok()) r = ReadTag(*dscm, kTagReadLimit, &m);
  if (!r.ok()) return r;
  Description description;
  std::vector<LocalizedRecord> names;
  if (!ParseDescription(d.data(), d.size(), kEnglishUS, &description) ||
      !ParseLocalizedText(m.data(), m.size(), &names) || names.empty())
    return {};
  bool differs = false;
  if (description.kind != DescriptionKind::Localized) {
    const int i = ChooseLocalizedRecord(names, kEnglishUS.language, kEnglishUS.country);
    differs = i >= 0 && names[std::size_t(i)].text != DescriptionText(description, PortableCodePage());
  } else {
    for (const LocalizedRecord& name : names)
      for (const LocalizedRecord& text : description.records)
        if (std::equal(name.language, name.language + 2, text.language) &&
            std::equal(name.country, name.country + 2, text.country) && name.text != text.text)
          differs = true;
  }
  if (differs)
    Add(Severity::Warning, "dscm-mismatch", kLocalizedNameTag, dscm->offset,
        "The localized name (dscm) says something other than the description.");
  return {};
}

Result Checker::CheckId() {
  ProfileIdState& state = report_->id_state;
  Result r = CheckProfileId(file_, h_, &state, max_id_bytes_);
  if (r.ok() && state == ProfileIdState::Wrong)
    Add(Severity::Error, "profile-id", 0, kProfileIdOffset,
        "The profile ID is not the MD5 of the profile's content.");
  return r;
}

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Note: return "note";
  }
  return "note";
}

std::size_t CheckReport::Count(Severity severity) const {
  return std::size_t(std::count_if(findings.begin(), findings.end(),
                                   [severity](const Finding& f) { return f.severity == severity; }));
}

bool CheckReport::Has(const char* code) const {
  return std::any_of(findings.begin(), findings.end(),
                     [code](const Finding& f) { return std::string(f.code) == code; });
}

void CheckReport::Add(Severity severity, const char* code, uint32_t tag, int64_t offset,
                      std::string message) {
  findings.push_back(Finding{severity, code, tag, offset, std::move(message)});
}

const std::vector<CheckCode>& CheckCodes() { return kCodes; }

const CheckCode* FindCheckCode(const char* code) {
  for (const CheckCode& c : kCodes)
    if (std::string(c.code) == code) return &c;
  return nullptr;
}

Result CheckStructure(SourceFile& file, CheckReport* report, uint64_t max_id_bytes) {
  try {
    return Checker(file, report, max_id_bytes).Run();
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
}

std::string HealthText(const CheckReport& report) {
  const std::size_t errors = report.Count(Severity::Error);
  if (errors) {
    for (const Finding& f : report.findings)
      if (f.severity == Severity::Error) {
        const CheckCode* c = FindCheckCode(f.code);
        std::string text = c ? c->title : f.code;
        if (errors > 1)
          text += " (+" + std::to_string(errors - 1) +
                  (errors == 2 ? " more error)" : " more errors)");
        return text;
      }
  }
  const std::size_t warnings = report.Count(Severity::Warning);
  if (warnings == 0) return "Sound";
  return std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
}

std::string FindingLine(const Finding& f) {
  std::string severity = SeverityName(f.severity);
  severity.resize(8, ' ');
  return severity + f.code + " (" + TagName(f.tag) + " at " +
         (f.offset < 0 ? std::string("-") : std::to_string(f.offset)) + "): " + f.message;
}

std::string TagName(uint32_t signature) {
  return signature == 0 ? "header" : Printable4(signature);
}

std::string SignatureWords(uint32_t signature) {
  const std::string text = SignatureText(signature);
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  return plain || signature == 0 || text.compare(0, 2, "0x") == 0 ? text : "'" + text + "'";
}

}  // namespace icc
