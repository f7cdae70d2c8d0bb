#include "stream_file.h"

#include <algorithm>
#include <new>
#include <vector>

#include "com_ptr.h"

namespace colour {
namespace {

// Reads of a profile are a few small ones near each other (the header, the tag table, the
// start of a tag, then its text), and each read of a stream is a seek and a read, which cost
// a system call each.  A small read therefore fetches the block that starts with it, and
// the reads that follow within that block are served from memory.
class StreamFile : public icc::SourceFile {
 public:
  StreamFile(IStream* stream, uint64_t size) : stream_(stream), size_(size) {}
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  uint64_t Size() const override { return size_; }

  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
    if (offset >= block_at_ && offset - block_at_ <= block_.size() &&
        count <= block_.size() - (offset - block_at_)) {
      std::copy_n(block_.data() + (offset - block_at_), count, static_cast<BYTE*>(buffer));
      return {};
    }
    if (count >= kBlock || offset >= size_) return Read(offset, buffer, count);
    const std::size_t fill = std::size_t(std::min<uint64_t>(kBlock, size_ - offset));
    if (count > fill) return Read(offset, buffer, count);  // past the end: the stream says so
    block_.resize(fill);
    block_at_ = uint64_t(-1);
    const icc::Result r = Read(offset, block_.data(), fill);
    if (!r.ok()) return r;
    block_at_ = offset;
    std::copy_n(block_.data(), count, static_cast<BYTE*>(buffer));
    return {};
  }

 private:
  static constexpr std::size_t kBlock = 8192;

  icc::Result Read(uint64_t offset, void* buffer, std::size_t count) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    HRESULT hr = stream_->Seek(at, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
    auto* bytes = static_cast<BYTE*>(buffer);
    while (count != 0) {
      const ULONG ask = ULONG(std::min<std::size_t>(count, 0x40000000));
      ULONG got = 0;
      hr = stream_->Read(bytes, ask, &got);
      if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
      if (got == 0) return icc::Result::Io(uint32_t(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)));
      bytes += got;
      count -= got;
    }
    return {};
  }

  ComPtr<IStream> stream_;
  uint64_t size_;
  std::vector<BYTE> block_;
  uint64_t block_at_ = uint64_t(-1);
};

}  // namespace

icc::Result OpenStreamFile(IStream* stream, std::unique_ptr<icc::SourceFile>* out) {
  // The size from the end's position: Stat can cost far more (file times, attributes).
  LARGE_INTEGER zero = {};
  ULARGE_INTEGER end = {};
  const HRESULT hr = stream->Seek(zero, STREAM_SEEK_END, &end);
  if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
  out->reset(new (std::nothrow) StreamFile(stream, end.QuadPart));
  if (!*out) return {icc::Status::OutOfMemory, 0};
  return {};
}

icc::Result OpenStreamProfile(IStream* stream, std::unique_ptr<icc::Profile>* out) {
  std::unique_ptr<icc::SourceFile> file;
  const icc::Result r = OpenStreamFile(stream, &file);
  return r.ok() ? icc::Profile::Open(std::move(file), out) : r;
}

icc::Result StreamSink::Write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const BYTE*>(data);
  while (count != 0) {
    const ULONG ask = ULONG(std::min<std::size_t>(count, 0x40000000));
    ULONG written = 0;
    const HRESULT hr = stream_->Write(bytes, ask, &written);
    if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
    if (written == 0) return icc::Result::Io(uint32_t(STG_E_MEDIUMFULL));
    bytes += written;
    count -= written;
  }
  return {};
}

HRESULT ToHresult(const icc::Result& result) {
  switch (result.status) {
    case icc::Status::Ok: return S_OK;
    case icc::Status::InvalidProfile: return HRESULT_FROM_WIN32(ERROR_INVALID_PROFILE);
    case icc::Status::TagNotFound: return HRESULT_FROM_WIN32(ERROR_TAG_NOT_FOUND);
    case icc::Status::InsufficientBuffer: return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    case icc::Status::InvalidParameter: return E_INVALIDARG;
    case icc::Status::OutOfMemory: return E_OUTOFMEMORY;
    case icc::Status::Version5: return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    case icc::Status::Io:
      return (result.os_error & 0x80000000u) ? HRESULT(result.os_error)
                                            : HRESULT_FROM_WIN32(result.os_error);
  }
  return E_FAIL;
}

}  // namespace colour
