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
// profile ID.  Appends to report->findings.
Result CheckStructure(SourceFile& file, CheckReport* report);

// "Sound"; "1 warning", "3 warnings" (notes are not counted); or, when there are errors,
// the title of the first ("Wrong size field"), with " (+2 more)" for further errors.
std::string HealthText(const CheckReport& report);

// One finding on a line: "error    size-field (header at 0): The size field says ...".
std::string FindingLine(const Finding& finding);

// "rXYZ" for a signature, "header" for 0; characters outside printable ASCII as '?'.
std::string TagName(uint32_t signature);

}  // namespace icc
