// ICCPreview hosted as the preview host hosts it: a parent window, the handler that the
// association names, SetWindow, SetRect, DoPreview, a resize and Unload, then the next
// profile in the same handler.  Every installed profile and every damaged one of the
// fuzzers' corpus; each pane is saved as a PNG in previews/ and its text, read back from
// the window, is compared with what Little CMS reads from the file on its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <lcms2.h>
#include <propsys.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "com_ptr.h"
#include "doctor.h"
#include "footprint.h"
#include "png.h"
#include "profile_builder.h"
#include "profile_properties.h"
#include "real_profiles.h"
#include "registered_library.h"
#include "stream_file.h"
#include "stub_stream.h"

using colour::ComPtr;

namespace {

const wchar_t kClsid[] = L"{5602683E-4967-4201-A5BA-12803EE1DFF6}";
const wchar_t kShellEx[] = L"\\ShellEx\\{8895b1c6-b41f-4c1c-a562-0d564250836f}";
const wchar_t kAssociations[] = L"SOFTWARE\\Classes\\SystemFileAssociations\\";

// This build's library, named as the preview handler of .icc and .icm as the setup names it.
const auto* const g_registration = testing::AddGlobalTestEnvironment(new testing_icc::RegisteredLibrary(
    HUESHELL_DLL,
    {kAssociations + std::wstring(L".icc") + kShellEx, kAssociations + std::wstring(L".icm") + kShellEx},
    kClsid));

using testing_icc::Utf8;
using testing_icc::Wide;

// The host's frame: records the keys the pane passes on.
class Frame final : public IPreviewHandlerFrame {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPreviewHandlerFrame)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(PREVIEWHANDLERFRAMEINFO* info) override {
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override {
    keys.push_back(msg->wParam);
    return S_FALSE;
  }
  ULONG refs = 0;
  std::vector<WPARAM> keys;
};

void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

HWND TextOf(HWND pane) { return FindWindowExW(pane, nullptr, L"Edit", nullptr); }

std::wstring ReadText(HWND pane) {
  HWND text = TextOf(pane);
  std::wstring shown(std::size_t(GetWindowTextLengthW(text)) + 1, L'\0');
  shown.resize(std::size_t(GetWindowTextW(text, &shown[0], int(shown.size()))));
  return shown;
}

// The pane once the health check's posts after the first paint have run: the verdict, then
// the gamut's measure.
std::wstring FinishedText(HWND pane) {
  std::wstring text;
  for (int i = 0; i < 400; ++i) {
    Pump(5);
    text = ReadText(pane);
    if (text.find(L"Health:\tchecking") == std::wstring::npos &&
        text.find(L"Gamut volume:\tmeasuring") == std::wstring::npos)
      break;
  }
  return text;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int ChildWindows(HWND parent) {
  int n = 0;
  EnumChildWindows(parent, CountWindow, LPARAM(&n));
  return n;
}

RECT ChildRect(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring LcmsText(cmsHPROFILE h, cmsInfoType info) {
  wchar_t text[8192] = L"";
  cmsGetProfileInfo(h, info, "en", "US", text, 8192);
  return text;
}

// The first line of a stored text, without trailing blanks: how the pane begins it.
std::wstring FirstLine(std::wstring text) {
  text.resize(std::min(text.size(), text.find_first_of(L"\r\n")));
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
  return text;
}

class Preview : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"PreviewHostTest";
    RegisterClassW(&wc);
    host_ = CreateWindowExW(0, L"PreviewHostTest", L"Preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            560, 760, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(host_, nullptr);
    CreateDirectoryA("previews", nullptr);
  }
  void TearDown() override {
    DestroyWindow(host_);
    CoUninitialize();
  }

  // The handler that the association of the file's extension names.
  ComPtr<IPreviewHandler> Create(const std::string& path) {
    wchar_t clsid_text[64] = L"";
    DWORD size = sizeof clsid_text;
    const std::wstring key = kAssociations + std::wstring(PathFindExtensionW(Wide(path).c_str())) + kShellEx;
    ComPtr<IPreviewHandler> handler;
    CLSID clsid;
    EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, clsid_text, &size), 0);
    EXPECT_EQ(CLSIDFromString(clsid_text, &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, handler.put_void()), S_OK);
    return handler;
  }

