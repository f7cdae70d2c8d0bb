#include "icc_profile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <stdexcept>

#include "md5.h"

namespace icc {
namespace {

constexpr uint32_t kMagic = Signature("acsp");
// Large enough that a save of a big profile is not dominated by per-call costs (a read
// and a write through Wine cost several microseconds each), small enough to stay bounded.
constexpr std::size_t kCopyChunk = 1024 * 1024;

Result Invalid() { return {Status::InvalidProfile, 0}; }

}  // namespace

std::string ResultText(const Result& result, uint32_t tag) {
  switch (result.status) {
    case Status::Ok: return "no error";
    case Status::InvalidProfile: return "not a profile, or a damaged one";
    case Status::TagNotFound:
      if (tag == Signature("desc")) return "the profile has no description ('desc' tag)";
      return "a tag it needs is missing";
    case Status::InsufficientBuffer:
    case Status::InvalidParameter:
      if (tag == Signature("desc")) return "the description is too long";
      return "it cannot be read";
    case Status::OutOfMemory: return "not enough memory";
    case Status::Version5: return "a version 5 profile, which this program does not draw";
    case Status::Io: break;
  }
  return "the file cannot be read";
}

struct Profile::Layout {
  // A changed tag rewritten where it stands: original bytes [start, old_end) give way to
  // new_length bytes.
  struct Region {
    uint64_t start;
    uint64_t old_end;
    uint64_t new_length;
    const Edit* edit;
  };
  // A changed tag written after the last original byte.
  struct Moved {
    uint64_t offset;
    const Edit* edit;
  };
  std::vector<Region> regions;  // in file order
  std::vector<Moved> moved;
  std::vector<uint64_t> offsets;  // new offset of every table entry
  // Original bytes that only a moved tag used, in file order: written as zeros, so that a
  // renamed profile does not carry its old text.
  std::vector<std::pair<uint64_t, uint64_t>> freed;
  uint64_t data_end = 0;          // end of the original data area in the new file
  uint64_t length = 0;
};

Result MemorySink::Write(const void* data, std::size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  try {
    bytes.insert(bytes.end(), p, p + count);
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  return {};
}

Result MemoryFile::ReadAt(uint64_t offset, void* buffer, std::size_t count) {
  if (offset > bytes_.size() || count > bytes_.size() - offset)
    return {Status::InvalidParameter, 0};
  if (count) std::memcpy(buffer, bytes_.data() + offset, count);
  return {};
}

Result Profile::Open(SourceFile& file, std::unique_ptr<Profile>* out) {
  // Reads through to the caller's file, which the profile then does not own.
  class Lent : public SourceFile {
   public:
    explicit Lent(SourceFile& file) : file_(file) {}
    uint64_t Size() const override { return file_.Size(); }
    Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
      return file_.ReadAt(offset, buffer, count);
    }

   private:
    SourceFile& file_;
  };
  return Open(std::make_unique<Lent>(file), out);
}

Result Profile::Open(std::unique_ptr<SourceFile> file, std::unique_ptr<Profile>* out) {
  out->reset();
  const uint64_t size = file->Size();
  if (size < kTagTableStart || size > 0xFFFFFFFFu) return Invalid();

  std::unique_ptr<Profile> p(new (std::nothrow) Profile);
  if (!p) return {Status::OutOfMemory, 0};

  uint8_t start[kTagTableStart];
  Result r = file->ReadAt(0, start, sizeof start);
  if (!r.ok()) return r;
  const Header header(start);
  if (header.magic() != kMagic) return Invalid();

  // The table is what its bytes say: as many rows as the count, which the file must hold.
  TagTable table;
  r = ReadTagRows(*file, start, &table);
  if (!r.ok()) return r;
  if (!table.inside) return Invalid();
  // Tag data must lie in the file, after the table.
  for (const TagEntry& e : table.rows)
    if (e.offset < table.end || uint64_t(e.offset) + e.size > size) return Invalid();
  p->entries_ = std::move(table.rows);

  p->header_ = header;
  p->file_size_ = size;
  p->original_count_ = table.count;
  p->file_ = std::move(file);
  *out = std::move(p);
  return {};
}

void StoreTagRow(uint8_t* file, std::size_t index, const TagEntry& row) {
  uint8_t* at = file + kTagTableStart + index * kTagEntrySize;
  StoreBE32(at, row.signature);
  StoreBE32(at + 4, row.offset);
  StoreBE32(at + 8, row.size);
}

Result ReadTagRows(SourceFile& file, const uint8_t start[kTagTableStart], TagTable* table) {
  table->count = LoadBE32(start + kHeaderSize);
  table->end = kTagTableStart + uint64_t(table->count) * kTagEntrySize;
  table->inside = false;
  table->rows.clear();
  if (table->end > file.Size()) return {};
  // A part of the table at a time: no buffer as large as the count claims.
  constexpr uint32_t kRowsAtOnce = 1024;
  uint8_t rows[kTagEntrySize * kRowsAtOnce];
  try {
    table->rows.reserve(table->count);
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  } catch (const std::length_error&) {
    return {Status::OutOfMemory, 0};
  }
  for (uint32_t i = 0; i < table->count;) {
    const uint32_t n = std::min<uint32_t>(table->count - i, kRowsAtOnce);
    Result r = file.ReadAt(kTagTableStart + uint64_t(i) * kTagEntrySize, rows, n * kTagEntrySize);
    if (!r.ok()) return r;
    for (uint32_t k = 0; k < n; ++k) {
      const uint8_t* row = rows + k * kTagEntrySize;
      table->rows.push_back({LoadBE32(row), LoadBE32(row + 4), LoadBE32(row + 8)});
    }
    i += n;
  }
  table->inside = true;
  return {};
}

int Profile::Find(uint32_t signature) const {
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].signature == signature) return int(i);
  return -1;
}

