#include "stream_file.h"

#include <algorithm>
#include <new>

namespace colour {
namespace {

class StreamFile : public icc::SourceFile {
 public:
  StreamFile(IStream* stream, uint64_t size) : stream_(stream), size_(size) { stream_->AddRef(); }
  ~StreamFile() override { stream_->Release(); }
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  uint64_t Size() const override { return size_; }

  icc::Result ReadAt(uint64_t offset, void* buffer, std::size_t count) override {
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

 private:
  IStream* stream_;
  uint64_t size_;
};

}  // namespace

icc::Result OpenStreamFile(IStream* stream, std::unique_ptr<icc::SourceFile>* out) {
  STATSTG stat = {};
  const HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
  out->reset(new (std::nothrow) StreamFile(stream, stat.cbSize.QuadPart));
  if (!*out) return {icc::Status::OutOfMemory, 0};
  return {};
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
    case icc::Status::Io:
      return (result.os_error & 0x80000000u) ? HRESULT(result.os_error)
                                            : HRESULT_FROM_WIN32(result.os_error);
  }
  return E_FAIL;
}

}  // namespace colour
