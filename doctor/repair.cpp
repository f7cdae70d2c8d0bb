// The repairs of `fix`.  Each changes only the bytes of the finding it names: padding that
// is not zero is zeroed where it lies, bytes after the last tag are cut, a misaligned tag is
// moved by zeros inserted before it (every other byte kept, in order), and the description
// is given the other version's type or a whole ScriptCode field through the container's
// edits; writing the profile (icc::Profile::WriteTo) sets the size field and, where there is
// one, the profile ID of the new content.  No text is ever rewritten.  What a repair depends
// on is checked first: a tag table that points into other data, or a tag that may own the
// bytes after it, leaves the layout as it is.  The result is checked again: a repair that
// would change any finding but its own is not made.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <set>

#include "description.h"
#include "doctor.h"
#include "localized_text.h"
#include "text_description.h"

namespace doctor {
namespace {

using icc::Severity;

using Left = std::map<std::string, std::string>;  // code: why fix leaves it

bool Is(const icc::Finding& f, const char* code) { return std::string(f.code) == code; }

// The tag table's rows (none when the table does not lie in the file).
std::vector<icc::TagEntry> Rows(const std::vector<uint8_t>& file) {
  icc::TagTable table;
  icc::MemoryFile bytes(file);
  if (file.size() < icc::kTagTableStart || !icc::ReadTagRows(bytes, file.data(), &table).ok())
    return {};
  return std::move(table.rows);
}

// A finding's sentence as a clause: "the pr00 tag overlaps the A2B0 tag".
std::string Clause(std::string sentence) {
  if (!sentence.empty() && sentence.back() == '.') sentence.pop_back();
  if (!sentence.empty() && sentence[0] == 'T') sentence[0] = 't';
  return sentence;
}

// Why the tag table cannot be trusted to say where each tag's bytes are; empty when it
// can.  Besides what the checker finds (TableDamaged's codes: rows past the file,
// overlapping, twice), a row whose bytes do not start with a type signature points into
// other data.
std::string TableDoubt(const std::vector<uint8_t>& file, const icc::CheckReport& before) {
  for (const icc::Finding& f : before.findings)
    for (const char* code : {"tag-count", "tag-outside", "tag-overlap", "tag-duplicate"})
      if (Is(f, code)) return "the tag table is not right (" + Clause(f.message) + ")";
  for (const icc::TagEntry& e : Rows(file)) {
    if (uint64_t(e.offset) + 4 > file.size()) continue;
    const uint8_t* type = &file[e.offset];
    if (std::any_of(type, type + 4, [](uint8_t c) { return c < 0x20 || c > 0x7E; }))
      return "the tag table is not right (the " + icc::SignatureWords(e.signature) +
             " tag does not start with a type signature)";
  }
  return {};
}

// Why the bytes between tags and after the last are not known to be free: a tag shorter
// than its type needs, or damaged, may own them.  Empty when no tag is in doubt.
std::string BytesDoubt(const icc::CheckReport& before) {
  for (const icc::Finding& f : before.findings)
    for (const char* code : {"tag-structure", "tag-type", "text-terminator", "scriptcode"})
      if (Is(f, code))
        return "the " + icc::SignatureWords(f.tag) +
               " tag is damaged, and the bytes after it may be its own";
  return {};
}

// Holds back what cannot be repaired safely, with the reason.
void Hold(const std::vector<uint8_t>& file, const icc::CheckReport& before,
          const std::set<std::string>& wanted, Left* left) {
  const std::string table = TableDoubt(file, before);
  const std::string bytes = BytesDoubt(before);
  auto any_error = [&](auto pred) {
    return std::any_of(before.findings.begin(), before.findings.end(), [&](const icc::Finding& f) {
      return f.severity == Severity::Error && pred(f);
    });
  };
  const bool other_errors = any_error([&](const icc::Finding& f) { return !wanted.count(f.code); });
  const bool unknown_version = before.Has("version");
  const bool odd_text = std::any_of(
      before.findings.begin(), before.findings.end(),
      [](const icc::Finding& f) { return Is(f, "text-encoding") && f.tag == icc::kDescriptionTag; });
  for (const std::string& code : wanted) {
    const bool layout = code == "size-field" || code == "padding" || code == "trailing-bytes" ||
                        code == "tag-alignment";
    if (!table.empty())
      (*left)[code] = table;
    else if (layout && !bytes.empty())
      (*left)[code] = bytes;
    else if (code == "profile-id" && other_errors)
      (*left)[code] = "the profile has other errors, so a new ID could vouch for damaged content";
    else if (code == "desc-type" && unknown_version)
      (*left)[code] = "the profile's version does not tell which type the description should have";
    else if (code == "desc-type" && odd_text)
      (*left)[code] =
          "the description's text is not valid UTF-16, and converting it could change it";
  }
}

// Zeroes the padding that starts at `at`: up to the next 4-byte boundary, or to a tag that
// starts before it (`starts`: every tag's offset, in order).
void ZeroPadding(std::vector<uint8_t>* file, const std::vector<uint64_t>& starts, uint64_t at) {
  uint64_t end = std::min<uint64_t>(icc::Pad4(at), file->size());
  const auto next = std::lower_bound(starts.begin(), starts.end(), at);
  if (next != starts.end()) end = std::min(end, *next);
  std::fill(file->begin() + std::ptrdiff_t(at), file->begin() + std::ptrdiff_t(end), 0);
}

// Every tag on a 4-byte boundary, by zeros inserted before those that are not.  Each tag's
// padding (zero by now) is laid anew after it; every other byte of the file is kept, in
// order, and the rows follow their tags (rows that shared bytes share them again).
std::vector<uint8_t> Aligned(const std::vector<uint8_t>& file) {
  const std::vector<icc::TagEntry> rows = Rows(file);
  std::map<std::size_t, std::size_t> ends;  // start: end, of each extent
  for (const icc::TagEntry& e : rows) ends[e.offset] = std::size_t(e.offset) + e.size;
  std::size_t from = icc::kTagTableStart + rows.size() * icc::kTagEntrySize;
  std::vector<uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(from));
  auto copy_to = [&](std::size_t to) {
    out.insert(out.end(), file.begin() + std::ptrdiff_t(from), file.begin() + std::ptrdiff_t(to));
    from = to;
  };
  auto pad = [&] { out.resize(icc::Pad4(uint64_t(out.size())), 0); };
  std::map<std::size_t, uint32_t> moved;
  for (auto it = ends.begin(); it != ends.end(); ++it) {
    copy_to(it->first);  // bytes that are no tag's
    pad();
    moved[it->first] = uint32_t(out.size());
    copy_to(it->second);
    const auto next = std::next(it);
    const std::size_t padding_end = std::min({std::size_t(icc::Pad4(uint64_t(from))), file.size(),
                                              next != ends.end() ? next->first : file.size()});
    if (padding_end > from) pad(), from = padding_end;
  }
  copy_to(file.size());
  for (std::size_t i = 0; i < rows.size(); ++i)
    icc::StoreTagRow(out.data(), i, {rows[i].signature, moved[rows[i].offset], rows[i].size});
  return out;
}

// The description in the other version's type: the text of a description record as an
// en-US localized record, or a single localized record as a description record whose ASCII
// record holds what ASCII can and whose Unicode record the whole text.  Refused, with the
// reason in *why, when a text would be lost: a second language, or a Unicode record that
// says something other than the ASCII one.
bool ConvertDescription(const std::vector<uint8_t>& tag, bool to_localized,
                        std::vector<uint8_t>* out, std::string* why) {
  icc::Description d;
  if (!icc::ParseDescription(tag.data(), tag.size(), icc::kEnglishUS, &d) || d.damage) return false;
  if (d.records.size() > 1) {
    *why = "the description has " + std::to_string(d.records.size()) +
           " languages, and a version 2 description holds one";
    return false;
  }
  if (!d.ascii.empty() && !d.unicode.empty() && !icc::RecordsAgree(d.ascii, d.unicode)) {
    *why = "the description's Unicode text says something other than its ASCII text";
    return false;
  }
  const std::u16string text = icc::DescriptionText(d, icc::PortableCodePage());
  if (to_localized) {
    *out = icc::BuildLocalizedText({icc::LocalizedRecord("en", "US", text)});
    return true;
  }
  icc::Description record;
  return icc::SetDescriptionText(&record, text, icc::PortableCodePage()) &&
         icc::BuildDescription(record, out);
}

// A description record whose ScriptCode field is not the 67 bytes it must be: everything
// before the field kept, the field's code and count kept (the count at most 67), its bytes
// kept as far as they go and zero after.
bool FixScriptCode(const std::vector<uint8_t>& tag, std::vector<uint8_t>* out) {
  const icc::TextDescriptionLayout layout = icc::TextDescriptionLayoutOf(tag.data(), tag.size());
  if (layout.short_of != icc::TextDescriptionLayout::kWhole) return false;
  const uint64_t script = layout.script_at();
  *out = std::vector<uint8_t>(tag.begin(), tag.begin() + std::ptrdiff_t(script));
  out->resize(std::size_t(script + 3 + icc::kScriptCodeField), 0);
  const std::size_t keep = std::min<std::size_t>(tag.size() - std::size_t(script), 3 + icc::kScriptCodeField);
  std::copy(tag.begin() + std::ptrdiff_t(script), tag.begin() + std::ptrdiff_t(script + keep),
            out->begin() + std::ptrdiff_t(script));
  uint8_t& count = (*out)[std::size_t(script + 2)];
  if (keep < 3) count = 0;
  count = uint8_t(std::min<std::size_t>(count, icc::kScriptCodeField));
  return true;
}

const char* Reason(const char* code) {
  static const std::map<std::string, const char*> reasons = {
      {"tag-outside", "the tag's data is not in the file"},
      {"tag-overlap", "which of the overlapping tags owns the bytes cannot be told"},
      {"tag-duplicate", "which of the rows is meant cannot be told"},
      {"tag-count", "the tag table is not in the file"},
      {"not-a-profile", "the file is not a profile"},
  };
  const auto it = reasons.find(code);
  if (it != reasons.end()) return it->second;
  const icc::CheckCode* c = icc::FindCheckCode(code);
  return c && c->repairable ? "the damage around it leaves nothing safe to repair"
                            : "repairing it would change what the profile means";
}

// The layout repairs on the file's bytes (padding and the cut at the last tag where the
// checker found them), then the description's through the container.
icc::Result Repaired(std::vector<uint8_t> file, const icc::CheckReport& before,
                     const std::set<std::string>& intended, Left* left, std::vector<uint8_t>* out) {
  std::vector<uint64_t> starts;
  for (const icc::TagEntry& e : Rows(file)) starts.push_back(e.offset);
  std::sort(starts.begin(), starts.end());
  for (const icc::Finding& f : before.findings) {
    if (Is(f, "padding") && intended.count("padding"))
      ZeroPadding(&file, starts, uint64_t(f.offset));
    if (Is(f, "trailing-bytes") && intended.count("trailing-bytes"))
      file.resize(std::size_t(f.offset));
  }
  if (intended.count("tag-alignment")) file = Aligned(file);
  std::unique_ptr<icc::Profile> profile;
  icc::Result r = icc::Profile::Open(std::make_unique<icc::MemoryFile>(std::move(file)), &profile);
  if (!r.ok()) return r;
  icc::ProfileTags tags(*profile);
  const bool v4 = profile->header().version_major() >= 4;

  std::vector<uint8_t> desc, fixed;
  if (tags.ReadTag(icc::kDescriptionTag, &desc).ok()) {
    const bool localized = icc::IsLocalizedText(desc.data(), desc.size());
    std::string why;
    if (intended.count("desc-type") && localized != v4) {
      if (ConvertDescription(desc, v4, &fixed, &why))
        r = tags.ReplaceTag(icc::kDescriptionTag, fixed);
      else if (!why.empty())
        (*left)["desc-type"] = why;
    } else if (intended.count("scriptcode") && !localized && FixScriptCode(desc, &fixed)) {
      r = tags.ReplaceTag(icc::kDescriptionTag, fixed);
    }
    if (!r.ok()) return r;
  }
  icc::MemorySink sink;
  r = profile->WriteTo(sink);
  if (r.ok()) *out = std::move(sink.bytes);
  return r;
}

// The first code whose findings the repair changed besides the intended ones (one gone or
// one new); empty when there is none.
std::string Unintended(const icc::CheckReport& before, const icc::CheckReport& after,
                       const std::set<std::string>& intended) {
  auto others = [&](const icc::CheckReport& r) {
    std::vector<std::pair<std::string, uint32_t>> out;
    for (const icc::Finding& f : r.findings)
      if (!intended.count(f.code)) out.push_back({f.code, f.tag});
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto a = others(before), b = others(after);
  if (a == b) return {};
  const auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return diff.first != a.end() ? diff.first->first : diff.second->first;
}

// Takes the repaired bytes if, checked again, they differ from the file in the intended
// findings alone; the repaired codes are those gone.
icc::Result Adopt(std::vector<uint8_t> bytes, const std::set<std::string>& intended, Left* left,
                  Repair* repair) {
  icc::CheckReport after;
  icc::MemoryFile check(bytes);
  icc::Result r = CheckProfile(check, &after);
  if (!r.ok()) return r;
  const std::string also = Unintended(repair->before, after, intended);
  std::vector<std::string> gone;
  for (const std::string& code : intended)
    if (!also.empty())
      (*left)[code] = "repairing it would also change " + also + ", which is left as it is";
    else if (!after.Has(code.c_str()))
      gone.push_back(code);
  if (gone.empty()) return {};
  repair->repaired = gone;
  repair->after = after;
  return icc::Profile::Open(std::make_unique<icc::MemoryFile>(std::move(bytes)), &repair->profile);
}

// What is left says why: at the end of its message in the report, and once per code (notes
// aside) in not_repaired.
void Explain(const Left& left, Repair* repair) {
  std::set<std::string> seen;
  for (icc::Finding& f : repair->after.findings) {
    const auto why = left.find(f.code);
    if (why != left.end()) f.message += " Not repaired: " + why->second + ".";
    if (f.severity == Severity::Note || !seen.insert(f.code).second) continue;
    icc::Finding not_repaired = f;
    not_repaired.message = icc::TagName(f.tag) + ": " +
                           (why != left.end() ? why->second : std::string(Reason(f.code))) + ".";
    repair->not_repaired.push_back(not_repaired);
  }
}

}  // namespace

bool Repairable(const icc::Finding& finding) {
  const icc::CheckCode* c = icc::FindCheckCode(finding.code);
  return c && c->repairable && finding.severity != Severity::Note;
}

icc::Result RepairProfile(icc::SourceFile& source, Repair* repair) {
  try {
    std::vector<uint8_t> file(std::size_t(source.Size()));
    icc::Result r = file.empty() ? icc::Result() : source.ReadAt(0, file.data(), file.size());
    if (!r.ok()) return r;
    {
      icc::MemoryFile copy(file);
      r = CheckProfile(copy, &repair->before);
      if (!r.ok()) return r;
    }
    repair->after = repair->before;
    std::set<std::string> wanted, intended;
    for (const icc::Finding& f : repair->before.findings)
      if (Repairable(f)) wanted.insert(f.code);
    Left left;
    if (!wanted.empty()) Hold(file, repair->before, wanted, &left);
    for (const std::string& code : wanted)
      if (!left.count(code)) intended.insert(code);
    if (!intended.empty()) {
      std::vector<uint8_t> bytes;
      r = Repaired(file, repair->before, intended, &left, &bytes);
      if (r.status == icc::Status::InvalidProfile) r = {};
      if (r.ok() && !bytes.empty()) r = Adopt(std::move(bytes), intended, &left, repair);
      if (!r.ok()) return r;
    }
    Explain(left, repair);
    return {};
  } catch (const std::bad_alloc&) {
    return {icc::Status::OutOfMemory, 0};
  } catch (const std::length_error&) {
    return {icc::Status::OutOfMemory, 0};
  }
}

}  // namespace doctor
