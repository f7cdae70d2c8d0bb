#include "preview_sheet.h"

#include <cstdio>
#include <utility>

#include "localized_text.h"
#include "profile_names.h"
#include "shown_text.h"
#include "utf8.h"

namespace gamut {
namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}


std::string SizeText(uint64_t bytes) {
  std::string text = Thousands(bytes) + (bytes == 1 ? " byte" : " bytes");
  if (bytes >= 1024 * 1024) return text + Format(" (%.1f MB)", double(bytes) / (1024.0 * 1024.0));
  if (bytes >= 1024) return text + Format(" (%.1f KB)", double(bytes) / 1024.0);
  return text;
}

std::string ChromaticityText(double x, double y) { return Format("x %.4f, y %.4f", x, y); }

std::string TemperatureText(double x, double y) {
  const double cct = icc::CorrelatedColourTemperature(x, y);
  return cct > 0 ? Format("%.0f K", cct) : std::string("no colour temperature");
}

// "Error", "Warning", "Note".
std::string SeverityText(icc::Severity s) {
  std::string name = icc::SeverityName(s);
  if (!name.empty()) name[0] = char(name[0] - 'a' + 'A');
  return name;
}

// A text tag as every program shows a description: TagNotFound leaves no line, a damaged
// tag says so, a text cut at the read limit ends in an ellipsis.
void AddText(icc::Profile& profile, const icc::Language& language, const icc::CodePage& code_page,
             const char* label, uint32_t signature, std::vector<SheetLine>* lines) {
  std::u16string text;
  bool cut = false;
  const icc::Result r = icc::ReadStoredText(profile, signature, language, code_page, &text, &cut,
                                            icc::kMaxWholeReadBytes);
  if (r.status == icc::Status::TagNotFound) return;
  if (r.status == icc::Status::OutOfMemory)
    text = u"(more translations than this pane reads)";
  else if (!r.ok())
    text = icc::FromAscii(std::string("(") + icc::ResultText(r) + ")");
  text = icc::ShownText(text, icc::TextLines::Several, cut);
  if (cut) text += u"\u2026";
  lines->push_back({icc::FromAscii(label), std::move(text)});
}

// How many translations a localized description has, and which one is shown, from its record
// table alone (the record every reader of the description shows).
void AddTranslations(icc::Profile& profile, const icc::Language& language,
                     std::vector<SheetLine>* lines) {
  icc::LocalizedChoice choice;
  if (!icc::ReadLocalizedChoice(profile, icc::kDescriptionTag, language, &choice,
                                icc::kMaxWholeReadBytes)
           .ok())
    return;
  std::string value = std::to_string(choice.count);
  if (choice.index >= 0) {
    const icc::LocalizedEntry& e = choice.entry;
    auto code = [](const char (&c)[2]) {
      std::string text;
      for (char ch : c) text += ch >= 0x20 && ch < 0x7F ? ch : '?';
      return text;
    };
    value += " (shown: " + code(e.language) + (e.country[0] ? "-" + code(e.country) : "") + ")";
  }
  lines->push_back({u"Translations", icc::FromAscii(value)});
}

void AddHeaderFacts(icc::Profile& profile, PreviewSheet* sheet) {
  const icc::Header& header = profile.header();
  auto add = [&](const char* label, const std::string& value) {
    sheet->facts.push_back({icc::FromAscii(label), icc::FromAscii(value)});
  };
  auto named = [](const char* name, uint32_t signature) {
    return std::string(name) + " (" + icc::SignatureText(signature) + ")";
  };
  add("Device class", named(icc::DeviceClassName(header.device_class()), header.device_class()));
  add("Colour space", named(icc::ColourSpaceName(header.colour_space()), header.colour_space()));
  add("Connection space", named(icc::ConnectionSpaceName(header.connection_space()),
                                header.connection_space()));
  add("Rendering intent", icc::IntentName(header.intent()));
  add("Version", icc::VersionText(header));
  icc::DateTime date;
  add("Created", icc::CreationDate(header, &date)
                     ? Format("%04u-%02u-%02u %02u:%02u:%02u UTC", date.year, date.month,
                              date.day, date.hour, date.minute, date.second)
                     : std::string("(not a date)"));
  add("Creator", icc::SignatureText(header.creator()));
  add("CMM", icc::SignatureText(header.cmm()));
}

