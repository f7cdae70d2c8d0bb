#include "description.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "text_description.h"

namespace icc {
namespace {

constexpr uint32_t kDescriptionType = Signature("desc");
constexpr uint32_t kLocalizedType = Signature("mluc");
constexpr uint32_t kTextType = Signature("text");
constexpr std::size_t kTextStart = 8;  // textType: the text follows the type and reserved bytes

// Windows-1252 from 0x80 to 0x9F; the bytes it leaves undefined stand for themselves.
const char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

class Portable final : public CodePage {
 public:
  std::u16string Decode(const std::string& bytes) const override {
    std::u16string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
      const uint8_t byte = uint8_t(c);
      text.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
  }
  std::string Encode(const std::u16string& text) const override {
    std::string ascii;
    ascii.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) ++i;  // one character, one '?'
      ascii += c < 0x80 ? char(c) : '?';
    }
    return ascii;
  }
};

bool IsSevenBit(const std::u16string& text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

// Characters that a code page may have turned into others: anything outside ASCII, and '?'.
bool Unsure(uint32_t c) { return c >= 0x80 || c == '?'; }

// A record as the agreement of two records sees it: 7-bit characters and runs of unsure
// ones; in an ASCII record, a byte from 0x40 to 0x7E right after one above 0x7F may also be
// the second byte of a double-byte character (code pages 932, 936, 949, 950).
struct Piece {
  enum Kind { Char, Run, Second } kind;
  char16_t c;
};

template <typename Text>
std::vector<Piece> Pieces(const Text& text) {
  std::vector<Piece> pieces;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const uint32_t c = uint32_t(std::make_unsigned_t<typename Text::value_type>(text[i]));
    if (Unsure(c)) {
      if (pieces.empty() || pieces.back().kind != Piece::Run) pieces.push_back({Piece::Run, 0});
      continue;
    }
    const bool second = sizeof(typename Text::value_type) == 1 && i > 0 &&
                        uint8_t(text[i - 1]) >= 0x80 && c >= 0x40 && c <= 0x7E;
    pieces.push_back({second ? Piece::Second : Piece::Char, char16_t(c)});
  }
  return pieces;
}

const char* LocalizedDamage(const uint8_t* tag, std::size_t size) {
  if (size < kLocalizedHeaderSize) return "the table of localized records is cut short";
  const LocalizedLayout layout = LocalizedLayoutOf(tag, uint32_t(size));
  if (layout.past_end) return "the table of localized records runs past the end of the tag";
  for (uint64_t i = 0; i < layout.count; ++i)
    if (!LocalizedRowAt(tag + layout.RowAt(i)).Fits(size))
      return "a localized record lies outside the tag";
  return nullptr;
}

bool BuildTextDescription(const Description& d, std::vector<uint8_t>* tag) {
  const std::size_t n = d.ascii.size() + 1;
  const bool kept = d.has_unicode && d.unicode_kept && d.unicode_stored.size() >= 8;
  const std::size_t units =
      d.has_unicode && !kept ? std::max(n, d.unicode.size() + 1) : 0;
  const std::size_t unicode = kept ? d.unicode_stored.size() : 8 + 2 * units;
  if (n > 0xFFFFFFFFu / 4 || unicode > 0xFFFFFFFFu / 4) return false;
  tag->assign(12 + n + unicode + 3 + kScriptCodeField, 0);

  uint8_t* p = tag->data();
  std::memcpy(p, "desc", 4);
  StoreBE32(p + 8, uint32_t(n));
  std::memcpy(p + 12, d.ascii.data(), n - 1);
  if (kept) {
    std::memcpy(p + 12 + n, d.unicode_stored.data(), unicode);
  } else if (d.has_unicode) {
    StoreBE32(p + 16 + n, uint32_t(units));
    uint8_t* out = p + 20 + n;
    for (char16_t unit : d.unicode) {
      *out++ = uint8_t(unit >> 8);
      *out++ = uint8_t(unit);
    }
  }
  uint8_t* script = p + 12 + n + unicode;  // the 2-byte ScriptCode code stays 0
  const std::size_t count = std::min(n, kScriptCodeField);
  script[2] = uint8_t(count);
  std::memcpy(script + 3, p + 12, count - 1);  // the text, cut to leave room for its zero
  return true;
}

