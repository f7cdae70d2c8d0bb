// The container over a COM stream, for handlers that the shell gives a stream instead of a
// path (property, thumbnail and preview handlers).  Windows only.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>

#include "icc_profile.h"

namespace colour {

// Reads a profile through `stream`, which it holds a reference to.  Every read seeks first,
// so the stream must not be used by anyone else while the profile reads from it.
// The stream's own failures come back as Status::Io with the HRESULT as the code.
icc::Result OpenStreamFile(IStream* stream, std::unique_ptr<icc::SourceFile>* out);
// The profile in `stream`, read through OpenStreamFile.
icc::Result OpenStreamProfile(IStream* stream, std::unique_ptr<icc::Profile>* out);

// Writes through `stream` from where it stands.
class StreamSink : public icc::Sink {
 public:
  explicit StreamSink(IStream* stream) : stream_(stream) {}
  icc::Result Write(const void* data, std::size_t count) override;

 private:
  IStream* stream_;
};

// The HRESULT for a container result: the stream's own HRESULT, a Win32 code made into one,
// or the profile errors of the colour service (ERROR_INVALID_PROFILE, ERROR_TAG_NOT_FOUND).
HRESULT ToHresult(const icc::Result& result);

}  // namespace colour