void AddWhitePoint(icc::Profile& profile, PreviewSheet* sheet) {
  icc::Xyz white;
  const icc::Result r = icc::ReadXyzTag(profile, icc::Signature("wtpt"), &white);
  if (r.status == icc::Status::TagNotFound) return;
  std::string value = r.ok() ? Format("X %.4f, Y %.4f, Z %.4f", white.X, white.Y, white.Z)
                             : std::string("(") + icc::ResultText(r) + ")";
  double x, y;
  if (r.ok() && icc::Chromaticity(white, &x, &y))
    value += "\n" + ChromaticityText(x, y) + "; " + TemperatureText(x, y);
  sheet->facts.push_back({u"Media white point", icc::FromAscii(value)});
}

void AddPicture(icc::Profile& profile, PreviewSheet* sheet) {
  const icc::Result r = ComputeGamut(profile, &sheet->gamut);
  sheet->has_picture = r.ok();
  if (r.status == icc::Status::OutOfMemory) {
    sheet->no_picture = u"No gamut picture: its tables are larger than a picture may read.";
    return;
  }
  // A profile the doctor calls sound can still give Little CMS nothing to draw from.
  if (r.status == icc::Status::InvalidProfile) {
    sheet->no_picture = u"No gamut picture: Little CMS makes no transform from its data.";
    return;
  }
  if (!r.ok()) {
    sheet->no_picture =
        icc::FromAscii(std::string("No gamut picture: ") + icc::ResultText(r) + ".");
    return;
  }
  static const char* const kNames[] = {"Red primary", "Green primary", "Blue primary"};
  for (std::size_t i = 0; i < sheet->gamut.primaries.size() && i < 3; ++i) {
    const Point& p = sheet->gamut.primaries[i];
    sheet->facts.push_back({icc::FromAscii(kNames[i]), icc::FromAscii(ChromaticityText(p.x, p.y))});
  }
}

// A stored text as one entry of the sheet: its lines (icc::ShownText's rule) continue on
// indented lines, and trailing blanks go.
std::u16string Shown(const std::u16string& value) {
  std::u16string out;
  for (char16_t c : icc::ShownText(value, icc::TextLines::Several)) {
    if (c != u'\n') {
      out += c;
      continue;
    }
    while (!out.empty() && (out.back() == u' ' || out.back() == u'\t')) out.pop_back();
    out += u"\r\n\t";
  }
  while (!out.empty() && (out.back() == u' ' || out.back() == u'\t' || out.back() == u'\n' ||
                          out.back() == u'\r'))
    out.pop_back();
  return out;
}

}  // namespace

void BuildPreviewSheet(icc::Profile& profile, const icc::Language& language,
                       const icc::CodePage& code_page, PreviewSheet* sheet) {
  *sheet = PreviewSheet();
  std::vector<SheetLine> description;
  AddText(profile, language, code_page, "Description", icc::kDescriptionTag, &description);
  sheet->description = description.empty() ? u"(no description)" : description[0].value;
  AddTranslations(profile, language, &sheet->texts);
  AddText(profile, language, code_page, "Copyright", icc::Signature("cprt"), &sheet->texts);
  AddText(profile, language, code_page, "Manufacturer", icc::Signature("dmnd"), &sheet->texts);
  AddText(profile, language, code_page, "Model", icc::Signature("dmdd"), &sheet->texts);
  AddHeaderFacts(profile, sheet);
  AddWhitePoint(profile, sheet);
  AddPicture(profile, sheet);
  sheet->facts.push_back({u"File size", icc::FromAscii(SizeText(profile.FileSize()))});
  sheet->tags_read = icc::ReadTagTable(profile, &sheet->tags).ok();
}