// At namespace scope: a function-local static would be guarded through the thread library,
// whose records outlive a library that is loaded and unloaded (two handles per load).
const Portable g_portable;

}  // namespace

const CodePage& PortableCodePage() { return g_portable; }

const char kNoTextDamage[] = "the description is of an unknown type";

bool ParseDescription(const uint8_t* tag, std::size_t size, const Language& language,
                      Description* out) {
  const uint32_t type = size >= 4 ? LoadBE32(tag) : 0;
  if (size < (type == kTextType ? kTextStart : 12)) return false;
  *out = Description();
  if (type == kLocalizedType) {
    out->kind = DescriptionKind::Localized;
    out->damage = LocalizedDamage(tag, size);
    if (!ParseLocalizedText(tag, size, &out->records)) {
      out->damage = "the localized records are damaged";
      return true;
    }
    out->shown = ChooseLocalizedRecord(out->records, language.language, language.country);
    return true;
  }
  if (type == kTextType) {
    out->kind = DescriptionKind::Plain;
    const uint8_t* text = tag + kTextStart;
    out->ascii.assign(text, std::find(text, tag + size, uint8_t(0)));
    return true;
  }
  if (type != kDescriptionType) {
    out->damage = kNoTextDamage;
    return true;
  }
  TextDescription text;
  ParseTextDescription(tag, size, &text);
  out->ascii.swap(text.ascii);
  out->has_unicode = text.has_unicode;
  out->unicode.swap(text.unicode);
  out->unicode_stored.assign(tag + text.unicode_begin, tag + text.unicode_end);
  if (text.ascii_cut) out->damage = "the ASCII record runs past the end of the tag";
  if (text.unicode_cut) out->damage = "the Unicode record runs past the end of the tag";
  return true;
}

namespace {

// RecordsAgree's rule over records that may have been read only in part: a record that goes
// on past what was read agrees as far as it was read, so that a read limit never changes
// which record a description shows.
bool Agree(const std::string& ascii, bool ascii_goes_on, const std::u16string& unicode,
           bool unicode_goes_on) {
  const std::vector<Piece> a = Pieces(ascii), u = Pieces(unicode);
  // The places in `a` that the pieces of `u` so far can have led to: a run may end before
  // or after each second byte that follows it.  A handful is plenty for real text.
  std::vector<std::size_t> at = {0}, next;
  for (const Piece& want : u) {
    next.clear();
    for (std::size_t i : at) {
      if (i == a.size()) {
        if (ascii_goes_on) return true;
        continue;
      }
      if (want.kind == Piece::Char) {
        if (a[i].kind != Piece::Run && a[i].c == want.c) next.push_back(i + 1);
        continue;
      }
      if (a[i].kind != Piece::Run) continue;
      std::size_t end = i + 1;
      next.push_back(end);
      while (end < a.size() && a[end].kind == Piece::Second) {
        end += end + 1 < a.size() && a[end + 1].kind == Piece::Run ? 2 : 1;
        next.push_back(end);
      }
    }
    std::sort(next.begin(), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
    if (next.size() > 16) next.resize(16);
    at.swap(next);
    if (at.empty()) return false;
  }
  return unicode_goes_on || std::find(at.begin(), at.end(), a.size()) != at.end();
}

}  // namespace

bool RecordsAgree(const std::string& ascii, const std::u16string& unicode) {
  return Agree(ascii, false, unicode, false);
}

namespace {

// Whether a description record shows its Unicode record rather than its ASCII one.
bool ShowsUnicode(const Description& d) {
  return d.has_unicode && !d.unicode.empty() &&
         (d.ascii.empty() || RecordsAgree(d.ascii, d.unicode));
}

}  // namespace

std::u16string DescriptionText(const Description& d, const CodePage& code_page) {
  if (d.kind == DescriptionKind::Localized)
    return d.shown < 0 ? std::u16string() : d.records[std::size_t(d.shown)].text;
  if (d.kind == DescriptionKind::Text && ShowsUnicode(d)) return d.unicode;
  return code_page.Decode(d.ascii);
}

bool IsStorableText(const std::u16string& text) {
  if (!text.empty() && (text[0] == 0xFEFF || text[0] == 0xFFFE)) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == 0 || (c >= 0xDC00 && c < 0xE000)) return false;
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] >= 0xE000) return false;
      ++i;
    }
  }
  return true;
}