  // Initialize, SetWindow and DoPreview; the pane's window.
  HWND Show(IPreviewHandler* handler, const std::string& path, RECT rect) {
    ComPtr<IStream> stream;
    EXPECT_EQ(SHCreateStreamOnFileEx(Wide(path).c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                     stream.put()), S_OK);
    return Show(handler, stream.get(), rect);
  }
  HWND Show(IPreviewHandler* handler, IStream* stream, RECT rect) {
    ComPtr<IInitializeWithStream> init;
    ComPtr<IOleWindow> window;
    EXPECT_EQ(handler->QueryInterface(IID_IInitializeWithStream, init.put_void()), S_OK);
    EXPECT_EQ(init->Initialize(stream, STGM_READ), S_OK);
    EXPECT_EQ(handler->SetWindow(host_, &rect), S_OK);
    EXPECT_EQ(handler->DoPreview(), S_OK);
    HWND pane = nullptr;
    EXPECT_EQ(handler->QueryInterface(IID_IOleWindow, window.put_void()), S_OK);
    EXPECT_EQ(window->GetWindow(&pane), S_OK);
    EXPECT_EQ(GetParent(pane), host_);
    return pane;
  }

  // The pane, which the host's client area holds at `pane`, as a PNG.
  void Screenshot(const std::string& name, const RECT& pane) {
    const RECT client = {0, 0, pane.right - pane.left, pane.bottom - pane.top};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC screen = GetDC(host_), memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, pane.left, pane.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(host_, screen);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (LONG i = 0; i < client.right * client.bottom; ++i) pixels[i] |= 0xFF000000u;
    testing_icc::WritePng("previews\\" + name + ".png", bitmap);
    DeleteObject(bitmap);
  }

  HWND host_ = nullptr;
};

