// set and replace: new descriptions, each file saved atomically by the container.
#include <algorithm>
#include <functional>

#include "commands.h"

namespace cli {
namespace {

struct Change {
  std::u16string before, after;
};

enum class Outcome { Unchanged, Changed, InvalidText };

// Decides the new description.
using Edit = std::function<Outcome(icc::Description& d, std::vector<Change>* changes)>;

// Gives the description new text by the one rule of the codec; false for text that is not
// valid UTF-16, which the caller reports.
bool SetText(Tool& tool, icc::Description* d, const std::u16string& text) {
  return icc::SetDescriptionText(d, text, tool.platform().CodePage());
}

int EditFiles(Tool& tool, const std::vector<std::string>& files, bool dry_run,
              const icc::Language& language, const Edit& edit) {
  tool.BeginProgress(files.size());
  for (const std::string& path : files) {
    tool.Step();
    std::string reason;
    std::unique_ptr<ProfileSession> session = tool.platform().Open(path, !dry_run, &reason);
    if (!session) {
      tool.Fail(path, reason);
      continue;
    }
    icc::Description d;
    icc::Result result = icc::ReadDescription(*session, language, &d);
    std::vector<Change> changes;
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    if (d.damage) {  // what cannot be read whole is not rewritten
      tool.Fail(path, std::string("the description is damaged (") + d.damage +
                          "); the file is left as it was");
      continue;
    }
    const Outcome outcome = edit(d, &changes);
    if (outcome == Outcome::InvalidText)
      tool.Fail(path, "the new text is not valid Unicode; the file is left as it was");
    if (outcome != Outcome::Changed) continue;
    std::vector<uint8_t> tag;
    if (dry_run)
      result = icc::BuildDescription(d, &tag) ? icc::Result() : icc::Result{icc::Status::InvalidParameter};
    else
      result = icc::StoreDescription(*session, d);
    if (result.ok() && !dry_run) result = session->Save();
    if (!result.ok()) {
      tool.Fail(path, tool.Reason(result));
      continue;
    }
    std::string report;
    for (const Change& c : changes)
      report += path + ": \"" + ToUtf8(c.before) + "\" -> \"" + ToUtf8(c.after) + "\"\n";
    tool.Out(report);
  }
  tool.EndProgress();
  return tool.ExitCode();
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
  if (!tool.ParseOptions(args, {{"--lang", true}, {"--dry-run", false}}, &options, &operands))
    return kExitUsage;
  if (operands.size() < 2) return tool.Usage("set needs a TEXT and a FILE");
  icc::Language language = tool.platform().UserLanguage();
  std::string asked;
  const bool explicit_language = Tool::Has(options, "--lang", &asked);
  if (explicit_language && !ParseLanguage(asked, &language))
    return tool.Usage("--lang takes a language, such as de, or a language and a country, such as en-US");
  const std::u16string text = FromUtf8(operands[0]);

  const std::vector<std::string> files(operands.begin() + 1, operands.end());
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
  if (!tool.ParseOptions(args, {{"-r", false}, {"--dry-run", false}}, &options, &operands))
    return kExitUsage;
  if (operands.size() < 3) return tool.Usage("replace needs OLD, NEW and a PATH");
  const std::u16string old_text = FromUtf8(operands[0]), new_text = FromUtf8(operands[1]);
  if (old_text.empty()) return tool.Usage("OLD must not be empty");

  const std::vector<std::string> files = tool.CollectProfiles(
      std::vector<std::string>(operands.begin() + 2, operands.end()), Tool::Has(options, "-r"));
  return EditFiles(tool, files, Tool::Has(options, "--dry-run"), tool.platform().UserLanguage(),
                   [&](icc::Description& d, std::vector<Change>* changes) {
                     if (d.kind == icc::DescriptionKind::Localized) {
                       for (icc::LocalizedRecord& r : d.records) {
                         if (r.text.find(old_text) == std::u16string::npos) continue;
                         const std::u16string after = ReplaceAll(r.text, old_text, new_text);
                         if (!icc::IsStorableText(after)) return Outcome::InvalidText;
                         changes->push_back({r.text, after});
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
