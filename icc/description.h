// The description of a profile: its 'desc' tag in any of the forms profiles use, and the
// localized name ('dscm') that is kept in step with it.  Portable: no platform headers.
//
// The forms:
//  - a description record (textDescriptionType, version 2 profiles): an ASCII record, an
//    optional Unicode record and a ScriptCode record;
//  - localized records ('mluc', version 4 profiles): one UTF-16 text per language and
//    country, of which the one for the user's language is shown and edited;
//  - plain text (textType), which some old profiles use: one 7-bit text.
//
// Text is UTF-16 everywhere (std::u16string).  The one exception is the ASCII record of a
// description record (and plain text): single bytes, whose characters above 0x7F a
// CodePage gives.  One rule says which text a description shows (DescriptionText) and one
// rule gives it new text (SetDescriptionText); every program that shows or edits a
// description calls these two, so that all of them show the same text for a profile.
//
// Two levels of use:
//  - Tag bytes: ParseDescription, SetDescriptionText, BuildDescription turn stored tags
//    into a Description and back; ReadShownDescription reads only the shown text, a
//    bounded amount at a time.
//  - A whole profile: ReadDescription and StoreDescription do the same through a TagStore
//    (an open icc::Profile, a handle of the colour service).  Committing the profile
//    afterwards writes the new 'desc' tag, the 'dscm' tag kept in step, the real length in
//    the header's size field and, for a profile that carries a profile ID (one before
//    version 4 too, when its ID field holds its MD5: icc::KeepsProfileId), the ID of the new
//    content.  Every other tag, and every other localized record, keeps its
//    bytes.
//
// Typical use, giving a profile a new description:
//
//   icc::Description d;
//   if (!icc::ReadDescription(tags, language, &d).ok()) ...;
//   if (!icc::SetDescriptionText(&d, text, code_page)) ...;   // text that is not UTF-16
//   if (!icc::StoreDescription(tags, d).ok()) ...;  // refuses a damaged tag
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "localized_text.h"

namespace icc {

constexpr uint32_t kDescriptionTag = Signature("desc");
constexpr uint32_t kLocalizedNameTag = Signature("dscm");

// The fixed length of the ScriptCode field of a description record; its count includes the
// text's terminating zero, so it holds at most 66 characters.
constexpr std::size_t kScriptCodeField = 67;

// An ISO 639-1 language and ISO 3166-1 country ("en", "US"); zeros where none is known.
struct Language {
  char language[2] = {};
  char country[2] = {};
};
// en-US: the record a description record's text goes with in a localized name ('dscm').
constexpr Language kEnglishUS = {{'e', 'n'}, {'U', 'S'}};

// The single-byte characters of an ASCII record.
class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual std::u16string Decode(const std::string& bytes) const = 0;
  // The single-byte form of valid text, a default character for what the code page lacks
  // (never a look-alike).
  virtual std::string Encode(const std::u16string& text) const = 0;
};

// Everywhere but Windows: bytes are read as Windows-1252 and text is written as 7-bit
// ASCII, each other character (a surrogate pair is one) becoming '?'.
const CodePage& PortableCodePage();

enum class DescriptionKind {
  Text,       // a description record (textDescriptionType)
  Localized,  // localized records ('mluc')
  Plain,      // textType: `ascii` holds its text
};

// A description as read from a tag, and as it is to be written.  A plain value: callers
// may read its fields, and change them before building the tag (a command-line tool edits
// every localized record, for example).
struct Description {
  DescriptionKind kind = DescriptionKind::Text;

  // Text, Plain: the ASCII record's bytes up to its first zero.
  std::string ascii;
  // Text: whether the tag has (as read) or gets (as written) a Unicode record.
  bool has_unicode = false;
  // Text: the Unicode record's text, up to its first U+0000 (a leading byte-order mark
  // removed; empty without a Unicode record).
  std::u16string unicode;
  // Text: the Unicode record as stored (language code, count and units), and whether the
  // tag is built with exactly these bytes: a record that says something else than the text
  // shown is kept when the text changes.
  std::vector<uint8_t> unicode_stored;
  bool unicode_kept = false;