uint64_t Profile::ExtentEnd(std::size_t i) const {
  const TagEntry& e = entries_[i];
  return std::min<uint64_t>(uint64_t(e.offset) + Pad4(uint64_t(e.size)), file_size_);
}

bool Profile::SharesBytes(std::size_t i) const {
  if (i >= original_count_) return false;
  const TagEntry& e = entries_[i];
  if (e.size == 0) return true;  // has no extent of its own to rewrite
  const uint64_t end = ExtentEnd(i);
  for (std::size_t j = 0; j < original_count_; ++j) {
    if (j == i) continue;
    const TagEntry& o = entries_[j];
    const uint64_t o_end = uint64_t(o.offset) + std::max<uint32_t>(o.size, 1);
    if (o.offset < end && e.offset < o_end) return true;
  }
  return false;
}

Profile::Edit* Profile::EditFor(std::size_t entry) {
  for (Edit& e : edits_)
    if (e.entry == entry) return &e;
  return nullptr;
}

// Gives `entry` an in-memory copy of `size` bytes holding its current first bytes.
Result Profile::MakeEdit(std::size_t entry, uint32_t size, Edit** out) {
  try {
    Edit* edit = EditFor(entry);
    if (edit) {
      edit->bytes.resize(size);
      *out = edit;
      return {};
    }
    std::vector<uint8_t> bytes(size);
    const TagEntry& e = entries_[entry];
    const uint32_t keep = std::min(size, e.size);
    if (keep != 0 && entry < original_count_) {
      if (!file_) return {Status::InvalidParameter, 0};
      Result r = file_->ReadAt(e.offset, bytes.data(), keep);
      if (!r.ok()) return r;
    }
    edits_.push_back(Edit{entry, std::move(bytes)});
    *out = &edits_.back();
    return {};
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  } catch (const std::length_error&) {  // more than the address space can hold
    return {Status::OutOfMemory, 0};
  }
}

Result Profile::GetTagSize(uint32_t signature, uint32_t* size) const {
  const int i = Find(signature);
  if (i < 0) return {Status::TagNotFound, 0};
  for (const Edit& e : edits_)
    if (e.entry == std::size_t(i)) {
      *size = uint32_t(e.bytes.size());
      return {};
    }
  *size = entries_[std::size_t(i)].size;
  return {};
}

Result Profile::GetTag(uint32_t signature, uint32_t offset, uint32_t* count, void* buffer,
                       bool* shared) {
  if (!count) return {Status::InvalidParameter, 0};
  const int i = Find(signature);
  if (i < 0) return {Status::TagNotFound, 0};
  uint32_t size = 0;
  GetTagSize(signature, &size);
  if (shared) *shared = !EditFor(std::size_t(i)) && SharesBytes(std::size_t(i)) &&
                        entries_[std::size_t(i)].size != 0;
  if (!buffer) {
    *count = size;
    return {Status::InsufficientBuffer, 0};
  }
  if (offset > size) return {Status::InvalidParameter, 0};
  const uint32_t n = std::min(*count, size - offset);
  if (n != 0) {
    if (const Edit* e = EditFor(std::size_t(i))) {
      std::memcpy(buffer, e->bytes.data() + offset, n);
    } else {
      if (!file_) return {Status::InvalidParameter, 0};
      Result r = file_->ReadAt(uint64_t(entries_[std::size_t(i)].offset) + offset, buffer, n);
      if (!r.ok()) return r;
    }
  }
  *count = n;
  return {};
}

