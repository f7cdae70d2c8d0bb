// New tags for a profile written into the file that holds it, for a caller that offers no
// copy to write to (a stream handed over without a destination).  Portable: no platform
// headers.
//
// Nothing of the old profile is overwritten before the profile stops using it: the new tags
// go after the file's last byte, then a few small writes of the header and the tag table
// make the profile use them, and only then are the old tags' bytes cleared.  A write that
// fails, wholly or after some of its bytes, leaves a profile that reads whole, old or new,
// except inside the one small field it was writing (see PlanInPlaceEdit).  Each rewrite
// lengthens the file by the new tags; the space of the old ones is left as zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "description.h"
#include "icc_profile.h"

namespace icc {

// The file being changed: writes at any offset (one past the end lengthens it), its length,
// and what was written made durable.
class EditedFile {
 public:
  virtual ~EditedFile() = default;
  virtual Result WriteAt(uint64_t offset, const void* data, std::size_t count) = 0;
  virtual Result SetLength(uint64_t length) = 0;
  virtual Result Flush() = 0;
};

// The whole new content of one tag of the table.
struct NewTag {
  uint32_t signature;
  std::vector<uint8_t> bytes;
};

// The tags of an open profile with the replacements asked for kept aside, not applied:
// StoreDescription through it gives the tags an in-place edit writes.  Only existing tags
// can be replaced (the tag table cannot grow in place).
class TagChanges : public TagStore {
 public:
  explicit TagChanges(Profile& profile) : profile_(profile) {}
  Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override;
  Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override;
  Result Header(icc::Header* header) override;
  const std::vector<NewTag>& Changes() const { return changes_; }

 private:
  Profile& profile_;
  std::vector<NewTag> changes_;
};

struct InPlaceWrite {
  uint64_t offset;
  std::vector<uint8_t> bytes;
  // What the range held before the write (none past the old end): written back to undo.
  std::vector<uint8_t> before;
  // Made durable before the next write: the writes that follow rely on it.
  bool durable = false;
};

struct InPlaceEdit {
  uint64_t old_length = 0;
  std::vector<InPlaceWrite> writes;  // in the order they are made
  std::vector<uint8_t> result;       // the whole file once every write is made
};

// The writes that give the profile in `old` (the whole file) the tags `changes`.  Tags whose
// bytes do not change are left alone.  In order:
//  1. every changed tag, each on a 4-byte boundary, after the file's end (durable);
//  2. a profile ID, if the profile carries one (KeepsProfileId), cleared to zeros;
//  3. the size field: the new length;
//  4. the table rows of the changed tags, in one write, so that they switch together (durable);
//  5. zeros over the old tags' bytes that no unchanged row uses;
//  6. the profile ID of the new content, if the header carried one (durable).
// Each write covers only the bytes that differ.  After any of them the file is the old
// profile or the new one: up to 3 the old tags and table (with, from 3 on, the unused new
// bytes inside the size; the size field is written only once the ID is cleared, since it
// counts towards it), from 4 on the new ones; between 2 and 6 the profile carries no ID,
// which readers take for an ID not computed.  A write cut short leaves its own field torn:
// the size field, the ID or the changed rows, the only states that are neither profile.
// InvalidParameter when a changed tag is not in the table or the file would pass 4 GB.
Result PlanInPlaceEdit(const std::vector<uint8_t>& old, const std::vector<NewTag>& changes,
                       InPlaceEdit* edit);

// Makes the writes of `edit` in order.  After a failure it puts the old file back as far as
// the file lets it: the fields written (the failed one included) get their old bytes in
// reverse order, stopping at the first write that fails (each step back is again one of the
// states above), and then the old length.  Returns the first failure, also one in the zeros
// or the new ID, when the file may already hold the new profile: what was asked for is a
// profile without its old name and with its ID.  *restored tells whether the file holds the
// old bytes again (or never lost them).
Result ApplyInPlaceEdit(const InPlaceEdit& edit, EditedFile& file, bool* restored);

// Puts the old file back after a complete edit, the same way.
Result UndoInPlaceEdit(const InPlaceEdit& edit, EditedFile& file);

}  // namespace icc