  // Localized: the records in stored order, and the index of the one shown (chosen by
  // language; -1 when there are none).
  std::vector<LocalizedRecord> records;
  int shown = -1;

  // Why the tag cannot be read whole (null when it can): such a description is shown as
  // far as it goes, but never written back.  kNoTextDamage: nothing of it can be shown.
  const char* damage = nullptr;
  // The profile's major version (0 when not known), for a kind that has to change.
  uint8_t version = 0;
  // Set by SetDescriptionText: the text shown before and after; the localized name follows.
  bool changed = false;
  std::u16string shown_before, shown_after;
};

// The damage of a tag of a type that holds no text (a curve where the description belongs):
// every surface says that its description cannot be read.
extern const char kNoTextDamage[];

// Interprets a stored 'desc' tag.  For localized records, `shown` is chosen for `language`
// by ChooseLocalizedRecord's rule: the record for the language and country, else the first
// with that language, else en-US, else the first.
// Fails only for a tag too short for a type and count (fewer than 12 bytes).  A damaged tag
// (a count or offset past its end, a tag of another type) gives what lies inside it, and
// `damage` says what is wrong.  Never reads past `size`.
bool ParseDescription(const uint8_t* tag, std::size_t size, const Language& language,
                      Description* out);

// The text a description shows.  Localized records: the shown one.  A description record:
// its Unicode record when that is not empty and agrees with the ASCII record (or the ASCII
// record is empty), else the ASCII record read through `code_page`.  The two agree when
// they hold the same 7-bit characters in the same order, each run of other characters
// (and of '?') in one matching any such run in the other: a Unicode record left behind by
// a program that renamed only the ASCII record, or holding a translation, is not shown.
std::u16string DescriptionText(const Description& d, const CodePage& code_page);

// Whether the two records agree as DescriptionText says.
bool RecordsAgree(const std::string& ascii, const std::u16string& unicode);

// Whether `text` can be stored: well-formed UTF-16 (no unpaired surrogate) without U+0000,
// and not starting with what readers take for a byte-order mark (U+FEFF, U+FFFE).
bool IsStorableText(const std::u16string& text);

// Gives the description the text `text`; false, changing nothing, for text that is not
// storable.  What the user did not see is kept:
//  - Text: the ASCII record gets code_page.Encode(text).  The Unicode record gets the text
//    whenever it is not plain 7-bit ASCII (added when the tag had none); for 7-bit text, a
//    Unicode record that was the text shown moves with it, and any other is kept byte for
//    byte.
//  - Localized: the shown record gets the text; when there is none, an en-US record is
//    added and shown.  Every other record keeps its text.
//  - Plain: stays plain for 7-bit text; other text turns the tag into the kind its profile's
//    version uses (localized records from version 4 on, else a description record).
bool SetDescriptionText(Description* d, const std::u16string& text, const CodePage& code_page);

// The stored tag for a description.  A description record is laid out as
//   0 'desc' | 4 reserved 0 | 8 ASCII count n (text length + 1) | 12 text and its zero |
//   12+n Unicode language code 0 | 16+n Unicode count | 20+n the UTF-16BE units, zero units
//   up to the count | ScriptCode code 0 | ScriptCode count min(n, 67) | 67 bytes: the first
//   (at most 66) bytes of the ASCII text, the rest zero.
// The Unicode count is max(n, units + 1) (the text, its terminator and, when the code page's
// form was longer, zero units up to n), or 0 without a Unicode record; a kept record is
// written as stored.  Plain text is 'text', 4 zero bytes, the text and its zero.
// False when the tag would not fit the 32-bit size of a tag.
bool BuildDescription(const Description& d, std::vector<uint8_t>* tag);