bool SetDescriptionText(Description* d, const std::u16string& text, const CodePage& code_page) {
  if (!IsStorableText(text)) return false;
  d->shown_before = DescriptionText(*d, code_page);
  d->shown_after = text;
  d->changed = true;
  const bool seven_bit = IsSevenBit(text);
  if (d->kind == DescriptionKind::Plain) {
    if (seven_bit) {
      d->ascii.assign(text.begin(), text.end());
      return true;
    }
    d->kind = d->version >= 4 ? DescriptionKind::Localized : DescriptionKind::Text;
  }
  if (d->kind == DescriptionKind::Localized) {
    if (d->shown < 0 || std::size_t(d->shown) >= d->records.size()) {
      d->records.emplace_back("en", "US", std::u16string());
      d->shown = int(d->records.size() - 1);
    }
    d->records[std::size_t(d->shown)].text = text;
    return true;
  }
  const bool unicode_shown = ShowsUnicode(*d);
  d->ascii = code_page.Encode(text);
  // A record made here rather than read (no stored bytes) has nothing of its own to keep.
  if (!seven_bit || unicode_shown || (d->has_unicode && d->unicode_stored.empty())) {
    d->has_unicode = d->has_unicode || !seven_bit;
    d->unicode = text;
    d->unicode_kept = false;
  } else {
    d->unicode_kept = d->has_unicode;  // a translation or another text: not the user's to lose
    // Unless, beside the new ASCII record (or an empty one), it would be the text shown.
    if (d->unicode_kept && DescriptionText(*d, code_page) != text) {
      d->unicode = text;
      d->unicode_kept = false;
    }
  }
  return true;
}

bool BuildDescription(const Description& d, std::vector<uint8_t>* tag) {
  if (d.kind == DescriptionKind::Text) return BuildTextDescription(d, tag);
  if (d.kind == DescriptionKind::Plain) {
    if (d.ascii.size() > 0xFFFFFF00u) return false;
    tag->assign(kTextStart + d.ascii.size() + 1, 0);
    std::memcpy(tag->data(), "text", 4);
    std::memcpy(tag->data() + kTextStart, d.ascii.data(), d.ascii.size());
    return true;
  }
  *tag = BuildLocalizedText(d.records);
  return tag->size() <= 0xFFFFFFF0u;
}

Result ProfileTags::ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) {
  uint32_t size = 0;
  Result result = profile_.GetTagSize(signature, &size);
  if (!result.ok()) return result;
  bytes->resize(size);
  if (size == 0) return {};
  bool shared = false;
  return profile_.GetTag(signature, 0, &size, bytes->data(), &shared);
}

Result ProfileTags::ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) {
  Result result = profile_.SetTagSize(signature, uint32_t(bytes.size()));
  if (!result.ok() || bytes.empty()) return result;
  return profile_.SetTag(signature, 0, uint32_t(bytes.size()), bytes.data());
}

Result ProfileTags::Header(icc::Header* header) {
  *header = profile_.header();
  return {};
}

Result ReadDescription(TagStore& tags, const Language& language, Description* out) {
  icc::Header header;
  Result result = tags.Header(&header);
  if (!result.ok()) return result;
  std::vector<uint8_t> tag;
  result = tags.ReadTag(kDescriptionTag, &tag);
  if (!result.ok()) return result;
  if (!ParseDescription(tag.data(), tag.size(), language, out)) return {Status::InvalidProfile};
  out->version = header.version_major();
  return {};
}

Result ReadDescription(Profile& profile, const Language& language, Description* out) {
  ProfileTags tags(profile);
  return ReadDescription(tags, language, out);
}

