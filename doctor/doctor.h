// The profile doctor: every check of a profile, structural (icc::CheckStructure, portable,
// in icc/) and colorimetric (through Little CMS, here), and the repairs of `fix`.
// Surfaces (tagwright-cli, Hueshell's property handler, Tagwright) call these and nothing
// else.
//
// Use:
//
//   icc::CheckReport report;
//   if (!doctor::CheckProfile(file, &report).ok()) ...;   // the file could not be read
//   icc::HealthText(report);                               // "Sound", "2 warnings", ...
//   for (const icc::Finding& f : report.findings) ...       // see icc/profile_check.h
//
//   doctor::Repair repair;
//   doctor::RepairProfile(file, &repair);   // in memory; repair.repaired lists the codes
//   if (repair.profile) icc::Commit(*repair.profile, replacement);   // the atomic save
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "profile_check.h"

namespace doctor {

// The structural checks and, for a profile whose structure the container accepts, the
// colour checks: Little CMS opens it; a plausible media white point; a matrix profile's
// colorants in range and adding up to the connection space's white; tone curves (and a
// 'vcgt') monotonic and spanning their range, colorants in their own tags; an RGB device
// profile's gray axis neutral and monotonic.  A version 5 profile gets the structural
// checks and a note that its colour transforms are not read.  The profile ID is checked
// when it covers at most `max_id_bytes` (report->id_state).
icc::Result CheckProfile(icc::SourceFile& file, icc::CheckReport* report,
                         uint64_t max_id_bytes = UINT64_MAX);

// Whether the tag table is too damaged for the colour checks and for repairs: a profile
// that cannot be read, or tags counted past the file, outside it, overlapping or twice.
bool TableDamaged(const icc::CheckReport& report);

// The colour checks alone, over an open profile.
void CheckColour(icc::Profile& profile, icc::CheckReport* report);

// Whether `fix` repairs such a finding: a repairable code (icc::CheckCodes) that is not a
// note.  A note is something a profile may mean, so it is never repaired.
bool Repairable(const icc::Finding& finding);

struct Repair {
  icc::CheckReport before;             // the findings of the file as it is
  // Those of the repaired profile (== before: none); a finding `fix` could repair and left
  // ends its message with why ("Not repaired: ...").
  icc::CheckReport after;
  std::vector<std::string> repaired;   // codes found before and gone after
  // What cannot be repaired: one finding per code left, with the reason as its message.
  std::vector<icc::Finding> not_repaired;
  // The repaired profile, ready for icc::Commit; null when nothing was repaired.  It differs
  // from the file only in the bytes of the repaired findings, the size field and the
  // profile ID.
  std::unique_ptr<icc::Profile> profile;
};

// Repairs what can be repaired without changing what the profile means, each repair in the
// bytes of its finding alone: the size field, a wrong profile ID (when nothing else is in
// error), misaligned tags (zeros inserted before them), padding that is not zero (zeroed),
// bytes after the last tag (cut), a ScriptCode field of the wrong length, and a description
// of the other version's type ('desc' as a text description in a version 4 profile becomes
// 'mluc' with the same text, a single 'mluc' record the reverse).  No text is rewritten: a
// conversion that would lose one is refused.  Nothing is repaired while the tag table points
// into other data (rows overlapping, past the file, twice, or on bytes that are no tag), and
// the layout (size field, padding, trailing bytes, alignment) is left while a damaged tag
// may own the bytes after it.  A repair that would change any other finding is not made.
// Reads the whole file.
icc::Result RepairProfile(icc::SourceFile& file, Repair* repair);

}  // namespace doctor
