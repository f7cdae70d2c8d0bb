// The repairs of `fix`.  The file is read into memory, laid out anew when tags are
// misaligned, padded with other bytes than zero or followed by stray bytes, opened as a
// profile, and its description tags repaired through the container's edits; writing it
// (icc::Profile::WriteTo) sets the size field and, where there is one, the profile ID of
// the new content.  The result is checked again: what was found before and is gone now
// was repaired.
#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <stdexcept>
#include <set>

#include "description.h"
#include "doctor.h"
#include "localized_text.h"

namespace doctor {
namespace {

using icc::LoadBE32;
using icc::Severity;
using icc::StoreBE32;

class BytesFile : public icc::SourceFile {
 public:
  explicit BytesFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    if (offset > bytes_.size() || count > bytes_.size() - offset)
      return {icc::Status::InvalidParameter, 0};
    if (count) std::memcpy(buffer, bytes_.data() + offset, count);
    return {};
  }

 private:
  std::vector<uint8_t> bytes_;
};

// Header, table, then every distinct tag extent in the order of the file, each on a 4-byte
// boundary and padded with zeros.  Rows that shared bytes share them again.
std::vector<uint8_t> Relaid(const std::vector<uint8_t>& file) {
  const uint32_t count = LoadBE32(&file[icc::kHeaderSize]);
  std::vector<icc::TagEntry> rows;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* row = &file[icc::kTagTableStart + i * icc::kTagEntrySize];
    rows.push_back({LoadBE32(row), LoadBE32(row + 4), LoadBE32(row + 8)});
  }
  std::vector<std::pair<uint32_t, uint32_t>> extents;  // offset, size
  for (const icc::TagEntry& e : rows) extents.push_back({e.offset, e.size});
  std::sort(extents.begin(), extents.end());
  extents.erase(std::unique(extents.begin(), extents.end()), extents.end());

  std::vector<uint8_t> out(file.begin(), file.begin() + icc::kTagTableStart + count * icc::kTagEntrySize);
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> moved;
  for (const auto& x : extents) {
    out.resize(icc::Pad4(uint32_t(out.size())), 0);
    moved[x] = uint32_t(out.size());
    out.insert(out.end(), file.begin() + x.first, file.begin() + x.first + x.second);
  }
  out.resize(icc::Pad4(uint32_t(out.size())), 0);
  for (uint32_t i = 0; i < count; ++i)
    StoreBE32(&out[icc::kTagTableStart + i * icc::kTagEntrySize + 4],
              moved[{rows[i].offset, rows[i].size}]);
  StoreBE32(out.data(), uint32_t(out.size()));
  return out;
}