void MeasurePreviewSheet(icc::Profile& profile, PreviewSheet* sheet, const Limits& limits,
                         Solid* kept, const std::atomic<bool>* abandoned) {
  Solid solid;
  const SolidResult s = ComputeSolid(profile, &solid, limits);
  if (!s.result.ok()) solid = Solid();
  auto add = [&](const std::string& label, const std::string& value) {
    sheet->volume.push_back({icc::FromAscii(label), icc::FromAscii(value)});
  };
  sheet->volume.clear();
  if (!s.result.ok()) {
    add("Gamut volume", std::string("(not measured: ") + icc::ResultText(s.result) + ")");
  } else if (s.none != NoSolid::None || solid.empty()) {
    add("Gamut volume", std::string("none: ") + NoSolidText(s.none));
  } else {
    add("Gamut volume", Thousands(uint64_t(solid.volume() + 0.5)));
    for (int i = 0; i < kReferenceCount && !(abandoned && *abandoned); ++i) {
      const Reference r = Reference(i);
      add(std::string(ReferenceName(r)) + " coverage",
          Format("%.1f %%", Coverage(solid, ReferenceSolid(r))));
    }
  }
  if (kept) *kept = std::move(solid);
}

void RefusedPreviewSheet(const icc::Result& refusal, PreviewSheet* sheet) {
  *sheet = PreviewSheet();
  sheet->description = u"(not a readable profile)";
  sheet->no_picture = u"No gamut picture: the profile cannot be read.";
  sheet->refusal = refusal;
}

void FinishPreviewSheet(const icc::CheckReport& report, PreviewSheet* sheet) {
  icc::CheckReport shown = report;
  if (!sheet->refusal.ok() && shown.Count(icc::Severity::Error) == 0)
    shown.Add(icc::Severity::Error, "unreadable", 0, -1,
              std::string("The profile cannot be read: ") + icc::ResultText(sheet->refusal) + ".");
  if (sheet->refusal.ok())
    sheet->health = {{u"Profile ID", icc::FromAscii(icc::ProfileIdText(sheet->refusal, report))}};
  sheet->verdict = icc::HealthText(shown);
  sheet->findings = std::move(shown.findings);
  sheet->finished = true;
}

std::u16string SheetText(const PreviewSheet& sheet) {
  std::u16string text = Shown(sheet.description) + u"\r\n";
  auto lines = [&](const std::vector<SheetLine>& rows) {
    for (const SheetLine& row : rows) text += row.label + u":\t" + Shown(row.value) + u"\r\n";
  };
  lines(sheet.texts);
  text += u"\r\n";
  lines(sheet.facts);
  if (!sheet.volume.empty()) text += u"\r\n";
  lines(sheet.volume);
  if (!sheet.has_picture && !sheet.no_picture.empty()) text += sheet.no_picture + u"\r\n";
  lines(sheet.health);

  text += u"\r\nHealth:\t" + (sheet.finished ? icc::FromAscii(sheet.verdict) : u"checking...") +
          u"\r\n";
  for (const icc::Finding& f : sheet.findings) {
    std::string where = icc::TagName(f.tag);
    if (f.offset >= 0) where += Format(" at %lld", static_cast<long long>(f.offset));
    text += icc::FromAscii(SeverityText(f.severity) + " (" + where + "):\t") +
            Shown(icc::FromAscii(f.message)) + u"\r\n";
  }

  if (sheet.tags_read) {
    text += icc::FromAscii(Format("\r\nTags (%zu)\r\n", sheet.tags.size()));
    for (const icc::TagRow& row : sheet.tags)
      text += icc::FromAscii(icc::SignatureText(row.signature) + "\t" +
                  (row.type ? icc::SignatureText(row.type) : std::string("-")) + "\t" +
                  SizeText(row.size) + (row.shared ? "\tshared" : "")) + u"\r\n";
  }
  return text;
}

}  // namespace gamut