// Every installed profile, then every damaged one, through one handler as the host reuses
// it: the texts against Little CMS, the layout after a resize, nothing left after Unload
// and no byte of the file changed.
TEST_F(Preview, EveryProfileShownAsTheHostShowsIt) {
  std::vector<std::string> paths, names;
  for (const testing_icc::Source& s : testing_icc::InstalledProfiles(0)) {
    paths.push_back(s.path);
    names.push_back(s.label);
  }
  const size_t installed = paths.size();
  WIN32_FIND_DATAA found;
  std::string folder = std::string("Z:") + FUZZ_DAMAGED + "\\";
  for (char& c : folder)
    if (c == '/') c = '\\';
  HANDLE h = FindFirstFileA((folder + "*.ic?").c_str(), &found);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  do {
    paths.push_back(folder + found.cFileName);
    names.push_back(std::string("damaged-") + found.cFileName);
  } while (FindNextFileA(h, &found));
  FindClose(h);
  ASSERT_GT(installed, 40u);

  // The library registered the AppID of the preview host that loads it: the 32-bit one on
  // 64-bit Windows.
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  wchar_t app[64] = L"";
  DWORD size = sizeof app;
  ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsid).c_str(), L"AppID", RRF_RT_REG_SZ,
                         nullptr, app, &size), 0);
  EXPECT_STREQ(app, wow64 ? L"{534A1E02-D58F-44f0-B58B-36CBED287C7C}" : L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}");

  Frame frame;
  ComPtr<IPreviewHandler> handler = Create(paths[0]);
  ComPtr<IObjectWithSite> site;
  ASSERT_EQ(handler.As(IID_IObjectWithSite, &site), S_OK);
  ASSERT_EQ(site->SetSite(static_cast<IPreviewHandlerFrame*>(&frame)), S_OK);
  std::string summary;
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string& path = paths[i];
    SCOPED_TRACE(path);
    const std::vector<uint8_t> before = testing_icc::FileBytes(path);
    RECT client;
    GetClientRect(host_, &client);
    HWND pane = Show(handler.get(), path, client);
    const std::wstring text = FinishedText(pane);
    Screenshot(names[i], client);
    summary += "== " + path + "\n" + Utf8(text) + "\n";

    // A tall pane has the diagram above the text, a wide one beside it.
    const bool picture = text.find(L"No gamut picture") == std::wstring::npos;
    EXPECT_GT(ChildRect(TextOf(pane)).top, picture ? client.bottom / 4 : 0);
    RECT wide = {0, 0, client.right, client.bottom / 2};
    EXPECT_EQ(handler->SetRect(&wide), S_OK);
    Pump(10);
    if (picture) {
      EXPECT_GT(ChildRect(TextOf(pane)).left, wide.right / 4);
    }
    // A pane three times as wide as tall shows the solid beside the diagram, the text after
    // both; one without a solid keeps the text after the diagram.
    const bool solid = text.find(L"Gamut volume:\t") != std::wstring::npos &&
                       text.find(L"Gamut volume:\tnone") == std::wstring::npos &&
                       text.find(L"Gamut volume:\t(") == std::wstring::npos;
    RECT wider = {0, 0, client.right, client.right / 3};
    EXPECT_EQ(handler->SetRect(&wider), S_OK);
    Pump(10);
    if (picture) {
      EXPECT_EQ(ChildRect(TextOf(pane)).left > wider.right / 2, solid) << Utf8(text);
    }
    if (i == 0) Screenshot(names[i] + "-wide", wider);

    // The doctor's verdict and each of its findings, as the doctor gives them for the file.
    icc::CheckReport report;
    {
      ComPtr<IStream> stream;
      std::unique_ptr<icc::SourceFile> file;
      ASSERT_EQ(SHCreateStreamOnFileEx(Wide(path).c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()), S_OK);
      ASSERT_TRUE(colour::OpenStreamFile(stream.get(), &file).ok());
      ASSERT_TRUE(doctor::CheckProfile(*file, &report).ok());
    }
    if (report.Count(icc::Severity::Error) || i < installed)
      EXPECT_NE(text.find(L"\r\nHealth:\t" + Wide(icc::HealthText(report)) + L"\r\n"), std::wstring::npos);
    for (const icc::Finding& f : report.findings)
      EXPECT_NE(text.find(L":\t" + Wide(f.message) + L"\r\n"), std::wstring::npos) << f.message;

    if (i >= installed) {
      EXPECT_FALSE(picture);
      EXPECT_EQ(text.find(L"Health:\tSound"), std::wstring::npos);
    } else {
      cmsHPROFILE lcms = cmsOpenProfileFromFile(path.c_str(), "r");
      ASSERT_NE(lcms, nullptr);
      EXPECT_TRUE(picture);
      // Measured on the check's thread, it comes with the verdict.
      EXPECT_NE(text.find(L"\r\nGamut volume:\t"), std::wstring::npos);
      EXPECT_EQ(text.substr(0, text.find(L"\r\n")), FirstLine(LcmsText(lcms, cmsInfoDescription)));
      const std::wstring copyright = FirstLine(LcmsText(lcms, cmsInfoCopyright));
      if (!copyright.empty()) {
        EXPECT_NE(text.find(L"\r\nCopyright:\t" + copyright), std::wstring::npos);
      }
      char expected[128];
      std::snprintf(expected, sizeof expected, "Tags (%u)\r\n", unsigned(cmsGetTagCount(lcms)));
      EXPECT_NE(text.find(Wide(expected)), std::wstring::npos);
      std::snprintf(expected, sizeof expected, "Version:\t%d.%d", int(cmsGetEncodedICCversion(lcms) >> 24),
                    int(cmsGetEncodedICCversion(lcms) >> 20 & 15));
      EXPECT_NE(text.find(Wide(expected)), std::wstring::npos);
      if (const auto* white = static_cast<const cmsCIEXYZ*>(cmsReadTag(lcms, cmsSigMediaWhitePointTag))) {
        cmsCIExyY xyY;
        cmsXYZ2xyY(&xyY, white);
        double kelvin = 0;
        std::snprintf(expected, sizeof expected, "Media white point:\tX %.4f, Y %.4f, Z %.4f\r\n\tx %.4f, y %.4f",
                      white->X, white->Y, white->Z, xyY.x, xyY.y);
        EXPECT_NE(text.find(Wide(expected)), std::wstring::npos) << expected;
        if (cmsTempFromWhitePoint(&kelvin, &xyY)) {
          std::snprintf(expected, sizeof expected, "; %.0f K\r\n", kelvin);
          EXPECT_NE(text.find(Wide(expected)), std::wstring::npos) << expected;
        }
      }
      cmsCloseProfile(lcms);
    }

    EXPECT_EQ(handler->Unload(), S_OK);
    EXPECT_FALSE(IsWindow(pane));
    EXPECT_EQ(ChildWindows(host_), 0);
    EXPECT_EQ(testing_icc::FileBytes(path), before);
  }
  EXPECT_EQ(site->SetSite(nullptr), S_OK);
  EXPECT_EQ(frame.refs, 0u);
  FILE* out = std::fopen("previews\\texts.txt", "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(summary.data(), 1, summary.size(), out);
  std::fclose(out);
  std::printf("%zu installed and %zu damaged profiles previewed: previews\\*.png, previews\\texts.txt\n",
              installed, paths.size() - installed);
}