void Profile::GetHeader(uint8_t header[kHeaderSize]) const {
  std::memcpy(header, header_.bytes(), kHeaderSize);
}

void Profile::SetHeader(const uint8_t header[kHeaderSize]) {
  header_ = Header(header);
  modified_ = true;
}

Result Profile::SetTagSize(uint32_t signature, uint32_t size) {
  // The header's size field is 32 bits: a profile that would outgrow it cannot be stored.
  uint64_t length = 0;
  try {
    length = OutputLength();
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
  if (length > 0xFFFFFFFFull || uint64_t(size) + 3 + kTagEntrySize > 0xFFFFFFFFull - length)
    return {Status::InvalidParameter, 0};
  int i = Find(signature);
  if (i < 0) {
    if (entries_.size() >= kMaxTags) return {Status::InvalidParameter, 0};
    try {
      entries_.push_back(TagEntry{signature, 0, 0});
    } catch (const std::bad_alloc&) {
      return {Status::OutOfMemory, 0};
    }
    i = int(entries_.size() - 1);
  }
  Edit* edit = nullptr;
  Result r = MakeEdit(std::size_t(i), size, &edit);
  if (!r.ok()) {
    if (std::size_t(i) >= original_count_ && !EditFor(std::size_t(i))) entries_.pop_back();
    return r;
  }
  modified_ = true;
  return {};
}

Result Profile::SetTag(uint32_t signature, uint32_t offset, uint32_t count, const void* data) {
  const int i = Find(signature);
  if (i < 0) return {Status::TagNotFound, 0};
  uint32_t size = 0;
  GetTagSize(signature, &size);
  if (offset > size || count > size - offset || (count != 0 && !data))
    return {Status::InvalidParameter, 0};
  Edit* edit = nullptr;
  Result r = MakeEdit(std::size_t(i), size, &edit);
  if (!r.ok()) return r;
  if (count != 0) std::memcpy(edit->bytes.data() + offset, data, count);
  modified_ = true;
  return {};
}

void Profile::ComputeLayout(Layout* layout) const {
  const uint64_t old_data_start = kTagTableStart + uint64_t(original_count_) * kTagEntrySize;
  const uint64_t new_data_start = kTagTableStart + uint64_t(entries_.size()) * kTagEntrySize;

  std::vector<const Edit*> relocated;
  for (const Edit& e : edits_) {
    if (e.entry < original_count_ && !SharesBytes(e.entry)) {
      layout->regions.push_back(Layout::Region{entries_[e.entry].offset, ExtentEnd(e.entry),
                                               Pad4(uint64_t(e.bytes.size())), &e});
    } else {
      relocated.push_back(&e);
    }
  }
  std::sort(layout->regions.begin(), layout->regions.end(),
            [](const Layout::Region& a, const Layout::Region& b) { return a.start < b.start; });

  // Every original offset moves with the table's growth and with each rewritten region
  // that ends at or before it.
  auto moved_offset = [&](uint64_t offset) {
    int64_t shift = int64_t(new_data_start) - int64_t(old_data_start);
    for (const Layout::Region& r : layout->regions)
      if (r.old_end <= offset) shift += int64_t(r.new_length) - int64_t(r.old_end - r.start);
    return uint64_t(int64_t(offset) + shift);
  };
  layout->offsets.resize(entries_.size());
  for (std::size_t i = 0; i < original_count_; ++i)
    layout->offsets[i] = moved_offset(entries_[i].offset);
  layout->data_end = moved_offset(file_size_);

  for (const Edit* e : relocated) {
    if (e->entry >= original_count_) continue;
    std::vector<std::pair<uint64_t, uint64_t>> pieces = {
        {entries_[e->entry].offset, uint64_t(entries_[e->entry].offset) + entries_[e->entry].size}};
    for (std::size_t j = 0; j < original_count_; ++j) {
      if (std::any_of(edits_.begin(), edits_.end(), [&](const Edit& o) { return o.entry == j; }))
        continue;
      const uint64_t start = entries_[j].offset, end = start + entries_[j].size;
      std::vector<std::pair<uint64_t, uint64_t>> left;
      for (const auto& piece : pieces) {
        if (piece.first < std::min(start, piece.second)) left.emplace_back(piece.first, std::min(start, piece.second));
        if (std::max(end, piece.first) < piece.second) left.emplace_back(std::max(end, piece.first), piece.second);
      }
      pieces.swap(left);
    }
    layout->freed.insert(layout->freed.end(), pieces.begin(), pieces.end());
  }
  std::sort(layout->freed.begin(), layout->freed.end());

  uint64_t end = layout->data_end;
  if (!relocated.empty()) end = Pad4(end);
  for (const Edit* e : relocated) {
    layout->moved.push_back(Layout::Moved{end, e});
    layout->offsets[e->entry] = end;
    end += Pad4(uint64_t(e->bytes.size()));
  }
  layout->length = end;
}

uint64_t Profile::OutputLength() const {
  Layout layout;
  ComputeLayout(&layout);
  return layout.length;
}

namespace {

const uint8_t kZeros[256] = {};

Result CopyRange(SourceFile& file, uint64_t from, uint64_t to, std::vector<uint8_t>& buffer,
                 Sink& sink) {
  while (from < to) {
    const std::size_t n = std::size_t(std::min<uint64_t>(to - from, buffer.size()));
    Result r = file.ReadAt(from, buffer.data(), n);
    if (!r.ok()) return r;
    r = sink.Write(buffer.data(), n);
    if (!r.ok()) return r;
    from += n;
  }
  return {};
}

// CopyRange, with zeros in place of the freed ranges.
Result CopyKept(SourceFile& file, uint64_t from, uint64_t to,
                const std::vector<std::pair<uint64_t, uint64_t>>& freed,
                std::vector<uint8_t>& buffer, Sink& sink) {
  for (const auto& range : freed) {
    const uint64_t start = std::max(range.first, from), end = std::min(range.second, to);
    if (start >= end) continue;
    Result r = CopyRange(file, from, start, buffer, sink);
    for (uint64_t at = start; r.ok() && at < end; at += sizeof kZeros)
      r = sink.Write(kZeros, std::size_t(std::min<uint64_t>(sizeof kZeros, end - at)));
    if (!r.ok()) return r;
    from = end;
  }
  return CopyRange(file, from, to, buffer, sink);
}

Result WritePadded(const std::vector<uint8_t>& bytes, uint64_t length, Sink& sink) {
  if (!bytes.empty()) {
    Result r = sink.Write(bytes.data(), bytes.size());
    if (!r.ok()) return r;
  }
  if (length > bytes.size()) return sink.Write(kZeros, std::size_t(length - bytes.size()));
  return {};
}

}  // namespace

namespace {

// Collects the digest of everything written to it.
class DigestSink : public Sink {
 public:
  Result Write(const void* data, std::size_t count) override {
    md5.Update(data, count);
    return {};
  }
  Md5 md5;
};

constexpr std::size_t kFlagsOffset = 44;
constexpr std::size_t kIntentOffset = 64;

}  // namespace

Result Profile::WriteTo(Sink& sink) {
  if (!file_) return {Status::InvalidParameter, 0};
  try {
    Layout layout;
    ComputeLayout(&layout);
    if (layout.length > 0xFFFFFFFFu) return {Status::InvalidParameter, 0};

    uint8_t header[kHeaderSize];
    std::copy_n(header_.bytes(), kHeaderSize, header);
    StoreBE32(header, uint32_t(layout.length));
    // A profile that carries an ID gets the one of its new content: the MD5 of the whole
    // profile with the flags, the rendering intent and the ID itself taken as zero.
    bool keeps_id = false;
    Result kept = KeepsProfileId(*file_, header_, &keeps_id);
    if (!kept.ok()) return kept;
    if (keeps_id) {
      uint8_t zeroed[kHeaderSize];
      std::copy(header, header + kHeaderSize, zeroed);
      ZeroProfileIdFields(zeroed);
      DigestSink digest;
      Result r = Stream(layout, zeroed, digest);
      if (!r.ok()) return r;
      digest.md5.Final(header + kProfileIdOffset);
    }
    return Stream(layout, header, sink);
  } catch (const std::bad_alloc&) {
    return {Status::OutOfMemory, 0};
  }
}

Result Profile::Stream(const Layout& layout, const uint8_t header[kHeaderSize], Sink& sink) {
  std::vector<uint8_t> head(kTagTableStart + entries_.size() * kTagEntrySize);
  std::copy(header, header + kHeaderSize, head.begin());
  StoreBE32(head.data() + kHeaderSize, uint32_t(entries_.size()));
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    uint32_t size = entries_[i].size;
    if (const Edit* e = EditFor(i)) size = uint32_t(e->bytes.size());
    StoreTagRow(head.data(), i, {entries_[i].signature, uint32_t(layout.offsets[i]), size});
  }
  Result r = sink.Write(head.data(), head.size());
  if (!r.ok()) return r;

  std::vector<uint8_t> buffer(std::size_t(std::min<uint64_t>(kCopyChunk, file_size_)));
  uint64_t cursor = kTagTableStart + uint64_t(original_count_) * kTagEntrySize;
  for (const Layout::Region& region : layout.regions) {
    r = CopyKept(*file_, cursor, region.start, layout.freed, buffer, sink);
    if (!r.ok()) return r;
    r = WritePadded(region.edit->bytes, region.new_length, sink);
    if (!r.ok()) return r;
    cursor = region.old_end;
  }
  r = CopyKept(*file_, cursor, file_size_, layout.freed, buffer, sink);
  if (!r.ok()) return r;

  uint64_t written = layout.data_end;
  for (const Layout::Moved& m : layout.moved) {
    if (m.offset > written) {
      r = sink.Write(kZeros, std::size_t(m.offset - written));
      if (!r.ok()) return r;
    }
    const uint64_t padded = Pad4(uint64_t(m.edit->bytes.size()));
    r = WritePadded(m.edit->bytes, padded, sink);
    if (!r.ok()) return r;
    written = m.offset + padded;
  }
  return {};
}

