// What a preview pane shows of a profile, as text and a picture: the description and the
// texts beside it, the header's facts, the media white point, the primaries of a matrix
// profile, the tag table and the verdict on the profile's health.  Portable: the platform
// layer lays it out and draws it.
//
// The sheet is made in two steps, so that a pane can show the cheap part at once:
//  - BuildPreviewSheet reads the header, the tag table, the few tags shown and computes
//    the gamut; its cost does not grow with the profile's size; MeasurePreviewSheet adds
//    the gamut's volume (volume.h), within the same limits and at a few times the cost (a
//    pane measures it with the doctor's report, off its window's thread);
//  - FinishPreviewSheet takes the profile doctor's report (doctor::CheckProfile, which reads
//    the whole profile when it carries an ID: a pane bounds that read and makes the report
//    off its window's thread) as the verdict and the profile ID's state.
// A file the container refuses starts as RefusedPreviewSheet and is finished the same way.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "description.h"
#include "gamut.h"
#include "icc_profile.h"
#include "profile_check.h"
#include "profile_facts.h"
#include "profile_properties.h"
#include "volume.h"

namespace gamut {

struct SheetLine {
  std::u16string label, value;
};

struct PreviewSheet {
  std::u16string description;
  std::vector<SheetLine> texts;  // translations, copyright, manufacturer, model
  std::vector<SheetLine> facts;  // header, white point, primaries, file size
  std::vector<SheetLine> volume;  // the gamut's volume and coverages, or why it has none
  std::vector<icc::TagRow> tags;
  bool tags_read = false;
  // The picture: `gamut` when has_picture, else why there is none.
  bool has_picture = false;
  Gamut gamut;
  std::u16string no_picture;
  // Why the container refused the file; Ok for an open profile.
  icc::Result refusal;
  // The second step: the doctor's verdict.
  bool finished = false;
  std::vector<SheetLine> health;  // the profile ID's state
  std::string verdict;            // "Sound", "2 warnings", the first error in a few words
  std::vector<icc::Finding> findings;
};

// The first step for an open profile: its texts read as every program reads a description,
// single-byte characters through `code_page`.  Parts that cannot be read say so in their line.
void BuildPreviewSheet(icc::Profile& profile, const icc::Language& language,
                       const icc::CodePage& code_page, PreviewSheet* sheet);
// The gamut's volume and how much of each built-in reference it covers, or why the profile
// has no volume: ComputeSolid within `limits`.  `solid`, when given, receives the solid (empty
// when there is none), for a pane that draws it.  Once `abandoned` (when given) is set, no
// further coverage is measured: the sheet then lacks them.
void MeasurePreviewSheet(icc::Profile& profile, PreviewSheet* sheet, const Limits& limits = Limits(),
                         Solid* solid = nullptr, const std::atomic<bool>* abandoned = nullptr);
// The first step for a file the container refuses: it says so, and has no picture.
void RefusedPreviewSheet(const icc::Result& refusal, PreviewSheet* sheet);
// The second step, with the doctor's report on the file: the verdict and its findings (for a
// refused file the container's reason when the doctor found no error), and the profile ID's
// state of an open profile.
void FinishPreviewSheet(const icc::CheckReport& report, PreviewSheet* sheet);

// The sheet as the pane's text: lines ended by CR LF, a label and its value separated by a
// tab, the tag table in columns separated by tabs.
std::u16string SheetText(const PreviewSheet& sheet);

}  // namespace gamut
