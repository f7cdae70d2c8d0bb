#include "png.h"

#include <gtest/gtest.h>
#include <wincodec.h>

#include "com_ptr.h"

namespace testing_icc {

void WritePng(const std::string& path, HBITMAP bitmap) {
  DIBSECTION dib = {};
  ASSERT_EQ(GetObjectA(bitmap, sizeof dib, &dib), int(sizeof dib));
  const UINT width = UINT(dib.dsBm.bmWidth), height = UINT(dib.dsBm.bmHeight);
  std::wstring wide(path.begin(), path.end());
  colour::ComPtr<IWICImagingFactory> factory;
  colour::ComPtr<IWICStream> stream;
  colour::ComPtr<IWICBitmapEncoder> encoder;
  colour::ComPtr<IWICBitmapFrameEncode> frame;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory, factory.put_void()), S_OK);
  ASSERT_EQ(factory->CreateStream(stream.put()), S_OK);
  ASSERT_EQ(stream->InitializeFromFilename(wide.c_str(), GENERIC_WRITE), S_OK);
  ASSERT_EQ(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()), S_OK);
  ASSERT_EQ(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), S_OK);
  ASSERT_EQ(encoder->CreateNewFrame(frame.put(), nullptr), S_OK);
  ASSERT_EQ(frame->Initialize(nullptr), S_OK);
  ASSERT_EQ(frame->SetSize(width, height), S_OK);
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  ASSERT_EQ(frame->SetPixelFormat(&format), S_OK);
  ASSERT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA));
  colour::ComPtr<IWICBitmap> pixels;
  ASSERT_EQ(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppPBGRA, width * 4,
                                            width * height * 4, static_cast<BYTE*>(dib.dsBm.bmBits),
                                            pixels.put()),
            S_OK);
  ASSERT_EQ(frame->WriteSource(pixels.get(), nullptr), S_OK);  // to straight alpha, as PNG has it
  ASSERT_EQ(frame->Commit(), S_OK);
  ASSERT_EQ(encoder->Commit(), S_OK);
}

}  // namespace testing_icc
