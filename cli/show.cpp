// show: what each profile is, and its description.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "profile_names.h"
#include "profile_properties.h"

namespace cli {
namespace {

// A description tag up to this size is read whole; a larger one a part at a time: the text
// shown and each record up to icc::kMaxShownTextBytes, and all the records together up to
// this much, so that what show costs does not grow with what the tag claims.
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
// what is read (and marked so).
icc::Result ReadLargeDescription(ProfileSession& session, uint32_t size,
                                 const icc::Language& language, const icc::CodePage& code_page,
                                 std::u16string* shown, std::vector<icc::LocalizedRecord>* records) {
  SessionTag tag(session, size);
  bool cut = false;
  if (!icc::ReadShownDescription(tag, language, code_page, icc::kMaxShownTextBytes, shown, &cut))
    return tag.result.ok() ? icc::Result{icc::Status::InvalidProfile} : tag.result;
  *shown = Marked(*shown, cut);
  std::vector<uint8_t> bytes(icc::kLocalizedHeaderSize);
  uint32_t count = uint32_t(bytes.size());
  if (!tag.Read(0, &count, bytes.data())) return tag.result;
  if (count < bytes.size() || !icc::IsLocalizedText(bytes.data(), bytes.size())) return {};
  count = uint32_t(std::min<std::size_t>(icc::LocalizedTableBytes(bytes.data(), size),
                                         icc::kMaxShownTextBytes));
  bytes.resize(count);
  std::vector<icc::LocalizedEntry> entries;
  if (!tag.Read(0, &count, bytes.data())) return tag.result;
  icc::ParseLocalizedEntries(bytes.data(), count, size, &entries);
  uint32_t left = kReadWhole;
  for (const icc::LocalizedEntry& e : entries) {
    count = std::min({e.length, icc::kMaxShownTextBytes, left}) & ~1u;
    bytes.resize(count);
    if (count != 0 && !tag.Read(e.offset, &count, bytes.data())) return tag.result;
    left -= count;
    records->emplace_back(e.language, e.country,
                          Marked(icc::DecodeUtf16BE(bytes.data(), count), count < e.length));
  }
  return {};
}

struct Shown {
  std::string path, version, device_class, colour_space, description;
  std::vector<std::pair<std::string, std::string>> records;  // "en-US", text
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
  if (all_languages)
    for (const auto& record : s.records)
      out += "  " + Printable(record.first) + ": " + Printable(record.second) + "\n";
  return out;
}

std::string Json(const Shown& s, bool all_languages) {
  // A name that is not UTF-8 is given as its bytes too, in hexadecimal.
  std::string out = "{\"path\": " + JsonString(s.path) +
                    (IsUtf8(s.path) ? "" : ", \"path_bytes\": \"" + Hex(s.path) + "\"") +
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
    uint8_t header[icc::kHeaderSize];
    icc::Description d;
    uint32_t size = 0;
    std::u16string shown;
    icc::Result result = session->Header(header);
    if (result.ok()) result = session->TagSize(icc::kDescriptionTag, &size);
    if (result.ok() && size > kReadWhole)
      result = ReadLargeDescription(*session, size, language, tool.platform().CodePage(), &shown,
                                    &d.records);
    else if (result.ok() && (result = icc::ReadDescription(*session, language, &d)).ok())
      shown = tool.Shown(d);
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    Shown s;
    s.path = path;
    char version[16];
    std::snprintf(version, sizeof version, "%u.%u.%u", header[8], header[9] >> 4, header[9] & 15u);
    s.version = version;
    s.device_class = icc::DeviceClassName(icc::LoadBE32(header + 12));
    s.colour_space = icc::ColourSpaceName(icc::LoadBE32(header + 16));
    s.description = ToUtf8(shown);
    for (const icc::LocalizedRecord& r : d.records)
      s.records.emplace_back(RecordName(r), ToUtf8(r.text));
    tool.Out(json ? std::string(first ? "\n  " : ",\n  ") + Json(s, all_languages)
                  : std::string(first ? "" : "\n") + Text(s, all_languages));
    first = false;
  }
  if (json) tool.Out(first ? "]}\n" : "\n]}\n");
  return tool.ExitCode();
}

}  // namespace cli
