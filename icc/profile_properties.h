// What a file browser shows of a profile beside its description: header fields, the
// creation date, the copyright and device texts, and the state of the profile ID.
// Portable: everything is read through the container, and only the bytes needed: the
// header, the tag table and the tags shown, each bounded, so that the cost of reading does
// not grow with the profile's size.  Only the profile ID check reads the whole profile.
#pragma once

#include <cstdint>
#include <string>

#include "description.h"
#include "icc_profile.h"

namespace icc {

// Shown texts stop here (bytes of a stored text): no browser column needs more, and a
// damaged or hostile tag cannot make a reader allocate what the tag claims.
constexpr uint32_t kMaxShownTextBytes = 64 * 1024;

// Reads the text of tag `signature` as every program shows a description
// (icc::ReadShownDescription): textType ('text'), a description record ('desc') or the
// record of a localized tag ('mluc') chosen for the language from its whole table, the
// single-byte characters through `code_page`.  About kMaxShownTextBytes of a record are read;
// *cut tells that the text goes on.  The text is as stored: a surface shows it through
// icc::ShownText.  TagNotFound when there is no such tag, InvalidProfile when the tag is of
// another type or too short for its own header, OutOfMemory for a localized tag whose record
// table holds more than `max_table_bytes` (icc::LocalizedTableWithin).
Result ReadStoredText(Profile& profile, uint32_t signature, const Language& language,
                      const CodePage& code_page, std::u16string* text, bool* cut,
                      uint64_t max_table_bytes = UINT64_MAX);

// For a localized tag ('mluc'): how many records its table holds and the one ReadStoredText
// shows, chosen from the whole table read kMaxShownTextBytes at a time.  TagNotFound when
// there is no such tag, InvalidProfile when it is of another type or too short for its header,
// OutOfMemory as ReadStoredText gives it.
Result ReadLocalizedChoice(Profile& profile, uint32_t signature, const Language& language,
                           LocalizedChoice* choice, uint64_t max_table_bytes = UINT64_MAX);

// The most bytes that a shell handler reads whole, to check the profile ID (and with it the
// doctor's verdict): what the 64-bit build reads and hashes in 40 ms (quiet) to 85 ms (under
// load from other builds) under Wine on the two-core machine it was measured on
// (bench/properties: 400 and 200 MB/s, nearly all of it MD5), so that a machine two to three
// times slower still answers within a handler's 250 ms.  A larger profile's ID is not checked
// there.
constexpr uint64_t kMaxWholeReadBytes = 16u << 20;

enum class ProfileIdState {
  Absent,      // before version 4 the field is reserved; from version 4 on, all zero
  Valid,       // the MD5 of the profile, taken as the format says
  Wrong,
  NotChecked,  // it covers more bytes than the check was allowed to read
};
// "Absent", "Valid", "Wrong", "Not checked": the state as every surface names it.
const char* ProfileIdStateText(ProfileIdState state);

// Reads the whole profile (the first `size field` bytes when that is within the file) once;
// when those are more than `max_bytes`, reads nothing and gives NotChecked.
Result CheckProfileId(Profile& profile, ProfileIdState* state, uint64_t max_bytes = UINT64_MAX);
// The same over a file's bytes as stored, with its header as given.
Result CheckProfileId(SourceFile& file, const Header& header, ProfileIdState* state,
                      uint64_t max_bytes = UINT64_MAX);

}  // namespace icc