Result StoreDescription(TagStore& tags, const Description& d) {
  if (d.damage) return {Status::InvalidProfile};
  std::vector<uint8_t> tag;
  if (!BuildDescription(d, &tag)) return {Status::InvalidParameter};

  // The localized name follows where it said what was shown; other records are kept.
  std::vector<uint8_t> name;
  if (d.changed && d.kind != DescriptionKind::Localized && d.shown_before != d.shown_after) {
    std::vector<uint8_t> stored;
    std::vector<LocalizedRecord> records;
    const Result read = tags.ReadTag(kLocalizedNameTag, &stored);
    if (!read.ok() && read.status != Status::TagNotFound) return read;
    bool moved = false;
    if (read.ok() && !LocalizedDamage(stored.data(), stored.size()) &&
        ParseLocalizedText(stored.data(), stored.size(), &records))
      for (LocalizedRecord& r : records)
        if (r.text == d.shown_before) {
          r.text = d.shown_after;
          moved = true;
        }
    if (moved) name = BuildLocalizedText(records);
  }

  Result result = tags.ReplaceTag(kDescriptionTag, tag);
  if (result.ok() && !name.empty()) result = tags.ReplaceTag(kLocalizedNameTag, name);
  return result;
}

Result StoreDescription(Profile& profile, const Description& d) {
  ProfileTags tags(profile);
  return StoreDescription(tags, d);
}

bool ReadShownDescription(TagBytes& tag, const Language& language, const CodePage& code_page,
                          uint32_t limit, std::u16string* text, bool* cut) {
  text->clear();
  *cut = false;
  // Reads `count` bytes from `offset`, at most `limit` at once; fewer only where the tag ends.
  const uint32_t part = std::max<uint32_t>(limit, 1);
  auto read = [&](uint64_t offset, uint64_t count, std::vector<uint8_t>* bytes) {
    bytes->resize(std::size_t(count));
    std::size_t done = 0;
    while (done < count) {
      const uint32_t asked = uint32_t(std::min<uint64_t>(count - done, part));
      uint32_t delivered = asked;
      if (!tag.Read(uint32_t(offset + done), &delivered, bytes->data() + done)) return false;
      done += std::min(delivered, asked);
      if (delivered < asked) break;
    }
    bytes->resize(done);
    return true;
  };
  const uint32_t size = tag.Size();
  std::vector<uint8_t> head;
  if (size < kTextStart || !read(0, std::min<uint32_t>(size, kLocalizedHeaderSize), &head) ||
      head.size() < kTextStart)
    return false;
  const uint32_t type = LoadBE32(head.data());
  std::vector<uint8_t> bytes;

  if (type == kTextType) {
    const uint64_t available = size - kTextStart;
    if (!read(kTextStart, std::min<uint64_t>(available, limit), &bytes)) return false;
    const auto zero = std::find(bytes.begin(), bytes.end(), uint8_t(0));
    *text = code_page.Decode(std::string(bytes.begin(), zero));
    *cut = zero == bytes.end() && available > limit;
    return true;
  }
  if (head.size() < 12) return false;

  if (type == kLocalizedType) {
    LocalizedChoice choice;
    if (!ChooseLocalizedEntry(tag, language, limit, &choice)) return false;
    if (choice.index < 0) return true;
    const LocalizedEntry& entry = choice.entry;
    if (!read(entry.offset, std::min(entry.length, limit & ~1u), &bytes)) return false;
    std::size_t units = 0;
    while (units < bytes.size() / 2 && (bytes[2 * units] | bytes[2 * units + 1]) != 0) ++units;
    *text = DecodeUtf16BE(bytes.data(), units * 2);
    *cut = units * 2 == (limit & ~1u) && entry.length > units * 2;
    return true;
  }
  if (type != kDescriptionType) return false;  // a type that holds no text

  // The two records, each read up to `limit` characters, and the rule of DescriptionText
  // over what was read of them.
  TextDescriptionLayout layout;
  const bool placed = ReadTextDescriptionLayout(size, [&](uint64_t offset, uint32_t* value) {
    if (offset + 4 <= head.size()) {
      *value = LoadBE32(head.data() + offset);
      return true;
    }
    if (!read(offset, 4, &bytes) || bytes.size() < 4) return false;
    *value = LoadBE32(bytes.data());
    return true;
  }, &layout);
  if (!placed) return false;
  Description d;
  if (!read(TextDescriptionLayout::kAsciiAt, std::min<uint64_t>(layout.ascii_length, limit), &bytes))
    return false;
  const auto zero = std::find(bytes.begin(), bytes.end(), uint8_t(0));
  d.ascii.assign(bytes.begin(), zero);
  const bool ascii_cut = zero == bytes.end() && bytes.size() == limit && layout.ascii_length > limit;
  bool unicode_cut = false;
  if (layout.unicode_inside) {
    const uint64_t units = std::min<uint64_t>(layout.unicode_units, limit);
    if (!read(layout.units_at(), 2 * units, &bytes)) return false;
    d.has_unicode = layout.unicode_count != 0;
    d.unicode = DecodeUnicodeRecord(bytes.data(), bytes.size() / 2);
    unicode_cut = units < layout.unicode_units && d.unicode.size() + 1 >= units;
  }
  const bool unicode_shown =
      d.has_unicode && !d.unicode.empty() &&
      (d.ascii.empty() || Agree(d.ascii, ascii_cut, d.unicode, unicode_cut));
  *text = unicode_shown ? d.unicode : code_page.Decode(d.ascii);
  *cut = unicode_shown ? unicode_cut : ascii_cut;
  return true;
}

