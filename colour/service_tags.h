// The tags of a profile open in the colour service, as the description codec reads and
// writes them (icc::TagStore).  Nothing is stored until the handle is closed.
#pragma once

#include "colour_service.h"
#include "description.h"

namespace colour {

// The thread's last-error value of a failed service call as a result of the container.
icc::Result LastResult();

class ServiceTags : public icc::TagStore {
 public:
  explicit ServiceTags(HPROFILE profile) : profile_(profile) {}
  icc::Result ReadTag(uint32_t signature, std::vector<uint8_t>* bytes) override;
  icc::Result ReplaceTag(uint32_t signature, const std::vector<uint8_t>& bytes) override;
  icc::Result Header(icc::Header* header) override;

 private:
  HPROFILE profile_;
};

}  // namespace colour
