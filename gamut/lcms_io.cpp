#include "lcms_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace gamut {
namespace {

// Little CMS reads big tables a number at a time; tag bytes are therefore read in windows
// of this size and served from memory.
constexpr uint32_t kWindow = 64 * 1024;

struct Reader {
  icc::Profile* profile;
  uint32_t max_tag_bytes;
  bool* refused;
  uint8_t start[icc::kTagTableStart + icc::kMaxTags * icc::kTagEntrySize];  // header, count, table
  uint32_t start_size = 0;
  uint32_t pos = 0;
  // The window: `window.size()` bytes of tag `tag` from `window_offset` (file offset).
  int tag = -1;
  uint32_t window_offset = 0;
  std::vector<uint8_t> window;

  bool InWindow(uint32_t offset, uint32_t length) const {
    return tag >= 0 && offset >= window_offset &&
           uint64_t(offset) + length <= uint64_t(window_offset) + window.size();
  }
  bool ReadTag(uint32_t offset, uint32_t length, uint8_t* out);
  bool PaddingOfTag(uint32_t offset, uint32_t length) const;
};

// Little CMS reads the padding after each curve of a lookup table up to a 4-byte boundary,
// after the last one too, where a tag's size may leave the padding out; it drops what it
// reads, as it drops the bytes between tags.
bool Reader::PaddingOfTag(uint32_t offset, uint32_t length) const {
  for (const icc::TagEntry& e : profile->Entries()) {
    const uint64_t end = uint64_t(e.offset) + e.size;
    if (offset >= end && uint64_t(offset) + length <= icc::Pad4(end)) return true;
  }
  return false;
}

// Serves [offset, offset + length) from one tag's bytes, or zeros for the padding that
// follows a tag.  Any other read fails: Little CMS reads nothing else once the table is in.
bool Reader::ReadTag(uint32_t offset, uint32_t length, uint8_t* out) {
  const auto& entries = profile->Entries();
  const uint64_t end = uint64_t(offset) + length;
  if (!InWindow(offset, length)) {
    int found = -1;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const icc::TagEntry& e = entries[i];
      if (offset >= e.offset && end <= uint64_t(e.offset) + e.size) {
        found = int(i);
        break;
      }
    }
    if (found < 0) {
      if (!PaddingOfTag(offset, length)) return false;
      std::memset(out, 0, length);
      return true;
    }
    const icc::TagEntry& e = entries[std::size_t(found)];
    if (e.size > max_tag_bytes) {
      if (refused) *refused = true;
      return false;
    }
    uint32_t count = std::max(length, std::min(kWindow, e.offset + e.size - offset));
    try {
      window.resize(count);
    } catch (const std::bad_alloc&) {
      return false;
    }
    if (!profile->GetTag(e.signature, offset - e.offset, &count, window.data(), nullptr).ok() ||
        count < length) {
      tag = -1;
      return false;
    }
    window.resize(count);
    tag = found;
    window_offset = offset;
  }
  std::memcpy(out, window.data() + (offset - window_offset), length);
  return true;
}

cmsUInt32Number Read(cmsIOHANDLER* io, void* buffer, cmsUInt32Number size, cmsUInt32Number count) {
  Reader* r = static_cast<Reader*>(io->stream);
  const uint64_t length = uint64_t(size) * count;
  if (length == 0) return count;
  if (length > io->ReportedSize || r->pos > io->ReportedSize - length) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t offset = r->pos, left = uint32_t(length);
  // Most reads are one number of a table, inside the window.
  if (offset >= r->start_size && r->InWindow(offset, left)) {
    const uint8_t* from = r->window.data() + (offset - r->window_offset);
    if (length == 2) {
      out[0] = from[0], out[1] = from[1];
    } else {
      std::memcpy(out, from, left);
    }
    r->pos = uint32_t(r->pos + length);
    return count;
  }
  if (offset < r->start_size) {
    const uint32_t n = std::min(left, r->start_size - offset);
    std::memcpy(out, r->start + offset, n);
    offset += n;
    out += n;
    left -= n;
  }
  if (left != 0 && !r->ReadTag(offset, left, out)) return 0;
  r->pos = uint32_t(r->pos + length);
  return count;
}

cmsBool Seek(cmsIOHANDLER* io, cmsUInt32Number offset) {
  if (offset > io->ReportedSize) return FALSE;
  static_cast<Reader*>(io->stream)->pos = offset;
  return TRUE;
}

