// ICCProperties: the property handler of profiles.  Explorer's Details pane and columns and
// the search indexer read the description (System.Title), the copyright (System.Copyright)
// and the profile's own properties through it, its gamut's volume and coverage among them;
// the description can be written back.
#pragma once

#include <windows.h>
#include <propsys.h>

namespace hueshell {

// The profile's own properties, under one format ID; Hueshell.propdesc describes them.
// {531FF94D-1D45-484C-80B4-4B29C2F7EBEA}
constexpr GUID kProfileFormatId = {
    0x531FF94D, 0x1D45, 0x484C, {0x80, 0xB4, 0x4B, 0x29, 0xC2, 0xF7, 0xEB, 0xEA}};
enum ProfilePropertyId : DWORD {
  kDeviceClassId = 2,      // Hueshell.Profile.DeviceClass
  kColourSpaceId,          // Hueshell.Profile.ColorSpace
  kConnectionSpaceId,      // Hueshell.Profile.ConnectionSpace
  kRenderingIntentId,      // Hueshell.Profile.RenderingIntent
  kVersionId,              // Hueshell.Profile.Version
  kCreatedId,              // Hueshell.Profile.Created (VT_FILETIME)
  kManufacturerId,         // Hueshell.Profile.Manufacturer ('dmnd')
  kModelId,                // Hueshell.Profile.Model ('dmdd')
  kProfileIdStateId,       // Hueshell.Profile.IdState: "Valid", "Absent" or "Wrong"
  kHealthId,               // Hueshell.Profile.Health: "Sound", "2 warnings" or the first error
  kGamutVolumeId,          // Hueshell.Profile.GamutVolume: cubic delta E (VT_UI4)
  kSrgbCoverageId,         // Hueshell.Profile.SrgbCoverage: percent (VT_R8, one decimal)
  kDisplayP3CoverageId,    // Hueshell.Profile.DisplayP3Coverage: percent (VT_R8, one decimal)
};

// Creation function of the class table.
HRESULT CreateICCProperties(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
