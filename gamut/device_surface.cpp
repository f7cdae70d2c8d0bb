#include "device_surface.h"

#include "lcms_io.h"

namespace gamut {

std::vector<Face> OutlineFaces(cmsColorSpaceSignature space, int channels) {
  std::vector<Face> faces;
  if (channels < 2) return faces;
  if (channels == 3 || (channels == 4 && space == cmsSigCmykData)) {
    faces = CubeFaces(3);
    for (Face& f : faces) f.fixed.resize(std::size_t(channels), 0);
  } else {
    for (int a = 0; a < channels; ++a)
      for (int b = a + 1; b < channels; ++b)
        faces.push_back({a, b, std::vector<uint16_t>(std::size_t(channels), 0)});
  }
  return faces;
}

std::vector<Face> CubeFaces(int channels) {
  std::vector<Face> faces;
  if (channels < 2 || channels > 16) return faces;
  const uint32_t corners = 1u << (channels - 2);  // the other channels' values
  for (int a = 0; a < channels; ++a)
    for (int b = a + 1; b < channels; ++b)
      for (uint32_t bits = 0; bits < corners; ++bits) {
        Face f{a, b, std::vector<uint16_t>(std::size_t(channels), 0)};
        for (int c = 0, bit = 0; c < channels; ++c)
          if (c != a && c != b) f.fixed[std::size_t(c)] = (bits >> bit++) & 1 ? 0xFFFF : 0;
        faces.push_back(std::move(f));
      }
  return faces;
}

uint64_t SurfaceCost(std::size_t faces, int side, int channels) {
  return (uint64_t(faces) * uint64_t(side) * uint64_t(side)) << channels;
}

std::vector<uint16_t> SampleFaces(const std::vector<Face>& faces, int side, int channels) {
  std::vector<uint16_t> device;
  device.reserve(faces.size() * std::size_t(side) * std::size_t(side) * std::size_t(channels));
  for (const Face& f : faces)
    for (int i = 0; i < side; ++i)
      for (int j = 0; j < side; ++j) {
        const std::size_t at = device.size();
        device.insert(device.end(), f.fixed.begin(), f.fixed.end());
        device[at + std::size_t(f.a)] = uint16_t(i * 0xFFFF / (side - 1));
        device[at + std::size_t(f.b)] = uint16_t(j * 0xFFFF / (side - 1));
      }
  return device;
}

icc::Result TransformSamples(cmsHPROFILE h, const std::vector<uint16_t>& device, bool lab, void* out) {
  const cmsContext context = cmsGetProfileContextID(h);
  LcmsProfile pcs(lab ? cmsCreateLab4ProfileTHR(context, nullptr) : cmsCreateXYZProfileTHR(context));
  if (!pcs.h) return {icc::Status::OutOfMemory, 0};
  const cmsUInt32Number format = cmsFormatterForColorspaceOfProfile(h, 2, FALSE);
  if (T_CHANNELS(format) == 0) return {icc::Status::InvalidProfile, 0};
  Transform t(cmsCreateTransform(h, format, pcs.h, lab ? TYPE_Lab_DBL : TYPE_XYZ_DBL,
                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE));
  if (!t.h) return {icc::Status::InvalidProfile, 0};
  const std::size_t count = device.size() / T_CHANNELS(format);
  cmsDoTransform(t.h, device.data(), out, cmsUInt32Number(count));
  return {};
}

}  // namespace gamut