cmsUInt32Number Tell(cmsIOHANDLER* io) { return static_cast<Reader*>(io->stream)->pos; }

cmsBool Close(cmsIOHANDLER* io) {
  delete static_cast<Reader*>(io->stream);
  _cmsFree(io->ContextID, io);
  return TRUE;
}

cmsBool NoWrite(cmsIOHANDLER*, cmsUInt32Number, const void*) { return FALSE; }

}  // namespace

// Every block carries its size and its budget (none for the blocks that Little CMS makes
// before the context has its user data) in front of it.
struct BudgetAllocator {
  static constexpr std::size_t kHeader = 16;
  struct Header {
    std::size_t size;
    LcmsBudget* budget;
  };
  static_assert(sizeof(Header) <= kHeader, "the header fits in front of the block");

  static void* Malloc(cmsContext id, cmsUInt32Number size) {
    auto* budget = static_cast<LcmsBudget*>(cmsGetContextUserData(id));
    if (budget && (size > budget->limit_ - budget->used_)) {
      budget->exceeded_ = true;
      return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(kHeader + size));
    if (!block) return nullptr;
    *reinterpret_cast<Header*>(block) = {size, budget};
    if (budget) budget->used_ += size;
    return block + kHeader;
  }
  static void Free(cmsContext, void* p) {
    if (!p) return;
    auto* block = static_cast<uint8_t*>(p) - kHeader;
    const Header header = *reinterpret_cast<Header*>(block);
    if (header.budget) header.budget->used_ -= header.size;
    std::free(block);
  }
  static void* Realloc(cmsContext id, void* p, cmsUInt32Number size) {
    void* grown = Malloc(id, size);
    if (!grown || !p) return grown;
    const Header header = *reinterpret_cast<Header*>(static_cast<uint8_t*>(p) - kHeader);
    std::memcpy(grown, p, std::min<std::size_t>(header.size, size));
    Free(id, p);
    return grown;
  }
};

LcmsBudget::LcmsBudget(std::size_t bytes) : limit_(bytes) {
  static cmsPluginMemHandler plugin = {
      {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
      BudgetAllocator::Malloc, BudgetAllocator::Free, BudgetAllocator::Realloc,
      nullptr, nullptr, nullptr};
  context_ = cmsCreateContext(&plugin, this);
}

LcmsBudget::~LcmsBudget() {
  if (context_) cmsDeleteContext(context_);
}

cmsHPROFILE OpenLcmsProfile(icc::Profile& profile, cmsContext context, uint32_t max_tag_bytes,
                            bool* refused) {
  // A table longer than Reader::start holds is one Little CMS refuses anyway.
  if (profile.Entries().size() > icc::kMaxTags) return nullptr;
  Reader* r = new (std::nothrow) Reader;
  if (!r) return nullptr;
  r->profile = &profile;
  r->max_tag_bytes = max_tag_bytes;
  r->refused = refused;
  profile.GetHeader(r->start);
  const auto& entries = profile.Entries();
  icc::StoreBE32(r->start + icc::kHeaderSize, uint32_t(entries.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) icc::StoreTagRow(r->start, i, entries[i]);
  r->start_size = uint32_t(icc::kTagTableStart + entries.size() * icc::kTagEntrySize);

  cmsIOHANDLER* io = static_cast<cmsIOHANDLER*>(_cmsMallocZero(context, sizeof(cmsIOHANDLER)));
  if (!io) {
    delete r;
    return nullptr;
  }
  io->stream = r;
  io->ReportedSize = uint32_t(profile.FileSize());
  std::strcpy(io->PhysicalFile, "");
  io->Read = Read;
  io->Seek = Seek;
  io->Tell = Tell;
  io->Close = Close;
  io->Write = NoWrite;
  io->ContextID = context;
  // On failure Little CMS closes the handler itself.
  return cmsOpenProfileFromIOhandlerTHR(context, io);
}

icc::Result WithinBudget(icc::Profile& profile, std::size_t memory,
                         const std::function<icc::Result(cmsContext, bool* refused)>& body) {
  LcmsBudget budget(memory);
  if (!budget.context()) return {icc::Status::OutOfMemory, 0};
  bool refused = false;
  const icc::Result r = body(budget.context(), &refused);
  if (!r.ok() && (refused || budget.exceeded())) return {icc::Status::OutOfMemory, 0};
  if (r.status == icc::Status::InvalidProfile && profile.header().version_major() == 5)
    return {icc::Status::Version5, 0};
  return r;
}

}  // namespace gamut
