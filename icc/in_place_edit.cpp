#include "in_place_edit.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <utility>

#include "md5.h"

namespace icc {
namespace {

using Range = std::pair<uint64_t, uint64_t>;  // [first, second)

// The write that turns `count` bytes at `offset` from `from` into `to`, trimmed to the
// bytes that differ; none when none do.
void AddWrite(uint64_t offset, const uint8_t* from, const uint8_t* to, std::size_t count,
              std::vector<InPlaceWrite>* writes) {
  std::size_t first = 0, end = count;
  while (first < end && from[first] == to[first]) ++first;
  while (end > first && from[end - 1] == to[end - 1]) --end;
  if (first == end) return;
  InPlaceWrite w;
  w.offset = offset + first;
  w.bytes.assign(to + first, to + end);
  w.before.assign(from + first, from + end);
  writes->push_back(std::move(w));
}

// `pieces` without [start, end).
void Subtract(uint64_t start, uint64_t end, std::vector<Range>* pieces) {
  std::vector<Range> left;
  for (const Range& p : *pieces) {
    if (p.first < std::min(start, p.second)) left.emplace_back(p.first, std::min(start, p.second));
    if (std::max(end, p.first) < p.second) left.emplace_back(std::max(end, p.first), p.second);
  }
  pieces->swap(left);
}

// Gives the first `count` writes of `edit` their old bytes back, the last first, then the
// old length.  Stops at the first failure: stepping back past a field that could not be put
// back would make a state that the edit never passes through.
Result Undo(const InPlaceEdit& edit, std::size_t count, EditedFile& file) {
  for (std::size_t i = count; i-- > 0;) {
    const InPlaceWrite& w = edit.writes[i];
    // The writes after a durable one relied on it: they are undone durably before it is.
    if (w.durable && i + 1 < count) {
      Result r = file.Flush();
      if (!r.ok()) return r;
    }
    if (!w.before.empty()) {
      Result r = file.WriteAt(w.offset, w.before.data(), w.before.size());
      if (!r.ok()) return r;
    }
  }
  Result r = file.SetLength(edit.old_length);
  return r.ok() ? file.Flush() : r;
}

}  // namespace

Result TagChanges::ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) {
  for (const NewTag& t : changes_)
    if (t.signature == signature) {
      *bytes = t.bytes;
      return {};
    }
  ProfileTags tags(profile_);
  return tags.ReadTag(signature, bytes);
}