// The host's colours and font (a dark theme), and the keys: the text keeps what it uses,
// Ctrl+A selects all of it and what is selected can be copied; the rest goes to the frame.
TEST_F(Preview, VisualsAndKeys) {
  const std::string path = std::string(testing_icc::kColourRoot) + "\\icc\\sRGB.icc";
  Frame frame;
  ComPtr<IPreviewHandler> handler = Create(path);
  ComPtr<IPreviewHandlerVisuals> visuals;
  ComPtr<IObjectWithSite> site;
  ASSERT_EQ(handler.As(IID_IPreviewHandlerVisuals, &visuals), S_OK);
  ASSERT_EQ(handler.As(IID_IObjectWithSite, &site), S_OK);
  ASSERT_EQ(site->SetSite(static_cast<IPreviewHandlerFrame*>(&frame)), S_OK);
  const COLORREF dark = RGB(32, 32, 36);
  LOGFONTW font = {};
  font.lfHeight = -15;
  lstrcpyW(font.lfFaceName, L"Tahoma");
  EXPECT_EQ(visuals->SetBackgroundColor(dark), S_OK);
  EXPECT_EQ(visuals->SetTextColor(RGB(230, 230, 230)), S_OK);
  EXPECT_EQ(visuals->SetFont(&font), S_OK);
  RECT rect;
  GetClientRect(host_, &rect);
  rect.bottom = 320;
  HWND pane = Show(handler.get(), path, rect);
  const std::wstring text = FinishedText(pane);
  Pump(50);
  Screenshot("dark-wide-sRGB", rect);
  HDC dc = GetDC(pane);
  EXPECT_EQ(GetPixel(dc, 1, 1), dark);
  ReleaseDC(pane, dc);
  LOGFONTW used = {};
  GetObjectW(HFONT(SendMessageW(TextOf(pane), WM_GETFONT, 0, 0)), sizeof used, &used);
  EXPECT_EQ(used.lfHeight, -15);

  HWND edit = TextOf(pane);
  EXPECT_EQ(handler->SetFocus(), S_OK);
  HWND focus = nullptr;
  EXPECT_EQ(handler->QueryFocus(&focus), S_OK);
  EXPECT_EQ(focus, edit);
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  MSG select_all = {edit, WM_KEYDOWN, 'A', 0, 0, {}};
  MSG copy = {edit, WM_KEYDOWN, 'C', 0, 0, {}};
  MSG tab = {edit, WM_KEYDOWN, VK_TAB, 0, 0, {}};
  EXPECT_EQ(handler->TranslateAccelerator(&select_all), S_OK);
  EXPECT_EQ(handler->TranslateAccelerator(&copy), S_FALSE);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(handler->TranslateAccelerator(&tab), S_FALSE);
  EXPECT_EQ(frame.keys, std::vector<WPARAM>{VK_TAB});
  DWORD from = 1, to = 0;
  SendMessageW(edit, EM_GETSEL, WPARAM(&from), LPARAM(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, DWORD(text.size()));
  SendMessageW(edit, WM_COPY, 0, 0);
  ASSERT_TRUE(OpenClipboard(host_));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), text);
  GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(handler->Unload(), S_OK);
  EXPECT_EQ(site->SetSite(nullptr), S_OK);
}

