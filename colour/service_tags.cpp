#include "service_tags.h"

namespace colour {

icc::Result LastResult() {
  const DWORD error = GetLastError();
  switch (error) {
    case ERROR_INVALID_PROFILE: return {icc::Status::InvalidProfile, 0};
    case ERROR_TAG_NOT_FOUND: return {icc::Status::TagNotFound, 0};
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return {icc::Status::OutOfMemory, 0};
    default: return icc::Result::Io(error);
  }
}

icc::Result ServiceTags::ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) {
  DWORD size = 0;
  BOOL reference = FALSE;
  if (!colour::GetColorProfileElement(profile_, signature, 0, &size, nullptr, &reference) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return LastResult();
  bytes->resize(size);
  if (size == 0) return {};
  if (!colour::GetColorProfileElement(profile_, signature, 0, &size, bytes->data(), &reference))
    return LastResult();
  return {};
}

icc::Result ServiceTags::ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) {
  DWORD count = DWORD(bytes.size());
  if (!colour::SetColorProfileElementSize(profile_, signature, count)) return LastResult();
  uint8_t* data = const_cast<uint8_t*>(bytes.data());
  if (count && !colour::SetColorProfileElement(profile_, signature, 0, &count, data))
    return LastResult();
  return {};
}

icc::Result ServiceTags::Header(icc::Header* header) {
  PROFILEHEADER record;
  if (!colour::GetColorProfileHeader(profile_, &record)) return LastResult();
  *header = FromHostRecord(record);
  return {};
}

}  // namespace colour
