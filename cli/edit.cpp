// set and replace: new descriptions, each file saved atomically by the container.
#include <algorithm>
#include <functional>

#include "commands.h"
#include "shown_text.h"

namespace cli {
namespace {

struct Change {
  std::u16string before, after;
  std::string language = {};  // "en-US" for a localized record
};

enum class Outcome { Unchanged, Changed, InvalidText };

// Decides the new description.
using Edit = std::function<Outcome(icc::Description& d, std::vector<Change>* changes)>;

// Gives the description new text by the one rule of the codec; false for text that is not
// valid UTF-16, which the caller reports.
bool SetText(Tool& tool, icc::Description* d, const std::u16string& text) {
  return icc::SetDescriptionText(d, text, tool.platform().CodePage());
}

std::string TooLong(uint64_t size) {
  return "the description is too long to rewrite (" + Megabytes(size) + "; at most " +
         Megabytes(kLongestRewritten) + "); the file is left as it was";
}

// Each file's report line is written once its new file has taken the old one's place; a
// dry run opens each file as for writing, so that what would fail is said.
int EditFiles(Tool& tool, const std::vector<std::string>& files, bool dry_run,
              const icc::Language& language, const Edit& edit) {
  const std::string would_fail = dry_run ? "would fail: " : "";
  tool.BeginProgress(files.size());
  for (const std::string& path : files) {
    tool.Step();
    std::string reason;
    std::unique_ptr<ProfileSession> session = tool.platform().Open(path, true, &reason);
    if (!session) {
      tool.Fail(path, would_fail + reason);
      continue;
    }
    icc::Description d;
    uint32_t size = 0;
    icc::Result result = session->TagSize(icc::kDescriptionTag, &size);
    if (result.ok() && size > kLongestRewritten) {
      tool.Fail(path, would_fail + TooLong(size));
      continue;
    }
    if (result.ok()) result = icc::ReadDescription(*session, language, &d);
    std::vector<Change> changes;
    if (!result.ok()) {
      tool.Fail(path, would_fail + tool.Reason(result));
      continue;
    }
    if (d.damage) {  // what cannot be read whole is not rewritten
      tool.Fail(path, would_fail + "the description is damaged (" + d.damage +
                          "); the file is left as it was");
      continue;
    }
    const Outcome outcome = edit(d, &changes);
    if (outcome == Outcome::InvalidText)
      tool.Fail(path, would_fail + "the new text is not valid Unicode; the file is left as it was");
    if (outcome != Outcome::Changed) continue;
    std::vector<uint8_t> tag;
    result = icc::BuildDescription(d, &tag) ? icc::Result() : icc::Result{icc::Status::InvalidParameter};
    if (result.ok() && tag.size() > kLongestRewritten) {
      tool.Fail(path, would_fail + TooLong(tag.size()));
      continue;
    }
    std::vector<uint8_t>().swap(tag);  // StoreDescription builds its own
    if (result.ok() && !dry_run) result = icc::StoreDescription(*session, d);
    if (!result.ok()) {
      tool.Fail(path, would_fail + tool.Reason(result));
      continue;
    }
    std::string report;
    for (const Change& c : changes)
      report += Printable(path) + (c.language.empty() ? "" : " (" + Printable(c.language) + ")") + ": " +
                (dry_run ? "would change \"" : "\"") + Printable(icc::ToUtf8(c.before)) +
                "\" -> \"" + Printable(icc::ToUtf8(c.after)) + "\"\n";
    if (dry_run) {
      tool.Out(report);
      continue;
    }
    session->Save([&tool, path, report](const icc::Result& committed) {
      if (committed.ok())
        tool.Out(report);
      else
        tool.Fail(path, tool.Reason(committed));
    });
  }
  tool.platform().CommitSaves();
  tool.EndProgress();
  return tool.ExitCode();
}

// A file's bytes, or standard input's for "-".
bool ReadText(Platform& platform, const std::string& path, std::string* text, std::string* reason) {
  uint64_t size = 0;
  if (path == "-") {
    if (!platform.ReadInput(text, reason)) return false;
    size = text->size();
  } else {
    const std::unique_ptr<icc::SourceFile> file = platform.OpenFile(path, reason);
    if (!file) return false;
    size = file->Size();
    if (size <= kLongestText) {
      text->resize(std::size_t(size));
      const icc::Result r = file->ReadAt(0, &(*text)[0], text->size());
      if (!r.ok()) {
        *reason = platform.ErrorText(r.os_error);
        return false;
      }
    }
  }
  if (size <= kLongestText) return true;
  *reason = "the text is longer than a description can be";
  return false;
}

// The options and operands of set and replace, `texts` operands before the paths (the last
// of them may come from --text-from).  Gives kExitOk when the command can go on, else its
// exit code; `needs` is the usage error for too few operands.
int ParseEdit(Tool& tool, const std::vector<std::string>& args, std::vector<OptionSpec> spec,
              std::size_t texts, const char* needs,
              std::vector<std::pair<std::string, std::string>>* options,
              std::vector<std::string>* operands) {
  for (const char* name : {"-r", "--dry-run", "--in-place"}) spec.push_back({name, false});
  spec.push_back({"--text-from", true});
  if (!tool.ParseOptions(args, spec, options, operands)) return kExitUsage;
  std::string from;
  if (Tool::Has(*options, "--text-from", &from)) {
    std::string text, reason;
    if (!ReadText(tool.platform(), from, &text, &reason)) {
      tool.Fail(from, reason);
      return kExitFailed;
    }
    // A file ends with a line break that is not part of the text.
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (operands->size() + 1 < texts) return tool.Usage(needs);
    operands->insert(operands->begin() + std::ptrdiff_t(texts - 1), text);
  }
  if (operands->size() <= texts) return tool.Usage(needs);
  for (std::size_t i = 0; i < texts; ++i)
    if (!icc::IsUtf8((*operands)[i])) return tool.Usage("the text is not valid UTF-8");
  tool.platform().in_place = Tool::Has(*options, "--in-place");
  return kExitOk;
}

// "ll-CC", "ll_CC" or "ll".
bool ParseLanguage(const std::string& text, icc::Language* language) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const bool country = text.size() == 5 && (text[2] == '-' || text[2] == '_') &&
                       letter(text[3]) && letter(text[4]);
  if ((text.size() != 2 && !country) || !letter(text[0]) || !letter(text[1])) return false;
  *language = icc::Language();
  language->language[0] = char(text[0] | 0x20);
  language->language[1] = char(text[1] | 0x20);
  if (country) {
    language->country[0] = char(text[3] & ~0x20);
    language->country[1] = char(text[4] & ~0x20);
  }
  return true;
}

// The record a reader in that language sees: the exact language and country, else the
// first of the language alone; -1 when the language has none.
int FindRecord(const std::vector<icc::LocalizedRecord>& records, const icc::Language& language) {
  const int i = icc::ChooseLocalizedRecord(records, language.language, language.country);
  return i >= 0 && std::equal(language.language, language.language + 2,
                              records[std::size_t(i)].language)
             ? i
             : -1;
}

std::u16string ReplaceAll(std::u16string text, const std::u16string& old_text,
                          const std::u16string& new_text) {
  for (std::size_t at = text.find(old_text); at != std::u16string::npos;
       at = text.find(old_text, at + new_text.size()))
    text.replace(at, old_text.size(), new_text);
  return text;
}

}  // namespace

