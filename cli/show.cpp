// show: what each profile is, and its description.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "profile_names.h"
#include "profile_properties.h"
#include "shown_text.h"

namespace cli {
namespace {

// A description tag up to this size is read whole; a larger one a part at a time: the text
// shown and each record up to icc::kMaxShownTextBytes, and the records listed together (their
// rows and texts) up to this much, so that what show costs does not grow with what the tag
// claims.  The record shown is chosen from the whole table all the same.
constexpr uint32_t kReadWhole = 1 << 20;
constexpr char16_t kCutMark[] = u"...";  // as the info tip marks a text that goes on

// A tag of the session read a part at a time.
class SessionTag : public icc::TagBytes {
 public:
  SessionTag(ProfileSession& session, uint32_t size) : session_(session), size_(size) {}
  uint32_t Size() override { return size_; }
  bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) override {
    result = session_.ReadTagPart(icc::kDescriptionTag, offset, count, buffer);
    return result.ok();
  }
  icc::Result result;

 private:
  ProfileSession& session_;
  uint32_t size_;
};

std::u16string Marked(std::u16string text, bool cut) {
  // A surrogate pair split at the cut is not shown half.
  if (cut && !text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00) text.pop_back();
  return cut ? text + kCutMark : text;
}

// Reads the shown text and the localized records of a large tag, each cut where it goes past
// what is read (and marked so); *more counts the records left out of the list.
icc::Result ReadLargeDescription(ProfileSession& session, uint32_t size,
                                 const icc::Language& language, const icc::CodePage& code_page,
                                 std::u16string* shown, std::vector<icc::LocalizedRecord>* records,
                                 uint64_t* more) {
  SessionTag tag(session, size);
  bool cut = false;
  if (!icc::ReadShownDescription(tag, language, code_page, icc::kMaxShownTextBytes, shown, &cut))
    return tag.result.ok() ? icc::Result{icc::Status::InvalidProfile} : tag.result;
  *shown = Marked(*shown, cut);
  uint32_t left = kReadWhole;
  std::vector<uint8_t> bytes;
  uint64_t total = 0;
  const bool localized = icc::ReadLocalizedTable(
      tag, icc::kMaxShownTextBytes, &total, [&](const icc::LocalizedEntry& e) {
        if (left < icc::kLocalizedRecordSize) return false;
        left -= icc::kLocalizedRecordSize;
        uint32_t count = std::min({e.length, icc::kMaxShownTextBytes, left}) & ~1u;
        bytes.resize(count);
        if (count != 0 && !tag.Read(e.offset, &count, bytes.data())) return false;
        left -= count;
        records->emplace_back(e.language, e.country,
                              Marked(icc::DecodeUtf16BE(bytes.data(), count), count < e.length));
        return true;
      });
  if (!tag.result.ok()) return tag.result;
  if (localized) *more = total - records->size();  // another kind of tag lists no records
  return {};
}

struct Shown {
  std::string path, version, device_class, colour_space, description;
  std::vector<std::pair<std::string, std::string>> records;  // "en-US", text
  uint64_t more_records = 0;  // not listed: past what a large tag's list reads
};

std::string Hex(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02x", unsigned(uint8_t(c)));
    out += digits;
  }
  return out;
}

std::string Text(const Shown& s, bool all_languages) {
  std::string out = Printable(s.path) + "\n  version: " + s.version + "\n  class: " +
                    s.device_class + "\n  colour space: " + s.colour_space +
                    "\n  description: " + Printable(s.description) + "\n";
  if (all_languages) {
    for (const auto& record : s.records)
      out += "  " + Printable(record.first) + ": " + Printable(record.second) + "\n";
    if (s.more_records) out += "  ... and " + std::to_string(s.more_records) + " more records\n";
  }
  return out;
}

std::string Json(const Shown& s, bool all_languages) {
  // A name that is not UTF-8 is given as its bytes too, in hexadecimal.
  std::string out = "{\"path\": " + JsonString(s.path) +
                    (icc::IsUtf8(s.path) ? "" : ", \"path_bytes\": \"" + Hex(s.path) + "\"") +
                    ", \"version\": " +
                    JsonString(s.version) + ", \"class\": " + JsonString(s.device_class) +
                    ", \"colour_space\": " + JsonString(s.colour_space) +
                    ", \"description\": " + JsonString(s.description);
  if (all_languages) {
    out += ", \"languages\": {";
    for (std::size_t i = 0; i < s.records.size(); ++i)
      out += (i ? ", " : "") + JsonString(s.records[i].first) + ": " +
             JsonString(s.records[i].second);
    out += "}";
    if (s.more_records) out += ", \"more_languages\": " + std::to_string(s.more_records);
  }
  return out + "}";
}

}  // namespace

int RunShow(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> paths;
  if (!tool.ParseOptions(args, {{"--json", false}, {"--all-languages", false}, {"-r", false}},
                         &options, &paths))
    return kExitUsage;
  if (paths.empty()) return tool.Usage("show needs a PATH");
  const bool json = Tool::Has(options, "--json");
  const bool all_languages = Tool::Has(options, "--all-languages");
  const icc::Language language = tool.platform().UserLanguage();

  const std::vector<std::string> files = tool.CollectProfiles(paths, Tool::Has(options, "-r"));
  if (json) tool.Out("{\"profiles\": [");
  bool first = true;
  for (const std::string& path : files) {
    std::string reason;
    std::unique_ptr<ProfileSession> session = tool.platform().Open(path, false, &reason);
    if (!session) {
      tool.Fail(path, reason);
      continue;
    }
    icc::Header header;
    icc::Description d;
    uint32_t size = 0;
    std::u16string shown;
    uint64_t more = 0;
    icc::Result result = session->Header(&header);
    if (result.ok()) result = session->TagSize(icc::kDescriptionTag, &size);
    if (result.ok() && size > kReadWhole)
      result = ReadLargeDescription(*session, size, language, tool.platform().CodePage(), &shown,
                                    &d.records, &more);
    else if (result.ok() && (result = icc::ReadDescription(*session, language, &d)).ok())
      shown = tool.Shown(d);
    // A tag of a type that holds no text is no description, as on every other surface.
    if (result.ok() && d.damage == icc::kNoTextDamage) result = {icc::Status::InvalidProfile};
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    Shown s;
    s.path = path;
    s.version = icc::VersionText(header);
    s.device_class = icc::AnyDeviceClassName(header.device_class());
    s.colour_space = icc::AnyColourSpaceName(header.colour_space());
    // A record's text ends at its first zero (icc::TextBeforeZero), as on every surface;
    // Printable and JsonString show the other control characters.
    s.description = icc::ToUtf8(icc::TextBeforeZero(shown));
    for (const icc::LocalizedRecord& r : d.records)
      s.records.emplace_back(RecordName(r), icc::ToUtf8(icc::TextBeforeZero(r.text)));
    s.more_records = more;
    tool.Out(json ? std::string(first ? "\n  " : ",\n  ") + Json(s, all_languages)
                  : std::string(first ? "" : "\n") + Text(s, all_languages));
    first = false;
  }
  if (json) tool.Out(first ? "]}\n" : "\n]}\n");
  return tool.ExitCode();
}

}  // namespace cli