// The description in the other version's type: the text of a description record as an
// en-US localized record, or the English (else first) localized record as a description
// record whose ASCII part holds what ASCII can and whose Unicode part the whole text.
bool ConvertDescription(const std::vector<uint8_t>& tag, bool to_localized,
                        std::vector<uint8_t>* out) {
  icc::Description d;
  if (!icc::ParseDescription(tag.data(), tag.size(), icc::kEnglishUS, &d) || d.damage) return false;
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
  if (tag.size() < 12) return false;
  const uint64_t ascii = LoadBE32(&tag[8]);
  if (20 + ascii > tag.size()) return false;
  const uint64_t unicode = LoadBE32(&tag[std::size_t(16 + ascii)]);
  const uint64_t script = 20 + ascii + 2 * unicode;
  if (script > tag.size()) return false;
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

// The localized name with the description's text in the records of its language: en-US
// (else the first record) for a description record, the same language and country for
// localized records.
bool FixLocalizedName(const std::vector<uint8_t>& desc, const std::vector<uint8_t>& dscm,
                      std::vector<uint8_t>* out) {
  icc::Description d;
  std::vector<icc::LocalizedRecord> names;
  if (!icc::ParseDescription(desc.data(), desc.size(), icc::kEnglishUS, &d) || d.damage ||
      !icc::ParseLocalizedText(dscm.data(), dscm.size(), &names) || names.empty())
    return false;
  if (d.kind != icc::DescriptionKind::Localized) {
    const int i =
        icc::ChooseLocalizedRecord(names, icc::kEnglishUS.language, icc::kEnglishUS.country);
    names[std::size_t(i)].text = icc::DescriptionText(d, icc::PortableCodePage());
  }
  for (icc::LocalizedRecord& name : names)
    for (const icc::LocalizedRecord& text : d.records)
      if (std::equal(name.language, name.language + 2, text.language) &&
          std::equal(name.country, name.country + 2, text.country))
        name.text = text.text;
  *out = icc::BuildLocalizedText(names);
  return true;
}

const char* Reason(const char* code) {
  static const std::map<std::string, const char*> reasons = {
      {"profile-id", "the profile has other errors, so a new ID could vouch for damaged content"},
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

icc::Result Repaired(std::vector<uint8_t> file, const icc::CheckReport& before,
                     std::vector<uint8_t>* out) {
  if (before.Has("tag-alignment") || before.Has("padding") || before.Has("trailing-bytes"))
    file = Relaid(file);
  std::unique_ptr<icc::Profile> profile;
  icc::Result r = icc::Profile::Open(std::make_unique<BytesFile>(std::move(file)), &profile);
  if (!r.ok()) return r;
  icc::ProfileTags tags(*profile);
  uint8_t header[icc::kHeaderSize];
  profile->GetHeader(header);
  const bool v4 = header[8] >= 4;

  std::vector<uint8_t> desc, dscm, fixed;
  if (tags.ReadTag(icc::kDescriptionTag, &desc).ok()) {
    const bool localized = icc::IsLocalizedText(desc.data(), desc.size());
    if (before.Has("desc-type") && localized != v4 && ConvertDescription(desc, v4, &fixed)) {
      r = tags.ReplaceTag(icc::kDescriptionTag, fixed);
      if (!r.ok()) return r;
      desc = fixed;
    } else if (before.Has("scriptcode") && !localized && FixScriptCode(desc, &fixed)) {
      r = tags.ReplaceTag(icc::kDescriptionTag, fixed);
      if (!r.ok()) return r;
      desc = fixed;
    }
    if (before.Has("dscm-mismatch") && tags.ReadTag(icc::kLocalizedNameTag, &dscm).ok() &&
        FixLocalizedName(desc, dscm, &fixed)) {
      r = tags.ReplaceTag(icc::kLocalizedNameTag, fixed);
      if (!r.ok()) return r;
    }
  }
  icc::MemorySink sink;
  r = profile->WriteTo(sink);
  if (r.ok()) *out = std::move(sink.bytes);
  return r;
}

}  // namespace

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
    std::set<std::string> repairable;
    for (const icc::Finding& f : repair->before.findings) {
      const icc::CheckCode* c = icc::FindCheckCode(f.code);
      if (c && c->repairable) repairable.insert(f.code);
    }
    if (!repairable.empty() && !TableDamaged(repair->before)) {
      std::vector<uint8_t> bytes;
      r = Repaired(file, repair->before, &bytes);
      if (r.status == icc::Status::InvalidProfile) r = {};
      if (!r.ok()) return r;
      if (!bytes.empty()) {
        icc::CheckReport after;
        icc::MemoryFile check(bytes);
        r = CheckProfile(check, &after);
        if (!r.ok()) return r;
        // A new profile ID vouches for the content: not while other errors remain.
        const bool other_errors = std::any_of(
            after.findings.begin(), after.findings.end(),
            [](const icc::Finding& f) { return f.severity == Severity::Error; });
        std::vector<std::string> gone;
        for (const std::string& code : repairable)
          if (!after.Has(code.c_str()) && !(code == "profile-id" && other_errors))
            gone.push_back(code);
        // The ID alone is not worth a new file while the profile is otherwise in error.
        if (!gone.empty() && !(gone.size() == 1 && gone[0] == "profile-id" && other_errors)) {
          repair->repaired = gone;
          repair->after = after;
          r = icc::Profile::Open(std::make_unique<BytesFile>(std::move(bytes)), &repair->profile);
          if (!r.ok()) return r;
        }
      }
    }
    std::set<std::string> seen;
    for (const icc::Finding& f : repair->after.findings) {
      if (f.severity == Severity::Note || !seen.insert(f.code).second) continue;
      icc::Finding left = f;
      left.message = icc::TagName(f.tag) + ": " + Reason(f.code) + ".";
      repair->not_repaired.push_back(left);
    }
    return {};
  } catch (const std::bad_alloc&) {
    return {icc::Status::OutOfMemory, 0};
  } catch (const std::length_error&) {
    return {icc::Status::OutOfMemory, 0};
  }
}

}  // namespace doctor