int RunSet(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  const int code = ParseEdit(tool, args, {{"--lang", true}}, 1, "set needs a TEXT and a FILE",
                             &options, &operands);
  if (code != kExitOk) return code;
  icc::Language language = tool.platform().UserLanguage();
  std::string asked;
  const bool explicit_language = Tool::Has(options, "--lang", &asked);
  if (explicit_language && !ParseLanguage(asked, &language))
    return tool.Usage("--lang takes a language, such as de, or a language and a country, such as en-US");
  const std::u16string text = icc::FromUtf8(operands[0]);

  const std::vector<std::string> files = tool.CollectProfiles(
      std::vector<std::string>(operands.begin() + 1, operands.end()), Tool::Has(options, "-r"));
  return EditFiles(tool, files, Tool::Has(options, "--dry-run"), language,
                   [&](icc::Description& d, std::vector<Change>* changes) {
                     bool added = false;
                     if (d.kind == icc::DescriptionKind::Localized && explicit_language) {
                       // The record of the language asked for, added when there is none.
                       d.shown = FindRecord(d.records, language);
                       if (d.shown < 0) {
                         d.records.emplace_back(language.language, language.country, u"");
                         d.shown = int(d.records.size() - 1);
                         added = true;
                       }
                     }
                     const std::u16string before = tool.Shown(d);
                     if (before == text && !added) return Outcome::Unchanged;
                     if (!SetText(tool, &d, text)) return Outcome::InvalidText;
                     changes->push_back({before, text});
                     return Outcome::Changed;
                   });
}

int RunReplace(Tool& tool, const std::vector<std::string>& args) {
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<std::string> operands;
  const int code =
      ParseEdit(tool, args, {}, 2, "replace needs OLD, NEW and a PATH", &options, &operands);
  if (code != kExitOk) return code;
  const std::u16string old_text = icc::FromUtf8(operands[0]), new_text = icc::FromUtf8(operands[1]);
  if (old_text.empty()) return tool.Usage("OLD must not be empty");

  const std::vector<std::string> files = tool.CollectProfiles(
      std::vector<std::string>(operands.begin() + 2, operands.end()), Tool::Has(options, "-r"));
  return EditFiles(tool, files, Tool::Has(options, "--dry-run"), tool.platform().UserLanguage(),
                   [&](icc::Description& d, std::vector<Change>* changes) {
                     if (d.kind == icc::DescriptionKind::Localized) {
                       for (icc::LocalizedRecord& r : d.records) {
                         // The zero many records end with is not part of the text: the
                         // new text is stored without it.
                         const std::u16string before = icc::TextBeforeZero(r.text);
                         if (before.find(old_text) == std::u16string::npos) continue;
                         const std::u16string after = ReplaceAll(before, old_text, new_text);
                         if (!icc::IsStorableText(after)) return Outcome::InvalidText;
                         changes->push_back({before, after, RecordName(r)});
                         r.text = after;
                       }
                       return changes->empty() ? Outcome::Unchanged : Outcome::Changed;
                     }
                     const std::u16string before = tool.Shown(d);
                     if (before.find(old_text) == std::u16string::npos) return Outcome::Unchanged;
                     const std::u16string after = ReplaceAll(before, old_text, new_text);
                     if (!SetText(tool, &d, after)) return Outcome::InvalidText;
                     changes->push_back({before, after});
                     return Outcome::Changed;
                   });
}

}  // namespace cli