Result TagChanges::ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) {
  try {
    for (NewTag& t : changes_)
      if (t.signature == signature) {
        t.bytes = bytes;
        return {};
      }
    changes_.push_back(NewTag{signature, bytes});
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  return {};
}

Result TagChanges::Header(icc::Header* header) {
  *header = profile_.header();
  return {};
}

Result PlanInPlaceEdit(const std::vector<uint8_t>& old, const std::vector<NewTag>& changes,
                       InPlaceEdit* edit) {
  *edit = InPlaceEdit();
  std::unique_ptr<SourceFile> file(new (std::nothrow) MemoryFile(old));
  if (!file) return {Status::OutOfMemory, 0};
  std::unique_ptr<Profile> profile;
  Result r = Profile::Open(std::move(file), &profile);
  if (!r.ok()) return r;
  const std::vector<TagEntry>& rows = profile->Entries();

  try {
    // The rows that change, by index (a signature names its first row, as everywhere), with
    // their new bytes; a tag given the bytes it has is left alone.
    std::map<std::size_t, const std::vector<uint8_t>*> changed;
    for (const NewTag& t : changes) {
      const auto row = std::find_if(rows.begin(), rows.end(),
                                    [&](const TagEntry& e) { return e.signature == t.signature; });
      if (row == rows.end()) return {Status::InvalidParameter, 0};
      const std::size_t i = std::size_t(row - rows.begin());
      if (t.bytes.size() == row->size &&
          std::equal(t.bytes.begin(), t.bytes.end(), old.begin() + row->offset))
        changed.erase(i);
      else
        changed[i] = &t.bytes;
    }
    edit->old_length = old.size();
    edit->result = old;
    if (changed.empty()) return {};

    // The new tags after the last byte of the file, each padded to 4 bytes.
    uint64_t end = Pad4(uint64_t(old.size()));
    std::map<std::size_t, uint64_t> placed;
    for (const auto& c : changed) {
      placed[c.first] = end;
      end += Pad4(uint64_t(c.second->size()));
    }
    if (end > 0xFFFFFFFFu) return {Status::InvalidParameter, 0};
    std::vector<uint8_t>& result = edit->result;
    result.resize(std::size_t(end));
    for (const auto& c : changed)
      std::copy(c.second->begin(), c.second->end(),
                result.begin() + std::ptrdiff_t(placed[c.first]));

    // The old tags' bytes that no unchanged row uses become zeros.
    std::vector<Range> freed;
    auto extent = [&](std::size_t i) {
      return Range(rows[i].offset, uint64_t(rows[i].offset) + rows[i].size);
    };
    for (const auto& c : changed) {
      std::vector<Range> pieces = {extent(c.first)};
      for (std::size_t j = 0; j < rows.size(); ++j)
        if (!changed.count(j)) Subtract(extent(j).first, extent(j).second, &pieces);
      freed.insert(freed.end(), pieces.begin(), pieces.end());
    }
    std::sort(freed.begin(), freed.end());
    std::vector<Range> merged;  // one write for pieces that touch
    for (const Range& f : freed) {
      if (!merged.empty() && f.first <= merged.back().second)
        merged.back().second = std::max(merged.back().second, f.second);
      else
        merged.push_back(f);
    }
    freed.swap(merged);
    for (const Range& f : freed)
      std::fill(result.begin() + std::ptrdiff_t(f.first), result.begin() + std::ptrdiff_t(f.second),
                0);

    StoreBE32(result.data(), uint32_t(end));
    for (const auto& c : changed)
      StoreTagRow(result.data(), c.first,
                  {rows[c.first].signature, uint32_t(placed[c.first]), uint32_t(c.second->size())});
    bool has_id = false;
    MemoryFile stored(old);
    r = KeepsProfileId(stored, profile->header(), &has_id);
    if (!r.ok()) return r;
    if (has_id) {
      uint8_t zeroed[kHeaderSize];
      std::copy_n(result.begin(), kHeaderSize, zeroed);
      ZeroProfileIdFields(zeroed);
      Md5 md5;
      md5.Update(zeroed, kHeaderSize);
      md5.Update(result.data() + kHeaderSize, result.size() - kHeaderSize);
      md5.Final(result.data() + kProfileIdOffset);
    }

    // The writes, in the order the header comment gives.
    std::vector<InPlaceWrite>& writes = edit->writes;
    InPlaceWrite append;
    append.offset = old.size();
    append.bytes.assign(result.begin() + std::ptrdiff_t(old.size()), result.end());
    append.durable = true;
    writes.push_back(std::move(append));
    const uint8_t no_id[kProfileIdSize] = {};
    if (has_id) AddWrite(kProfileIdOffset, &old[kProfileIdOffset], no_id, kProfileIdSize, &writes);
    AddWrite(0, old.data(), result.data(), 4, &writes);
    const std::size_t first_row = kTagTableStart + changed.begin()->first * kTagEntrySize;
    const std::size_t rows_end = kTagTableStart + (changed.rbegin()->first + 1) * kTagEntrySize;
    AddWrite(first_row, &old[first_row], &result[first_row], rows_end - first_row, &writes);
    writes.back().durable = true;
    for (const Range& f : freed)
      AddWrite(f.first, &old[std::size_t(f.first)], &result[std::size_t(f.first)],
               std::size_t(f.second - f.first), &writes);
    if (has_id) {
      writes.back().durable = true;
      AddWrite(kProfileIdOffset, no_id, &result[kProfileIdOffset], kProfileIdSize, &writes);
    }
    writes.back().durable = true;
  } catch (const std::bad_alloc&) {
    *edit = InPlaceEdit();
    return {Status::OutOfMemory, 0};
  }
  return {};
}

Result ApplyInPlaceEdit(const InPlaceEdit& edit, EditedFile& file, bool* restored) {
  *restored = true;
  for (std::size_t i = 0; i < edit.writes.size(); ++i) {
    const InPlaceWrite& w = edit.writes[i];
    Result r = file.WriteAt(w.offset, w.bytes.data(), w.bytes.size());
    if (r.ok() && w.durable) r = file.Flush();
    if (!r.ok()) {
      *restored = Undo(edit, i + 1, file).ok();
      return r;
    }
  }
  return {};
}

Result UndoInPlaceEdit(const InPlaceEdit& edit, EditedFile& file) {
  return Undo(edit, edit.writes.size(), file);
}

}  // namespace icc