namespace {

// ReadLocalizedTable's reading: each row's first 12 bytes go to `take`, which is inlined here,
// so that a table of millions of rows costs little more than reading it.
template <typename Take>
bool ForEachLocalizedRow(TagBytes& tag, uint32_t limit, uint64_t* count, Take take) {
  *count = 0;
  const uint32_t size = tag.Size();
  uint8_t header[kLocalizedHeaderSize];
  uint32_t got = sizeof header;
  if (size < sizeof header || !tag.Read(0, &got, header) || got < sizeof header ||
      !IsLocalizedText(header, got))
    return false;
  const LocalizedLayout layout = LocalizedLayoutOf(header, size);
  const uint64_t records = layout.rows, stride = layout.stride;
  *count = records;
  // As many rows at once as `limit` bytes hold, at least one: the table is within the tag,
  // so each part is within 32 bits.
  const uint64_t rows =
      limit < kLocalizedRecordSize ? 1 : 1 + (limit - kLocalizedRecordSize) / stride;
  std::vector<uint8_t> bytes;
  for (uint64_t first = 0; first < records; first += rows) {
    const uint64_t n = std::min(rows, records - first);
    const uint32_t want = uint32_t((n - 1) * stride + kLocalizedRecordSize);
    bytes.resize(want);
    got = want;
    if (!tag.Read(uint32_t(kLocalizedHeaderSize + first * stride), &got, bytes.data()))
      return false;
    for (uint64_t i = 0; i < n && i * stride + kLocalizedRecordSize <= got; ++i)
      if (!take(bytes.data() + i * stride, size)) return true;
    if (got < want) return true;  // the tag ends early: the rows it holds are all there are
  }
  return true;
}

}  // namespace

bool ReadLocalizedTable(TagBytes& tag, uint32_t limit, uint64_t* count,
                        const std::function<bool(const LocalizedEntry&)>& take) {
  return ForEachLocalizedRow(tag, limit, count, [&](const uint8_t* row, uint32_t size) {
    return take(LocalizedEntryAt(row, size));
  });
}

bool LocalizedTableWithin(TagBytes& tag, uint64_t max_bytes) {
  uint8_t header[kLocalizedHeaderSize];
  uint32_t got = sizeof header;
  const uint32_t size = tag.Size();
  if (size < sizeof header || !tag.Read(0, &got, header) || got < sizeof header ||
      !IsLocalizedText(header, got))
    return true;
  return LocalizedTableBytes(header, size) <= max_bytes;
}

bool ChooseLocalizedEntry(TagBytes& tag, const Language& language, uint32_t limit,
                          LocalizedChoice* choice) {
  *choice = LocalizedChoice();
  LocalizedChooser chooser(language.language, language.country);
  int64_t met = 0, chosen = -1;
  const bool read =
      ForEachLocalizedRow(tag, limit, &choice->count, [&](const uint8_t* row, uint32_t size) {
        const char* codes = reinterpret_cast<const char*>(row);  // language, then country
        const bool final = chooser.Meet(codes, codes + 2);
        // The choice only ever moves to the record just met.
        if (chooser.Chosen() != chosen) {
          chosen = met;
          choice->entry = LocalizedEntryAt(row, size);
        }
        ++met;
        return !final;
      });
  choice->index = chooser.Chosen();
  return read;
}

}  // namespace icc