void ZeroProfileIdFields(uint8_t header[kHeaderSize]) {
  std::fill_n(header + kFlagsOffset, 4, 0);
  std::fill_n(header + kIntentOffset, 4, 0);
  std::fill_n(header + kProfileIdOffset, kProfileIdSize, 0);
}

Result KeepsProfileId(SourceFile& file, const Header& header, bool* keeps) {
  *keeps = HasProfileId(header);
  const uint8_t* field = header.id();
  if (*keeps || header.version_major() >= 4 ||
      std::all_of(field, field + kProfileIdSize, [](uint8_t b) { return b == 0; }))
    return {};
  // The ID of the stored profile: the MD5 of its first `size field` bytes (the whole file
  // when the field is not within it), the file's own header with its ID fields zeroed.
  uint64_t length = header.size();
  if (length < kHeaderSize || length > file.Size()) length = file.Size();
  if (length < kHeaderSize) return {};
  uint8_t stored[kHeaderSize];
  Result r = file.ReadAt(0, stored, kHeaderSize);
  if (!r.ok()) return r;
  ZeroProfileIdFields(stored);
  Md5 md5;
  md5.Update(stored, kHeaderSize);
  std::vector<uint8_t> chunk(std::size_t(std::min<uint64_t>(length - kHeaderSize, kCopyChunk)));
  for (uint64_t at = kHeaderSize; at < length;) {
    const std::size_t n = std::size_t(std::min<uint64_t>(length - at, chunk.size()));
    r = file.ReadAt(at, chunk.data(), n);
    if (!r.ok()) return r;
    md5.Update(chunk.data(), n);
    at += n;
  }
  uint8_t id[kProfileIdSize];
  md5.Final(id);
  *keeps = std::equal(id, id + kProfileIdSize, field);
  return {};
}

Result Profile::ReadStored(uint64_t offset, void* buffer, std::size_t count) {
  if (!file_ || offset > file_size_ || count > file_size_ - offset)
    return {Status::InvalidParameter, 0};
  return count ? file_->ReadAt(offset, buffer, count) : Result{};
}

Result Prepare(Profile& profile, Replacement& replacement) {
  Sink* sink = nullptr;
  Result r = replacement.Create(&sink);
  if (!r.ok()) return r;
  r = profile.WriteTo(*sink);
  if (r.ok()) r = replacement.Finish();
  if (r.ok()) profile.ReleaseFile();
  if (!r.ok()) replacement.Discard();
  return r;
}

Result Commit(Profile& profile, Replacement& replacement) {
  Result r = Prepare(profile, replacement);
  if (!r.ok()) return r;
  r = replacement.Replace();
  if (!r.ok()) replacement.Discard();
  return r;
}

}  // namespace icc
