#include "thumbnail.h"

#include <propsys.h>
#include <thumbcache.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "com_object.h"
#include "com_ptr.h"
#include "gamut.h"
#include "guids.h"
#include "icc_profile.h"
#include "picture.h"
#include "stream_file.h"

namespace hueshell {

const IID kIID_IThumbnailProvider = {0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};

namespace {

// Shrinks a square premultiplied picture of `from` pixels a side to `to` (smaller): each
// pixel is the mean of the pixels it covers.
std::vector<uint32_t> ScaleDown(const std::vector<uint32_t>& argb, int from, int to) {
  std::vector<uint32_t> out(std::size_t(to) * std::size_t(to));
  for (int y = 0; y < to; ++y)
    for (int x = 0; x < to; ++x) {
      uint64_t sum[4] = {}, count = 0;
      for (int v = y * from / to; v < (y + 1) * from / to; ++v)
        for (int u = x * from / to; u < (x + 1) * from / to; ++u, ++count) {
          const uint32_t p = argb[std::size_t(v) * std::size_t(from) + std::size_t(u)];
          for (int c = 0; c < 4; ++c) sum[c] += (p >> (24 - 8 * c)) & 0xFF;
        }
      uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c) pixel |= uint32_t(sum[c] / count) << (24 - 8 * c);
      out[std::size_t(y) * std::size_t(to) + std::size_t(x)] = pixel;
    }
  return out;
}

// One object may be called from several threads at once (its threading model is Both): the
// stream's position is shared, so the calls take turns.
class CICCThumbnail final : public IInitializeWithStream, public IThumbnailProvider, public ObjectRoot {
 public:
  explicit CICCThumbnail(IUnknown* outer) : ObjectRoot(outer) { InitializeCriticalSection(&lock_); }

  HUESHELL_FORWARD_IUNKNOWN

  // IInitializeWithStream: the stream is kept until the object goes.
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD) override {
    if (!stream) return E_INVALIDARG;
    Locked hold(lock_);
    if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    stream_ = colour::ComPtr<IStream>(stream);
    return S_OK;
  }

  // IThumbnailProvider
  HRESULT STDMETHODCALLTYPE GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override {
    if (!bitmap || !alpha) return E_POINTER;
    *bitmap = nullptr;
    *alpha = WTSAT_UNKNOWN;
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    return Guarded([&] {
      std::vector<uint32_t> pixels;
      int size = 0;
      HRESULT hr = DrawProfileThumbnail(stream_.get(), cx, &pixels, &size);
      if (SUCCEEDED(hr)) hr = MakeArgbBitmap(pixels, size, bitmap);
      if (SUCCEEDED(hr)) *alpha = WTSAT_ARGB;
      return hr;
    });
  }

 protected:
  const InterfaceEntry* Interfaces() const override {
    static const InterfaceEntry rows[] = {
        {&kIID_IThumbnailProvider, InterfaceOffset<CICCThumbnail, IThumbnailProvider>()},
        {&IID_IInitializeWithStream, InterfaceOffset<CICCThumbnail, IInitializeWithStream>()},
        {nullptr, 0},
    };
    return rows;
  }

 private:
  ~CICCThumbnail() override { DeleteCriticalSection(&lock_); }

  CRITICAL_SECTION lock_;
  colour::ComPtr<IStream> stream_;
};

}  // namespace

HRESULT DrawProfileThumbnail(IStream* stream, UINT size, std::vector<uint32_t>* argb, int* drawn) {
  if (size == 0) return E_INVALIDARG;
  std::unique_ptr<icc::Profile> profile;
  icc::Result r = colour::OpenStreamProfile(stream, &profile);
  if (!r.ok()) return colour::ToHresult(r);
  gamut::Gamut g;
  r = gamut::ComputeGamut(*profile, &g);
  if (!r.ok()) return colour::ToHresult(r);
  *drawn = int(std::min<UINT>(size, gamut::kMaxSize));
  const int picture = std::max(*drawn, gamut::kMinSize);
  if (!gamut::Render(g, nullptr, picture, argb)) return E_FAIL;
  gamut::Premultiply(argb);  // WTSAT_ARGB: the shell composes the bitmap premultiplied
  if (picture != *drawn) *argb = ScaleDown(*argb, picture, *drawn);
  return S_OK;
}

HRESULT MakeArgbBitmap(const std::vector<uint32_t>& argb, int size, HBITMAP* bitmap) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down, as the pixels come
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP made = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!made || !bits) return E_OUTOFMEMORY;
  // 0xAARRGGBB in memory is B, G, R, A: the layout of a 32-bit DIB.
  std::memcpy(bits, argb.data(), argb.size() * sizeof(uint32_t));
  *bitmap = made;
  return S_OK;
}

HRESULT CreateICCThumbnail(IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCThumbnail>(outer, riid, ppv);
}

}  // namespace hueshell
