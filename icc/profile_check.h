// What is wrong with a profile, in words: the structural checks of the profile doctor.
// Portable: reads the file through icc::SourceFile only, never past its end, and only what
// a check needs (the header, the tag table, the tags' own structures, the gaps between
// them; the whole profile once when it carries a profile ID).
//
// Use:
//
//   icc::CheckReport report;
//   icc::Result r = icc::CheckStructure(file, &report);  // header, tag table, tags
//   // doctor::CheckProfile (doctor/doctor.h) adds the colour checks through Little CMS;
//   // surfaces call that one.
//   for (const icc::Finding& f : report.findings)
//     ... f.severity, f.code ("size-field"), f.tag (0: the header), f.offset (-1: none),
//         f.message (a sentence for a person)
//   icc::HealthText(report);   // "Sound", "2 warnings", or the first error in a few words
//
// A file that is not a profile at all (shorter than a header and tag count, no 'acsp')
// gives report.readable == false and one error; I/O failures come back as the Result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "profile_properties.h"

namespace icc {

enum class Severity {
  Error,    // readers may refuse or misread the profile
  Warning,  // not what the format allows, but readable
  Note,
};
const char* SeverityName(Severity severity);  // "error", "warning", "note"

struct Finding {
  Severity severity = Severity::Note;
  const char* code = "";  // stable: "size-field", "tag-alignment", ... (see CheckCodes)
  uint32_t tag = 0;       // the tag's signature; 0 for the header or the whole profile
  int64_t offset = -1;    // byte offset in the file where it applies; -1 when none does
  std::string message;    // one sentence
};

struct CheckReport {
  bool readable = true;  // false: not a profile; nothing but that finding was checked
  ProfileIdState id_state = ProfileIdState::Absent;  // a wrong one is also a finding
  std::vector<Finding> findings;

  std::size_t Count(Severity severity) const;
  bool Has(const char* code) const;
  void Add(Severity severity, const char* code, uint32_t tag, int64_t offset,
           std::string message);
};

// One row per code the checker can give: its usual severity, a few words for a column or
// a status bar, and whether `fix` can repair it.
struct CheckCode {
  const char* code;
  const char* title;  // "Wrong size field"
  bool repairable;
};
const std::vector<CheckCode>& CheckCodes();
const CheckCode* FindCheckCode(const char* code);

// Header, tag table and the tags' types and structures, the tags a class requires, the
// profile ID (when it covers at most `max_id_bytes`: the shell's handlers pass
// kMaxWholeReadBytes).  Appends to report->findings.
Result CheckStructure(SourceFile& file, CheckReport* report, uint64_t max_id_bytes = UINT64_MAX);

// "Sound"; "1 warning", "3 warnings" (notes are not counted); or, when there are errors,
// the title of the first ("Wrong size field"), with " (+1 more error)", " (+2 more errors)"
// for further errors.
std::string HealthText(const CheckReport& report);

// The profile ID's state as a check of the profile `read` found it ("Valid", ...), or
// nothing when the profile could not be read: the line every surface shows beside the health.
inline const char* ProfileIdText(const Result& read, const CheckReport& report) {
  return read.ok() ? ProfileIdStateText(report.id_state) : "";
}

// One finding on a line: "error    size-field (header at 0): The size field says ...".
std::string FindingLine(const Finding& finding);

// "rXYZ" for a signature, "header" for 0; characters outside printable ASCII as '?'.  The
// place of a finding, and its "tag" in JSON.
std::string TagName(uint32_t signature);

// A signature in a sentence: rXYZ as it is, 'XYZ ' quoted when it holds characters other
// than letters and digits, 0x6D6E7400 when some are not printable, none for 0.
std::string SignatureWords(uint32_t signature);

}  // namespace icc
