#include "description.h"

#include <cstring>

#include "text_description.h"

namespace icc {
namespace {

// Windows-1252 from 0x80 to 0x9F; the bytes it leaves undefined stand for themselves.
const char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool BuildTextDescription(const Description& d, std::vector<uint8_t>* tag) {
  const std::size_t n = d.ascii.size() + 1;
  const std::size_t units = d.has_unicode ? (n > d.unicode.size() + 1 ? n : d.unicode.size() + 1)
                                          : 0;
  const std::size_t unicode = d.has_unicode ? 2 + 2 * units : 0;
  if (n > 0xFFFFFFFFu / 4 || units > 0xFFFFFFFFu / 4) return false;
  tag->assign(90 + n + unicode, 0);

  uint8_t* p = tag->data();
  std::memcpy(p, "desc", 4);
  StoreBE32(p + 8, uint32_t(n));
  std::memcpy(p + 12, d.ascii.data(), n - 1);
  if (d.has_unicode) {
    StoreBE32(p + 16 + n, uint32_t(units + 1));
    p[20 + n] = 0xFE;
    p[21 + n] = 0xFF;
    uint8_t* out = p + 22 + n;
    for (char16_t unit : d.unicode) {
      *out++ = uint8_t(unit >> 8);
      *out++ = uint8_t(unit);
    }
  }
  uint8_t* script = p + 20 + n + unicode;  // the 2-byte ScriptCode code stays 0
  const std::size_t count = n < kScriptCodeField ? n : kScriptCodeField;
  script[2] = uint8_t(count);
  std::memcpy(script + 3, p + 12, count);
  return true;
}

}  // namespace

bool ParseDescription(const uint8_t* tag, std::size_t size, const Language& language,
                      Description* out) {
  if (IsLocalizedText(tag, size)) {
    std::vector<LocalizedRecord> records;
    if (!ParseLocalizedText(tag, size, &records)) return false;
    *out = Description();
    out->kind = DescriptionKind::Localized;
    out->records.swap(records);
    out->shown = ChooseLocalizedRecord(out->records, language.language, language.country);
    return true;
  }
  TextDescription text;
  if (!ParseTextDescription(tag, size, &text)) return false;
  *out = Description();
  out->ascii.swap(text.ascii);
  out->has_unicode = text.has_unicode;
  out->unicode.swap(text.unicode);
  return true;
}

std::u16string DescriptionText(const Description& d) {
  if (d.kind == DescriptionKind::Localized)
    return d.shown < 0 ? std::u16string() : d.records[std::size_t(d.shown)].text;
  if (d.has_unicode && !d.unicode.empty()) return d.unicode;
  std::u16string text;
  text.reserve(d.ascii.size());
  for (char c : d.ascii) {
    const uint8_t byte = uint8_t(c);
    text.push_back(byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t(byte));
  }
  return text;
}

void SetDescriptionText(Description* d, const std::u16string& text, const std::string& ascii,
                        bool ascii_lost_characters) {
  if (d->kind == DescriptionKind::Localized) {
    if (d->shown < 0 || std::size_t(d->shown) >= d->records.size()) {
      d->records.emplace_back("en", "US", std::u16string());
      d->shown = int(d->records.size() - 1);
    }
    d->records[std::size_t(d->shown)].text = text;
    return;
  }
  d->ascii = ascii;
  d->unicode = text;
  if (ascii_lost_characters) d->has_unicode = true;
}

bool BuildDescription(const Description& d, std::vector<uint8_t>* tag) {
  if (d.kind == DescriptionKind::Text) return BuildTextDescription(d, tag);
  *tag = BuildLocalizedText(d.records);
  return tag->size() <= 0xFFFFFFF0u;
}

bool UpdateLocalizedName(const uint8_t* stored, std::size_t size, const Language& language,
                         const std::u16string& text, std::vector<uint8_t>* updated) {
  std::vector<LocalizedRecord> records;
  if (!ParseLocalizedText(stored, size, &records)) return false;
  const int shown = ChooseLocalizedRecord(records, language.language, language.country);
  if (shown < 0) return false;
  records[std::size_t(shown)].text = text;
  *updated = BuildLocalizedText(records);
  return true;
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

Result ReadDescription(TagStore& tags, const Language& language, Description* out) {
  std::vector<uint8_t> tag;
  Result result = tags.ReadTag(kDescriptionTag, &tag);
  if (!result.ok()) return result;
  if (!ParseDescription(tag.data(), tag.size(), language, out)) return {Status::InvalidProfile};
  return {};
}

Result ReadDescription(Profile& profile, const Language& language, Description* out) {
  ProfileTags tags(profile);
  return ReadDescription(tags, language, out);
}

Result StoreDescription(TagStore& tags, const Description& d, const Language& language) {
  std::vector<uint8_t> tag;
  if (!BuildDescription(d, &tag)) return {Status::InvalidParameter};

  std::vector<uint8_t> name;
  if (d.kind == DescriptionKind::Text) {
    std::vector<uint8_t> stored;
    const Result read = tags.ReadTag(kLocalizedNameTag, &stored);
    if (!read.ok() && read.status != Status::TagNotFound) return read;
    if (read.ok() && !UpdateLocalizedName(stored.data(), stored.size(), language, d.unicode, &name))
      name.clear();
  }

  Result result = tags.ReplaceTag(kDescriptionTag, tag);
  if (result.ok() && !name.empty()) result = tags.ReplaceTag(kLocalizedNameTag, name);
  return result;
}

Result StoreDescription(Profile& profile, const Description& d, const Language& language) {
  ProfileTags tags(profile);
  return StoreDescription(tags, d, language);
}

}  // namespace icc
