// ICCThumbnail: every profile the system ships drawn through the handler (written as PNG
// into thumbnails/ beside the test), damaged profiles refused, and the handler's contract.
#include <gtest/gtest.h>
#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "com_ptr.h"
#include "png.h"
#include "support.h"
#include "thumbnail.h"

namespace {

using hueshell::kIID_IThumbnailProvider;

struct Result {
  HRESULT hr;
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
};

// A new handler, initialized with the file's stream, asked for a `size` thumbnail.
Result Draw(const std::string& path, UINT size) {
  colour::ComPtr<IStream> stream;
  colour::ComPtr<IInitializeWithStream> init;
  colour::ComPtr<IThumbnailProvider> provider;
  Result r{SHCreateStreamOnFileA(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.put())};
  if (FAILED(r.hr)) return r;
  EXPECT_EQ(hueshell::CreateICCThumbnail(nullptr, IID_IInitializeWithStream, reinterpret_cast<void**>(init.put())), S_OK);
  EXPECT_EQ(init->Initialize(stream.get(), STGM_READ), S_OK);
  EXPECT_EQ(init->QueryInterface(kIID_IThumbnailProvider, reinterpret_cast<void**>(provider.put())), S_OK);
  r.hr = provider->GetThumbnail(size, &r.bitmap, &r.alpha);
  return r;
}

DIBSECTION Section(HBITMAP bitmap) {
  DIBSECTION dib = {};
  EXPECT_EQ(GetObjectA(bitmap, sizeof dib, &dib), int(sizeof dib));
  return dib;
}

// Pixels with a colour above their alpha: none in a premultiplied bitmap.
int NotPremultiplied(HBITMAP bitmap) {
  const BITMAP bm = Section(bitmap).dsBm;
  const auto* pixels = static_cast<const uint32_t*>(bm.bmBits);
  int count = 0;
  for (LONG i = 0; i < bm.bmWidth * bm.bmHeight; ++i) {
    const uint32_t p = pixels[i], a = p >> 24;
    count += (p >> 16 & 0xFF) > a || (p >> 8 & 0xFF) > a || (p & 0xFF) > a;
  }
  return count;
}

class Thumbnail : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(Thumbnail, EverySystemProfileThroughTheHandler) {
  CreateDirectoryA("thumbnails", nullptr);
  int drawn = 0;
  for (const std::string& path : shx::SystemProfiles()) {
    const Result r = Draw(path, 256);
    ASSERT_EQ(r.hr, S_OK) << path;
    EXPECT_EQ(r.alpha, WTSAT_ARGB);
    const DIBSECTION dib = Section(r.bitmap);
    EXPECT_EQ(dib.dsBm.bmWidth, 256);
    EXPECT_EQ(dib.dsBm.bmHeight, 256);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
    const auto* pixels = static_cast<const uint32_t*>(dib.dsBm.bmBits);
    EXPECT_EQ(pixels[256 * 256 - 1] >> 24, 0u) << path;       // outside the diagram
    EXPECT_EQ(pixels[128 * 256 + 85] >> 24, 0xFFu) << path;   // inside it
    EXPECT_EQ(NotPremultiplied(r.bitmap), 0) << path;
    const std::string name = path.substr(path.rfind('\\') + 1);
    testing_icc::WritePng("thumbnails\\" + name + ".png", r.bitmap);
    std::printf("thumbnail: %s -> thumbnails\\%s.png\n", path.c_str(), name.c_str());
    DeleteObject(r.bitmap);
    ++drawn;
  }
  EXPECT_GE(drawn, 49);
}

TEST_F(Thumbnail, DamagedProfilesFailWithoutABitmap) {
  const std::string folder = shx::WindowsPath(DAMAGED_PROFILES) + "\\";
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "*.ic?").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int refused = 0;
  do {
    const Result r = Draw(folder + found.cFileName, 256);
    EXPECT_TRUE(FAILED(r.hr)) << found.cFileName;
    EXPECT_EQ(r.bitmap, nullptr);
    ++refused;
  } while (FindNextFileA(h, &found));
  FindClose(h);
  EXPECT_GE(refused, 30);
}

