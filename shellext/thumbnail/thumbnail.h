// ICCThumbnail: the thumbnail of a colour profile, its gamut on the CIE 1931 chromaticity
// diagram, read from the stream the shell hands over.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <vector>

namespace hueshell {

// IThumbnailProvider's ID, which not every import library holds.
extern const IID kIID_IThumbnailProvider;

// Draws the gamut of the profile in `stream` into `size` x `size` pixels with premultiplied
// alpha, at most the picture's largest size; below its smallest the picture is drawn at that
// and scaled down.  S_OK; E_INVALIDARG for size 0; ERROR_INVALID_PROFILE for a damaged
// profile or one without a picture; ERROR_NOT_SUPPORTED for a version 5 profile that gives
// none; E_OUTOFMEMORY also for one that would cost more than gamut::Limits allow; a failure
// of the stream as the stream reports it.
HRESULT DrawProfileThumbnail(IStream* stream, UINT size, std::vector<uint32_t>* argb, int* drawn);

// A top-down 32-bit bitmap of `argb` (premultiplied alpha), for WTSAT_ARGB.
HRESULT MakeArgbBitmap(const std::vector<uint32_t>& argb, int size, HBITMAP* bitmap);

// Creation function of the class table.
HRESULT CreateICCThumbnail(IUnknown* outer, REFIID riid, void** ppv);

}  // namespace hueshell