// A hundred previews, each in a new handler, leave no window, font, brush, handle or
// memory behind.
TEST_F(Preview, AHundredPreviewsLeaveNothingBehind) {
  const std::string path = std::string(testing_icc::kColourRoot) + "\\icc\\sRGB.icc";
  RECT rect = {0, 0, 400, 500};
  auto preview = [&] {
    ComPtr<IPreviewHandler> handler = Create(path);
    HWND pane = Show(handler.get(), path, rect);
    FinishedText(pane);
    const HGDIOBJ font = HGDIOBJ(SendMessageW(TextOf(pane), WM_GETFONT, 0, 0));
    HDC dc = GetDC(pane);
    const HGDIOBJ brush = HGDIOBJ(SendMessageW(pane, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(TextOf(pane))));
    ReleaseDC(pane, dc);
    EXPECT_NE(GetObjectType(font), 0u);
    EXPECT_NE(GetObjectType(brush), 0u);
    EXPECT_EQ(handler->Unload(), S_OK);
    EXPECT_EQ(GetObjectType(font), 0u);
    EXPECT_EQ(GetObjectType(brush), 0u);
    EXPECT_EQ(ChildWindows(host_), 0);
  };
  for (int i = 0; i < 5; ++i) preview();
  const testing_icc::Footprint before = testing_icc::MeasureFootprint();
  for (int i = 0; i < 100 && !HasFailure(); ++i) preview();
  const testing_icc::Footprint after = testing_icc::MeasureFootprint();
  std::printf("after 100 previews: %+lld KB committed, %+ld handles\n",
              (long long)(after.committed - before.committed) / 1024, long(after.handles - before.handles));
  EXPECT_LE(after.committed, before.committed + 256 * 1024);
  EXPECT_EQ(after.handles, before.handles);
}

// The pane's texts as every surface shows them: the record of the user's language wherever
// its row lies (here past the first 64 KB of the table), no raw control character, and a
// description tag that holds no text as damage.
TEST_F(Preview, TextsAsEverySurfaceShowsThem) {
  std::vector<icc::LocalizedRecord> many(6000, icc::LocalizedRecord("en", "AA", u"title"));
  many.emplace_back("en", "US", std::u16string(u"English\0", 8));
  const std::vector<uint8_t> copyright = testing_icc::Bytes(std::string("text\0\0\0\0(c)\x0e 2024\r\nAll", 22));
  const struct {
    const char* name;
    std::vector<uint8_t> desc;
    const wchar_t* first_line;
    const wchar_t* line;
  } cases[] = {
      {"past-64k", icc::BuildLocalizedText(many), L"English",
       L"\r\nTranslations:\t6001 (shown: en-US)\r\nCopyright:\t(c)\ufffd 2024\r\n\tAll\r\n"},
      {"curve", testing_icc::Bytes(std::string("curv\0\0\0\0\0\0\0\0", 12)),
       L"(not a profile, or a damaged one)", L"\r\nCopyright:\t(c)\ufffd 2024\r\n\tAll\r\n"},
  };
  RECT rect = {0, 0, 400, 500};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("previews\\text-") + c.name + ".icc";
    testing_icc::WriteFileBytes(path, testing_icc::BuildProfile({{"desc", c.desc}, {"cprt", copyright}}));
    ComPtr<IPreviewHandler> handler = Create(path);
    HWND pane = Show(handler.get(), path, rect);
    const std::wstring text = FinishedText(pane);
    EXPECT_EQ(text.substr(0, text.find(L"\r\n")), c.first_line);
    EXPECT_NE(text.find(c.line), std::wstring::npos) << Utf8(text);
    EXPECT_EQ(handler->Unload(), S_OK);
  }
}