TEST_F(Thumbnail, Contract) {
  colour::ComPtr<IThumbnailProvider> provider;
  ASSERT_EQ(hueshell::CreateICCThumbnail(nullptr, kIID_IThumbnailProvider, reinterpret_cast<void**>(provider.put())), S_OK);
  HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
  WTS_ALPHATYPE alpha;
  EXPECT_EQ(provider->GetThumbnail(256, &bitmap, &alpha), E_UNEXPECTED);
  EXPECT_EQ(bitmap, nullptr);
  EXPECT_EQ(provider->GetThumbnail(256, nullptr, &alpha), E_POINTER);

  colour::ComPtr<IInitializeWithStream> init;
  ASSERT_EQ(provider->QueryInterface(IID_IInitializeWithStream, reinterpret_cast<void**>(init.put())), S_OK);
  EXPECT_EQ(init->Initialize(nullptr, STGM_READ), E_INVALIDARG);
  colour::ComPtr<IStream> stream;
  ASSERT_EQ(SHCreateStreamOnFileA("Z:\\usr\\share\\color\\icc\\sRGB.icc", STGM_READ, stream.put()), S_OK);
  EXPECT_EQ(init->Initialize(stream.get(), STGM_READ), S_OK);
  EXPECT_EQ(init->Initialize(stream.get(), STGM_READ), HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));

  // Never more than asked for: below 16 the picture is scaled down, above 1024 it is drawn
  // at 1024 and the shell scales it; no size is none.
  for (const auto& [asked, made] : {std::pair<UINT, LONG>{1, 1}, {8, 8}, {4096, 1024}}) {
    ASSERT_EQ(provider->GetThumbnail(asked, &bitmap, &alpha), S_OK);
    EXPECT_EQ(Section(bitmap).dsBm.bmWidth, made);
    EXPECT_EQ(NotPremultiplied(bitmap), 0) << asked;
    DeleteObject(bitmap);
  }
  EXPECT_EQ(provider->GetThumbnail(0, &bitmap, &alpha), E_INVALIDARG);
  EXPECT_EQ(bitmap, nullptr);
}

// Lookup tables without a colour grid, of RGB and of YCbCr, are drawn; a version 5 profile
// that Little CMS cannot read is not supported.
TEST_F(Thumbnail, DrawsWhatLittleCmsTransforms) {
  const testing_icc::ScratchFolder folder;
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    HRESULT hr;
  } rows[] = {
      {"rgb.icc", testing_icc::CurveMatrixProfile(false), S_OK},
      {"ycc.icc", testing_icc::CurveMatrixProfile(true), S_OK},
      {"v5.icc", testing_icc::Version5Profile(), HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)},
  };
  for (const auto& row : rows) {
    const Result r = Draw(folder.Put(row.name, row.bytes), 256);
    EXPECT_EQ(r.hr, row.hr) << row.name;
    EXPECT_EQ(r.bitmap != nullptr, SUCCEEDED(row.hr)) << row.name;
    if (r.bitmap) DeleteObject(r.bitmap);
  }
}

// One object, eight threads: every thumbnail of a lookup-table profile (many reads of the
// one stream) is the one drawn alone.
TEST_F(Thumbnail, EightThreadsOnOneObject) {
  colour::ComPtr<IStream> stream;
  ASSERT_EQ(SHCreateStreamOnFileA(shx::WindowsPath(LCMS2_TESTBED "/TestCLT.icc").c_str(), STGM_READ,
                                  stream.put()),
            S_OK);
  colour::ComPtr<IThumbnailProvider> provider;
  ASSERT_EQ(hueshell::CreateICCThumbnail(nullptr, kIID_IThumbnailProvider, provider.put_void()), S_OK);
  colour::ComPtr<IInitializeWithStream> init;
  ASSERT_EQ(provider.As(IID_IInitializeWithStream, &init), S_OK);
  ASSERT_EQ(init->Initialize(stream.get(), STGM_READ), S_OK);
  auto pixels = [&] {
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    std::vector<uint32_t> out;
    if (SUCCEEDED(provider->GetThumbnail(64, &bitmap, &alpha))) {
      const auto* bits = static_cast<const uint32_t*>(Section(bitmap).dsBm.bmBits);
      out.assign(bits, bits + 64 * 64);
      DeleteObject(bitmap);
    }
    return out;
  };
  const std::vector<uint32_t> alone = pixels();
  ASSERT_FALSE(alone.empty());
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      for (int i = 0; i < 10; ++i) wrong += pixels() != alone;
      CoUninitialize();
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0) << "of 80";
}

}  // namespace
