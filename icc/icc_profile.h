// The ICC profile container: header, tag table and tag data, read lazily from a file and
// written back as a stream.  Portable C++: no platform headers.  The platform layer
// (colour_service.cpp on Windows, posix_file.cpp natively) supplies the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "profile_header.h"

namespace icc {

constexpr std::size_t kTagTableStart = 132;  // after the header and the 4-byte tag count
constexpr std::size_t kTagEntrySize = 12;
// The most rows a table may reach by the tags this code adds (no real profile has more
// than a few dozen), and the most the colour engine is handed.  A table that is read is as
// long as its count says, within the file.
constexpr uint32_t kMaxTags = 4096;

constexpr uint32_t Signature(const char (&s)[5]) {
  return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
         (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

constexpr uint32_t Pad4(uint32_t n) { return (n + 3u) & ~3u; }
constexpr uint64_t Pad4(uint64_t n) { return (n + 3u) & ~uint64_t(3); }

inline uint32_t LoadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t LoadBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
// An s15Fixed16Number.
inline double LoadS15Fixed16(const uint8_t* p) { return double(int32_t(LoadBE32(p))) / 65536.0; }
inline void StoreBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Outcome of a container operation.  `os_error` carries the platform's own code for
// Status::Io, so that file-system failures reach the caller unchanged.
enum class Status {
  Ok,
  InvalidProfile,      // not a profile, or a damaged one
  TagNotFound,
  InsufficientBuffer,  // size query: the full size is returned alongside
  InvalidParameter,
  OutOfMemory,
  Io,
  Version5,            // a version 5 (iccMAX) profile, whose colour transforms are not read here
};

struct Result {
  Status status = Status::Ok;
  uint32_t os_error = 0;

  static Result Io(uint32_t code) { return {Status::Io, code}; }
  bool ok() const { return status == Status::Ok; }
  friend bool operator==(const Result& a, const Result& b) {
    return a.status == b.status && a.os_error == b.os_error;
  }
};

// Our words for a result, for every surface that puts one into a sentence: "a.icc: " + the
// words.  `tag` is the tag the work was about (0: the tags it needed), for the words of a
// missing or oversized one.  Status::Io
// says only that the file cannot be read: a surface that has the platform's text for
// `os_error` shows that instead.
std::string ResultText(const Result& result, uint32_t tag = 0);

// A profile file opened for reading.  Reads are exact: a short read is a failure.
class SourceFile {
 public:
  virtual ~SourceFile() = default;
  virtual uint64_t Size() const = 0;
  virtual Result ReadAt(uint64_t offset, void* buffer, std::size_t count) = 0;
};

// Where a rewritten profile is streamed to.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual Result Write(const void* data, std::size_t count) = 0;
};

// A sink that keeps everything written to it.
class MemorySink : public Sink {
 public:
  Result Write(const void* data, std::size_t count) override;
  std::vector<uint8_t> bytes;
};

// Bytes in memory read as a file, lent or its own.  A read past the end is refused with
// Status::InvalidParameter.
class MemoryFile : public SourceFile {
 public:
  // Over bytes the caller keeps alive and unchanged while the file is read.
  explicit MemoryFile(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  // Over bytes of its own.
  explicit MemoryFile(std::vector<uint8_t>&& bytes) : owned_(std::move(bytes)), bytes_(owned_) {}
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  uint64_t Size() const override { return bytes_.size(); }
  Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::vector<uint8_t> owned_;
  const std::vector<uint8_t>& bytes_;
};

// One row of the tag table.
struct TagEntry {
  uint32_t signature;
  uint32_t offset;
  uint32_t size;
};

// The tag table as its bytes say: the count at byte 128 and as many 12-byte rows after it.
struct TagTable {
  uint32_t count = 0;             // as stored
  uint64_t end = kTagTableStart;  // after the last row: kTagTableStart + 12 × count
  bool inside = false;            // the rows lie in the file, and `rows` holds them in order
  std::vector<TagEntry> rows;
};

// Reads the tag table of `file`, whose first kTagTableStart bytes (the header and the count)
// are `start`, a part at a time.  A table that runs past the end of the file is refused:
// `inside` stays false and no row is read.  Every reader of the table (Profile::Open, the
// checker, the repairs) takes its rows from here.
Result ReadTagRows(SourceFile& file, const uint8_t start[kTagTableStart], TagTable* table);
// Writes row `index` of the tag table into a file's bytes `file` (the header, the count and
// the rows): the one writer of a row.
void StoreTagRow(uint8_t* file, std::size_t index, const TagEntry& row);

class Profile {
 public:
  // Reads the header and the tag table, and checks that every tag lies inside the file
  // after the table.  Nothing else is read until asked for.
  static Result Open(std::unique_ptr<SourceFile> file, std::unique_ptr<Profile>* out);
  // The same over a file the caller keeps: it must outlive the profile.
  static Result Open(SourceFile& file, std::unique_ptr<Profile>* out);

  // Copies up to *count bytes of the tag, starting at `offset` within it, and sets *count
  // to the number copied.  A null buffer answers InsufficientBuffer with the tag's full
  // size in *count.  *shared tells whether another table entry uses the same bytes.
  Result GetTag(uint32_t signature, uint32_t offset, uint32_t* count, void* buffer,
                bool* shared);
  Result GetTagSize(uint32_t signature, uint32_t* size) const;

  // The header, decoded when the profile was opened or the header last set.
  const Header& header() const { return header_; }
  // The header as stored in the file (big-endian numbers).
  void GetHeader(uint8_t header[kHeaderSize]) const;
  void SetHeader(const uint8_t header[kHeaderSize]);

  // Gives the tag exactly `size` bytes: its first bytes are kept, new bytes are zero.
  // A tag that does not exist yet is added to the table.
  Result SetTagSize(uint32_t signature, uint32_t size);
  // Overwrites `count` bytes of the tag from `offset`; the range must lie inside the tag.
  Result SetTag(uint32_t signature, uint32_t offset, uint32_t count, const void* data);

  bool Modified() const { return modified_; }

  // Length in bytes of the profile that WriteTo produces.
  uint64_t OutputLength() const;

  // Streams the profile with every change applied.  Tags after a resized one move by the
  // change of its padded size; their bytes, gaps and trailing bytes are copied as they are.
  // A changed tag whose bytes are also used by another table entry (or that overlaps one)
  // is written after the last byte instead, so the other entry keeps its data.  The size
  // field of the header always holds the real length of what is written, and a profile that
  // carries a profile ID (KeepsProfileId) gets the ID of the new content.
  Result WriteTo(Sink& sink);

  // Reads `count` bytes of the profile as stored, from `offset` of the file.
  Result ReadStored(uint64_t offset, void* buffer, std::size_t count);

  // Closes the underlying file; nothing can be read afterwards.
  void ReleaseFile() { file_.reset(); }

  const std::vector<TagEntry>& Entries() const { return entries_; }
  uint64_t FileSize() const { return file_size_; }

 private:
  struct Edit {
    std::size_t entry;           // index into entries_
    std::vector<uint8_t> bytes;  // the tag's whole new content
  };
  struct Layout;

  Profile() = default;
  int Find(uint32_t signature) const;
  bool SharesBytes(std::size_t entry) const;
  uint64_t ExtentEnd(std::size_t entry) const;
  Edit* EditFor(std::size_t entry);
  Result MakeEdit(std::size_t entry, uint32_t size, Edit** edit);
  void ComputeLayout(Layout* layout) const;
  Result Stream(const Layout& layout, const uint8_t header[kHeaderSize], Sink& sink);

  std::unique_ptr<SourceFile> file_;
  uint64_t file_size_ = 0;
  uint32_t original_count_ = 0;
  Header header_;
  std::vector<TagEntry> entries_;  // original rows first, then added ones
  std::vector<Edit> edits_;
  bool modified_ = false;
};

// The header as the profile ID is computed over it: the flags, the rendering intent and the
// ID itself taken as zero.
void ZeroProfileIdFields(uint8_t header[kHeaderSize]);
// Whether a rewrite gives the header's ID field the ID of the new content: from version 4 on
// when the profile carries an ID (HasProfileId); before, when the field holds the ID of the
// profile as stored in `file` (some profiles carry one there), which the rewrite would make
// wrong.  Other bytes in the field are kept as they are.  Reads the whole profile only for a
// profile before version 4 whose field is not all zero.
Result KeepsProfileId(SourceFile& file, const Header& header, bool* keeps);

// Streams profile changes to a replacement file and swaps it in.  The platform supplies
// the steps; Commit orders them so that a failure at any step leaves the original file.
class Replacement {
 public:
  virtual ~Replacement() = default;
  // Creates the temporary file beside the profile; the returned sink writes to it.
  virtual Result Create(Sink** sink) = 0;
  // Makes the written bytes durable and closes the temporary file.
  virtual Result Finish() = 0;
  // Puts the temporary file in the profile's place, keeping the profile's attributes.
  virtual Result Replace() = 0;
  // Removes the temporary file after a failure; errors are ignored.
  virtual void Discard() = 0;
};

// Writes the changed `profile` through `replacement`.  The profile's file is released once
// the new file is complete, before it replaces the old one (an open file may be locked).
Result Commit(Profile& profile, Replacement& replacement);
// Commit's first half: the new file complete beside the old one and the profile's file
// released; replacement.Replace() (or Discard) finishes the job later.
Result Prepare(Profile& profile, Replacement& replacement);

}  // namespace icc
