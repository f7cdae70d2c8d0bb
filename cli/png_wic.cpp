// PNG through the system's imaging component (WIC) and its PNG encoder, into memory.
#include <windows.h>
#include <initguid.h>
#include <wincodec.h>

#include "png_encoder.h"

namespace cli {
namespace {

template <class T>
struct Com {
  T* p = nullptr;
  ~Com() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

HRESULT Encode(const std::vector<uint32_t>& argb, int width, int height,
               std::vector<uint8_t>* png) {
  Com<IWICImagingFactory> factory;
  Com<IStream> stream;
  Com<IWICBitmapEncoder> encoder;
  Com<IWICBitmapFrameEncode> frame;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory.p));
  if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream.p);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder.p);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame.p, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(UINT(width), UINT(height));
  // 0xAARRGGBB in memory on this little-endian system is B, G, R, A: straight alpha.
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr) && format != GUID_WICPixelFormat32bppBGRA) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (SUCCEEDED(hr))
    hr = frame->WritePixels(UINT(height), UINT(width) * 4, UINT(argb.size() * 4),
                            reinterpret_cast<BYTE*>(const_cast<uint32_t*>(argb.data())));
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  HGLOBAL memory = nullptr;
  if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.p, &memory);
  STATSTG stat = {};
  if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  const void* bytes = GlobalLock(memory);
  if (!bytes) return HRESULT_FROM_WIN32(GetLastError());
  const auto* begin = static_cast<const uint8_t*>(bytes);
  png->assign(begin, begin + stat.cbSize.QuadPart);
  GlobalUnlock(memory);
  return S_OK;
}

}  // namespace

bool EncodePng(const std::vector<uint32_t>& argb, int width, int height,
               std::vector<uint8_t>* png, std::string* reason) {
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const HRESULT hr = Encode(argb, width, height, png);
  if (SUCCEEDED(init)) CoUninitialize();
  if (SUCCEEDED(hr)) return true;
  char code[16];
  wsprintfA(code, "0x%08lX", static_cast<unsigned long>(hr));
  *reason = std::string("the PNG could not be made (") + code + ")";
  return false;
}

}  // namespace cli