// A stream of a profile's bytes followed by zeros up to `size` (a file of any size that holds
// no more than the profile), counting the bytes read, for use from any thread (free-threaded,
// as the system's file streams are: a thread it is marshalled to calls it directly).  Its first
// read that reaches past `gate` waits until Open() (at most a minute, so that a build in
// which the opener would wait for that read fails instead of hanging), on the reader's thread,
// which it keeps open.
class GatedStream final : public testing_icc::StubStream {
 public:
  GatedStream(std::vector<uint8_t> head, uint64_t size, uint64_t gate)
      : head_(std::move(head)), size_(size), gate_(gate) {
    CoCreateFreeThreadedMarshaler(this, ftm_.put());
  }
  ~GatedStream() {
    CloseHandle(reading_);
    CloseHandle(open_);
    if (reader) CloseHandle(reader);
  }
  std::atomic<uint64_t> bytes_read{0};
  HANDLE reader = nullptr;  // the thread of the read that waited
  DWORD reader_id = 0;
  bool waited_out = false;  // the read went on without Open()
  std::atomic<LONG> refs{1};

  // Until the gated read has begun, dispatching this thread's messages meanwhile.
  bool WaitForRead() {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;) {
      if (MsgWaitForMultipleObjects(1, &reading_, FALSE, 100, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return false;
  }
  void Open() { SetEvent(open_); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IMarshal && ftm_) return ftm_->QueryInterface(riid, ppv);
    if (riid != IID_IUnknown && riid != IID_IStream && riid != IID_ISequentialStream)
      return *ppv = nullptr, E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  HRESULT STDMETHODCALLTYPE Read(void* p, ULONG n, ULONG* got) override {
    const uint64_t end = std::min<uint64_t>(at_ + n, size_);
    if (end > gate_ && !reader_id) {
      reader_id = GetCurrentThreadId();
      reader = OpenThread(SYNCHRONIZE, FALSE, reader_id);
      SetEvent(reading_);
      waited_out = WaitForSingleObject(open_, 60000) != WAIT_OBJECT_0;
    }
    auto* out = static_cast<uint8_t*>(p);
    for (uint64_t i = at_; i < end; ++i) *out++ = i < head_.size() ? head_[std::size_t(i)] : 0;
    if (got) *got = ULONG(end - at_);
    bytes_read += end - at_;
    at_ = end;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER d, DWORD origin, ULARGE_INTEGER* at) override {
    at_ = uint64_t(d.QuadPart + (origin == STREAM_SEEK_END ? LONGLONG(size_) : origin == STREAM_SEEK_CUR ? LONGLONG(at_) : 0));
    if (at) at->QuadPart = at_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* s, DWORD) override {
    *s = STATSTG();
    s->cbSize.QuadPart = size_;
    return S_OK;
  }

 private:
  ComPtr<IUnknown> ftm_;
  std::vector<uint8_t> head_;
  uint64_t size_, gate_, at_ = 0;
  HANDLE reading_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE open_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// The property handler, as the association names it, on `stream`.
ComPtr<IPropertyStore> PropertiesOf(IStream* stream) {
  const CLSID kProperties = {0xE56B8C6D, 0xCDBB, 0x44FA, {0x97, 0xF2, 0xF5, 0xE0, 0x63, 0x31, 0xAF, 0x6A}};
  ComPtr<IInitializeWithStream> init;
  ComPtr<IPropertyStore> store;
  EXPECT_EQ(CoCreateInstance(kProperties, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream, init.put_void()), S_OK);
  if (init && SUCCEEDED(init->Initialize(stream, STGM_READ))) init.As(IID_IPropertyStore, &store);
  return store;
}

std::string ValueOf(IPropertyStore* store, DWORD id) {
  const GUID kProfileFormat = {0x531FF94D, 0x1D45, 0x484C, {0x80, 0xB4, 0x4B, 0x29, 0xC2, 0xF7, 0xEB, 0xEA}};
  PROPVARIANT value;
  std::string text = "(error)";
  if (SUCCEEDED(store->GetValue({kProfileFormat, id}, &value)) && value.vt == VT_LPWSTR) text = Utf8(value.pwszVal);
  PropVariantClear(&value);
  return text;
}

// Whole-profile reads (the profile ID's and, with it, the health's) stay within
// icc::kMaxWholeReadBytes and run neither on the host's window thread nor under the property
// store's lock.  Past the bound (up to 2 GB) the ID is "Not checked" in the store and in the
// pane, and nothing past the profile's own bytes is read.  At the bound, while its ID check
// reads, another thread reads the store's values; the pane's window goes on, is unloaded and
// destroyed, and the check's thread then ends.
TEST_F(Preview, WholeReadsBoundedAndOffTheWindowAndTheLock) {
  enum : DWORD { kDeviceClass = 2, kIdState = 10, kHealth = 11 };
  const uint64_t bound = icc::kMaxWholeReadBytes;
  std::vector<testing_icc::Tag> tags;
  for (auto& [signature, bytes] :
       testing_icc::TagsOf(testing_icc::FileBytes(std::string(testing_icc::kColourRoot) + "\\icc\\sRGB.icc")))
    tags.push_back({signature, bytes});
  std::vector<uint8_t> head = testing_icc::BuildProfile(tags);
  head[8] = 4;
  std::fill_n(head.begin() + 84, 16, 0x11);  // an ID, not that of the content
  auto profile = [&](uint64_t size) {
    icc::StoreBE32(head.data(), uint32_t(size));
    return std::make_unique<GatedStream>(head, size, head.size() + (64 << 10));
  };
  RECT rect = {0, 0, 400, 500};

  for (const uint64_t size : {bound + 4, uint64_t(2) << 30}) {
    SCOPED_TRACE(size);
    auto stream = profile(size);
    {
      ComPtr<IPropertyStore> store = PropertiesOf(stream.get());
      ASSERT_TRUE(store);
      EXPECT_EQ(ValueOf(store.get(), kIdState), "Not checked");
      EXPECT_EQ(ValueOf(store.get(), kHealth).find("Profile ID"), std::string::npos);
    }
    ComPtr<IPreviewHandler> handler = Create("x.icc");
    const std::wstring text = FinishedText(Show(handler.get(), stream.get(), rect));
    EXPECT_NE(text.find(L"Profile ID:\tNot checked\r\n"), std::wstring::npos);
    EXPECT_EQ(handler->Unload(), S_OK);
    EXPECT_LT(stream->bytes_read.load(), uint64_t(1) << 20);
    EXPECT_EQ(stream->reader_id, 0u);
  }

  // At the bound, the store: the ID is checked (and wrong) on one thread while another reads.
  {
    auto stream = profile(bound);
    ComPtr<IPropertyStore> store = PropertiesOf(stream.get());
    ASSERT_TRUE(store);
    std::string id;
    std::thread checker([&] { id = ValueOf(store.get(), kIdState); });
    ASSERT_TRUE(stream->WaitForRead());
    EXPECT_EQ(ValueOf(store.get(), kDeviceClass), "Monitor");
    EXPECT_FALSE(stream->waited_out);  // the read still waits: the value came meanwhile
    stream->Open();
    checker.join();
    EXPECT_EQ(id, "Wrong");
    EXPECT_EQ(ValueOf(store.get(), kHealth), "Profile ID does not match");
    EXPECT_GE(stream->bytes_read.load(), bound);
  }

  // The pane: the check reads on a thread of its own; the pane is unloaded and destroyed
  // while it waits, and the check then ends, leaving nothing of it.
  auto stream = profile(bound);
  ComPtr<IPreviewHandler> handler = Create("x.icc");
  HWND pane = Show(handler.get(), stream.get(), rect);
  ASSERT_TRUE(stream->WaitForRead());
  EXPECT_NE(stream->reader_id, GetCurrentThreadId());
  EXPECT_NE(ReadText(pane).find(L"Health:\tchecking..."), std::wstring::npos);
  EXPECT_EQ(handler->Unload(), S_OK);
  EXPECT_FALSE(IsWindow(pane));
  EXPECT_EQ(ChildWindows(host_), 0);
  handler.reset();
  EXPECT_FALSE(stream->waited_out);
  stream->Open();
  ASSERT_NE(stream->reader, nullptr);
  EXPECT_EQ(WaitForSingleObject(stream->reader, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(stream->refs.load(), 1);
  EXPECT_LT(stream->bytes_read.load(), bound);  // abandoned: no read after the one waiting
  Pump(20);
}

}  // namespace