// Whole tags of a profile, wherever it is held: an icc::Profile (ProfileTags below), or a
// handle of the Windows colour service.
class TagStore {
 public:
  virtual ~TagStore() = default;
  // The tag's bytes; TagNotFound when the profile has no such tag.
  virtual Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) = 0;
  // Gives the tag exactly these bytes, adding it when it does not exist.
  virtual Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) = 0;
  virtual Result Header(icc::Header* header) = 0;
};

class ProfileTags : public TagStore {
 public:
  explicit ProfileTags(Profile& profile) : profile_(profile) {}
  Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override;
  Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override;
  Result Header(icc::Header* header) override;

 private:
  Profile& profile_;
};

// Reads the profile's 'desc' tag and parses it.  TagNotFound without a 'desc' tag,
// InvalidProfile when ParseDescription refuses it, and the file's errors.  A damaged tag is
// read (see `damage`).
Result ReadDescription(TagStore& tags, const Language& language, Description* out);
Result ReadDescription(Profile& profile, const Language& language, Description* out);

// Replaces the profile's 'desc' tag by the tag built from `d`, and keeps the profile's
// localized name ('dscm') in step: after SetDescriptionText, each of its records that held
// the text shown before gets the new text; records that said something else are kept.  An
// icc::Profile is only changed in memory: Commit writes it.  InvalidProfile for a damaged
// description (nothing is changed), InvalidParameter when the tag cannot be built.  Both
// tags are made before the profile is changed.
Result StoreDescription(TagStore& tags, const Description& d);
Result StoreDescription(Profile& profile, const Description& d);

// A stored tag read a part at a time, so that reading a description costs the same
// whatever the tag claims.
class TagBytes {
 public:
  virtual ~TagBytes() = default;
  // The tag's real size.
  virtual uint32_t Size() = 0;
  // Copies up to *count bytes from `offset` into `buffer`; *count becomes the number
  // delivered.  False when the bytes cannot be had.
  virtual bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) = 0;
};

// The record table of a localized tag ('mluc') read whole, never more than `limit` bytes (or
// one row) at once: each record's entry goes to `take`, in stored order, until it returns
// false.  *count gets the number of records the table holds.  What this costs grows with the
// table the tag holds, bounded by the tag's size, never with what its count claims.  False
// when the tag is not 'mluc', is too short for its header or cannot be read.
bool ReadLocalizedTable(TagBytes& tag, uint32_t limit, uint64_t* count,
                        const std::function<bool(const LocalizedEntry&)>& take);

// The record a localized tag shows for `language`: ChooseLocalizedRecord's rule over the
// whole table, read as ReadLocalizedTable reads it (and only as far as the choice needs).
struct LocalizedChoice {
  uint64_t count = 0;  // records in the table
  int64_t index = -1;  // the record shown; -1 when there are none
  LocalizedEntry entry = {};
};
bool ChooseLocalizedEntry(TagBytes& tag, const Language& language, uint32_t limit,
                          LocalizedChoice* choice);

// True unless the tag is a localized one whose record table (read whole to choose the record
// shown) holds more than `max_bytes`: a reader held to a time budget refuses such a tag
// rather than show a record chosen from part of its table.
bool LocalizedTableWithin(TagBytes& tag, uint64_t max_bytes);

// The text DescriptionText gives for the tag, reading at most `limit` bytes of each record
// (`limit` characters of a Unicode record, as many as of the ASCII record it is compared
// with), never more than `limit` bytes at once.  The limit cuts the text and never changes
// the record shown: a localized record is chosen from the whole table (ChooseLocalizedEntry),
// and the two records of a description record agree when they agree as far as they are read.
// *cut tells that the text goes on past the limit.  False when the tag is too short for its
// type and count, is of a type that holds no text (kNoTextDamage), or cannot be read.
bool ReadShownDescription(TagBytes& tag, const Language& language, const CodePage& code_page,
                          uint32_t limit, std::u16string* text, bool* cut);

}  // namespace icc
