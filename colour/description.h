// The description of a profile: its 'desc' tag in either of the two forms profiles use, and
// the localized name ('dscm') that is kept in step with it.  Portable: no platform headers.
//
// The two forms:
//  - a description record (textDescriptionType, version 2 profiles): an ASCII record, an
//    optional Unicode record and a ScriptCode record;
//  - localized records ('mluc', version 4 profiles): one UTF-16 text per language and
//    country, of which the one for the user's language is shown and edited.
//
// Text is UTF-16 everywhere (std::u16string), so that no character is lost on the way.
// The one exception is the ASCII record of a description record: it holds single-byte text
// in the platform's code page (on Windows the ANSI code page).  Converting to and from a
// code page is the platform's business, so the caller hands over those bytes itself, and
// says whether they lost characters that the UTF-16 text has.
//
// Two levels of use:
//  - Tag bytes: ParseDescription, SetDescriptionText, BuildDescription and
//    UpdateLocalizedName turn stored tags into a Description and back.  The editor's
//    Windows layer (CDescriptionTag) reads and writes the tags through the colour service
//    and uses these for everything in between.
//  - A whole profile: ReadDescription and StoreDescription do the same on an open
//    icc::Profile.  Committing the profile afterwards (icc::Commit) writes exactly the bytes
//    that the editor's Save writes: the new 'desc' tag, the 'dscm' tag updated as the
//    editor updates it, the real length in the header's size field and, for a version 4
//    profile that carries a profile ID, the ID of the new content.  Every other tag, and
//    every other localized record, keeps its bytes.
//
// Typical use, giving a profile a new description:
//
//   icc::Description d;
//   if (!icc::ReadDescription(*profile, language, &d).ok()) ...;
//   icc::SetDescriptionText(&d, text, AnsiFormOf(text), lost_characters);
//   if (!icc::StoreDescription(*profile, d, language).ok()) ...;
//   icc::Commit(*profile, replacement);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "localized_text.h"

namespace icc {

constexpr uint32_t kDescriptionTag = Signature("desc");
constexpr uint32_t kLocalizedNameTag = Signature("dscm");

// The fixed length of the ScriptCode field of a description record.
constexpr std::size_t kScriptCodeField = 67;

// An ISO 639-1 language and ISO 3166-1 country ("en", "US"); zeros where none is known.
struct Language {
  char language[2] = {};
  char country[2] = {};
};

enum class DescriptionKind {
  Text,       // a description record (textDescriptionType)
  Localized,  // localized records ('mluc')
};

// A description as read from a tag, and as it is to be written.  A plain value: callers
// may read and change its fields directly (a command-line tool edits every record, for
// example), then build the tag from it.
struct Description {
  DescriptionKind kind = DescriptionKind::Text;

  // Text: the ASCII record's bytes up to its first zero, in the platform's code page.
  std::string ascii;
  // Text: whether the tag has (as read) or gets (as written) a Unicode record.
  bool has_unicode = false;
  // Text: as read, the Unicode record's text (its byte-order mark removed, up to its first
  // U+0000; empty without a Unicode record).  After SetDescriptionText, the whole new text,
  // which BuildDescription stores only when has_unicode is set, and which the localized
  // name receives.
  std::u16string unicode;

  // Localized: the records in stored order, and the index of the one shown (chosen by
  // language; -1 when there are none).
  std::vector<LocalizedRecord> records;
  int shown = -1;
};

// Interprets a stored 'desc' tag.  For localized records, `shown` is chosen for `language`
// by ChooseLocalizedRecord's rule: the record for the language and country, else the first
// with that language, else en-US, else the first.
// Fails for a tag too short to be a description record (fewer than 12 bytes) and for
// localized records whose table is damaged (see ParseLocalizedText); a description record
// whose counts run past the tag gives what lies inside it.  Never reads past `size`.
bool ParseDescription(const uint8_t* tag, std::size_t size, const Language& language,
                      Description* out);

// The text to show for a description, without a code page: the shown localized record; for
// a description record, the Unicode record's text when it has a non-empty one, else the
// ASCII record read as Windows-1252 (which is ASCII for the bytes below 128).  Platforms
// with a code page of their own decode `ascii` themselves instead.
std::u16string DescriptionText(const Description& d);

// Puts new text into the description.
//  - Text: `ascii` becomes the ASCII record (and the ScriptCode record's bytes); `text`
//    goes to `unicode`.  The tag keeps a Unicode record if it had one, and gets one when
//    `ascii_lost_characters` says that `ascii` cannot hold all of `text`: the full text is
//    then kept there.
//  - Localized: `text` goes into the shown record, unchanged; when there is no record to
//    show, an en-US record is added and shown.  `ascii` is not used.  Every other record
//    keeps its text.
void SetDescriptionText(Description* d, const std::u16string& text, const std::string& ascii,
                        bool ascii_lost_characters);

// The stored tag for a description.  A description record is laid out as
//   0 'desc' | 4 reserved 0 | 8 ASCII count n (text length + 1) | 12 text and its zero |
//   12+n language code 0 | 16+n Unicode count | 20+n [FE FF, the UTF-16BE units, zero
//   units up to the count] | ScriptCode code 0 | ScriptCode count min(n, 67) | 67 bytes:
//   the first bytes of the ASCII text, the rest zero.
// The Unicode count is max(n, units + 1) + 1 (the mark, the text, its terminator and, when
// the code page's form was longer, zero units up to n), or 0 without a Unicode record.
// Localized records are built by BuildLocalizedText.
// False when the tag would not fit the 32-bit size of a tag.
bool BuildDescription(const Description& d, std::vector<uint8_t>* tag);

// A stored localized name tag ('dscm') with `text` in the record chosen for `language` (same
// rule as above), every other record unchanged.  False when there is nothing to update: the
// tag is not localized records, is damaged, or has no records.  The tag then stays as is.
bool UpdateLocalizedName(const uint8_t* stored, std::size_t size, const Language& language,
                         const std::u16string& text, std::vector<uint8_t>* updated);

// Whole tags of a profile, wherever it is held: an icc::Profile (ProfileTags below), or a
// handle of the Windows colour service.
class TagStore {
 public:
  virtual ~TagStore() = default;
  // The tag's bytes; TagNotFound when the profile has no such tag.
  virtual Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) = 0;
  // Gives the tag exactly these bytes, adding it when it does not exist.
  virtual Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) = 0;
};

class ProfileTags : public TagStore {
 public:
  explicit ProfileTags(Profile& profile) : profile_(profile) {}
  Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override;
  Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override;

 private:
  Profile& profile_;
};

// Reads the profile's 'desc' tag and parses it.  TagNotFound without a 'desc' tag,
// InvalidProfile when ParseDescription refuses it, and the file's errors.
Result ReadDescription(TagStore& tags, const Language& language, Description* out);
Result ReadDescription(Profile& profile, const Language& language, Description* out);

// Replaces the profile's 'desc' tag by the tag built from `d`.  For a description record
// (Text) it also updates the profile's localized name, when the profile has one that
// UpdateLocalizedName can update, with `d.unicode` in the record for `language`.  An
// icc::Profile is only changed in memory: Commit writes it.  InvalidParameter when the tag
// cannot be built.  Both tags are made before the profile is changed.
Result StoreDescription(TagStore& tags, const Description& d, const Language& language);
Result StoreDescription(Profile& profile, const Description& d, const Language& language);

}  // namespace icc
