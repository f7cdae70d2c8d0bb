// ICCTip: the five-line tip, its name tables and its failures, on synthetic profiles and
// on every v2 profile the system ships, with single platform operations stood in.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "guids.h"
#include "icc_profile.h"
#include "info_tip.h"
#include "localized_text.h"
#include "support.h"

namespace {

using hueshell::TipPlatform;

// ---- stand-ins ---------------------------------------------------------------------

shx::CountingMalloc g_malloc;
bool g_no_malloc = false;
bool g_fail_header = false;
bool g_fail_text = false;
DWORD g_largest_text_request = 0;
int g_open_profiles = 0;
int g_string_allocations = 0;
int g_refused_string = -1;  // the number of the allocation to refuse, counted from 0

HRESULT WINAPI StoodInMalloc(IMalloc** out) {
  if (g_no_malloc) {
    *out = nullptr;
    return E_FAIL;
  }
  g_malloc.AddRef();
  *out = &g_malloc;
  return S_OK;
}

HPROFILE WINAPI CountingOpen(PPROFILE profile, DWORD access, DWORD share, DWORD creation) {
  HPROFILE h = hueshell::DefaultTipPlatform().OpenColorProfileW(profile, access, share, creation);
  if (h) ++g_open_profiles;
  return h;
}

BOOL WINAPI CountingClose(HPROFILE h) {
  --g_open_profiles;
  return hueshell::DefaultTipPlatform().CloseColorProfile(h);
}

BOOL WINAPI MaybeFailingHeader(HPROFILE h, PPROFILEHEADER header) {
  if (g_fail_header) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return hueshell::DefaultTipPlatform().GetColorProfileHeader(h, header);
}

BOOL WINAPI WatchedElement(HPROFILE h, TAGTYPE tag, DWORD offset, PDWORD size, PVOID buffer, PBOOL ref) {
  if (buffer && offset == 12) {
    if (*size > g_largest_text_request) g_largest_text_request = *size;
    if (g_fail_text) {
      SetLastError(ERROR_READ_FAULT);
      return FALSE;
    }
  }
  return hueshell::DefaultTipPlatform().GetColorProfileElement(h, tag, offset, size, buffer, ref);
}

BSTR WINAPI MaybeRefusedString(const OLECHAR* text, UINT length) {
  if (g_string_allocations++ == g_refused_string) return nullptr;
  return SysAllocStringLen(text, length);
}

TipPlatform StoodIn() {
  TipPlatform p = hueshell::DefaultTipPlatform();
  p.SHGetMalloc = StoodInMalloc;
  p.OpenColorProfileW = CountingOpen;
  p.CloseColorProfile = CountingClose;
  p.GetColorProfileHeader = MaybeFailingHeader;
  p.GetColorProfileElement = WatchedElement;
  p.SysAllocStringLen = MaybeRefusedString;
  return p;
}
const TipPlatform g_platform = StoodIn();

// ---- fixture -----------------------------------------------------------------------

class Tip : public ::testing::Test {
 protected:
  void SetUp() override {
    g_no_malloc = g_fail_header = g_fail_text = false;
    g_malloc.refuse = false;
    g_largest_text_request = 0;
    g_refused_string = -1;
    folder_ = shx::TempFolder("hueshell-tip");
  }
  void TearDown() override {
    EXPECT_EQ(g_open_profiles, 0) << "every opened profile is closed";
    EXPECT_EQ(g_malloc.live, 0);
  }

  std::string Write(const std::string& name, const shx::ProfileShape& shape) {
    const std::string path = folder_ + "\\" + name;
    shx::WriteFileBytes(path, shx::BuildProfile(shape));
    return path;
  }

  // Creates a tip for `path` and asks for its text; *result receives GetInfoTip's result.
  std::string TipOf(const std::wstring& path, HRESULT* result = nullptr) {
    IQueryInfo* info = nullptr;
    EXPECT_EQ(hueshell::CreateICCTipWith(g_platform, nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
    IPersistFile* file = nullptr;
    info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    EXPECT_EQ(file->Load(path.c_str(), STGM_READ), S_OK);
    file->Release();
    wchar_t* tip = reinterpret_cast<wchar_t*>(1);
    const HRESULT hr = info->GetInfoTip(0, &tip);
    if (result) *result = hr;
    std::string text = "<no tip>";
    wide_tip_.clear();
    if (hr == S_OK && tip) {
      wide_tip_ = tip;
      text = shx::Narrow(tip);
      g_malloc.Free(tip);
    } else if (hr != S_OK) {
      EXPECT_EQ(tip, nullptr) << "a failed tip hands over nothing";
    }
    info->Release();
    return text;
  }
  std::string TipOf(const std::string& path, HRESULT* result = nullptr) { return TipOf(shx::Wide(path), result); }

  std::string folder_;
  std::wstring wide_tip_;  // the last tip as given
};

std::string Lines(const std::string& description, const char* cls, const char* space, const char* pcs,
                  const char* intent) {
  return std::string("Description: ") + description + "\nClass: " + cls + "\nColor Space: " + space +
         "\nConnection Space: " + pcs + "\nIntent: " + intent;
}

uint32_t Sig(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

TEST_F(Tip, OfficeMonitorGivesFiveLinesTwiceInSeparateBlocks) {
  const std::string path = Write("office.icm", shx::Described("Office monitor"));
  IQueryInfo* info = nullptr;
  ASSERT_EQ(hueshell::CreateICCTipWith(g_platform, nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  IPersistFile* file = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  ASSERT_EQ(file->Load(shx::Wide(path).c_str(), 0xFFFF), S_OK);

  wchar_t* first = nullptr;
  wchar_t* second = nullptr;
  ASSERT_EQ(info->GetInfoTip(0, &first), S_OK);
  EXPECT_EQ(g_open_profiles, 0) << "the profile is not held open between calls";
  ASSERT_EQ(info->GetInfoTip(0xFFFFFFFF, &second), S_OK);
  EXPECT_EQ(shx::Narrow(first),
            "Description: Office monitor\nClass: Monitor\nColor Space: RGB\nConnection Space: XYZ\nIntent: Perceptual");
  EXPECT_STREQ(first, second);
  EXPECT_NE(first, second);
  EXPECT_EQ(g_malloc.live, 2);
  g_malloc.Free(first);
  g_malloc.Free(second);

  DWORD flags = 7;
  EXPECT_EQ(info->GetInfoFlags(&flags), E_NOTIMPL);
  EXPECT_EQ(flags, 0u);
  CLSID clsid = CLSID_ICCMenu;
  EXPECT_EQ(file->GetClassID(&clsid), E_NOTIMPL);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_ICCMenu));
  EXPECT_EQ(file->IsDirty(), E_NOTIMPL);
  EXPECT_EQ(file->Save(L"x", TRUE), E_NOTIMPL);
  EXPECT_EQ(file->SaveCompleted(L"x"), E_NOTIMPL);
  LPOLESTR current = nullptr;
  EXPECT_EQ(file->GetCurFile(&current), E_NOTIMPL);
  EXPECT_EQ(current, nullptr);

  // The last Load wins; the path is all the object keeps.
  const std::string other = Write("other.icc", shx::Described("Other"));
  ASSERT_EQ(file->Load(shx::Wide(other).c_str(), 0), S_OK);
  ASSERT_EQ(info->GetInfoTip(0, &first), S_OK);
  EXPECT_EQ(shx::Narrow(first).substr(0, 19), "Description: Other\n");
  g_malloc.Free(first);
  file->Release();
  info->Release();
}

// The tip shows the header's fields through the name tables: one name of each, an unknown
// value of each, and values that only look like listed ones.
TEST_F(Tip, NameTablesAndTheirUnknowns) {
  shx::ProfileShape shape = shx::Described("Link");
  shape.device_class = Sig("MNTR");
  shape.colour_space = Sig("rgb ");
  shape.connection_space = Sig("lab ");
  shape.intent = 4;
  EXPECT_EQ(TipOf(Write("c.icc", shape)), Lines("Link", "Unknown", "Unknown", "Unknown", "Unknown"));
  shape.device_class = Sig("spac");
  shape.colour_space = Sig("YCbr");
  shape.connection_space = Sig("CMYK");
  shape.intent = 0x00010000;
  EXPECT_EQ(TipOf(Write("a.icc", shape)), Lines("Link", "Color Space", "YCbCr", "Unknown", "Unknown"));
  shape.device_class = Sig("prtr");
  shape.colour_space = Sig("GRAY");
  shape.connection_space = Sig("Lab ");
  shape.intent = 3;
  EXPECT_EQ(TipOf(Write("b.icc", shape)), Lines("Link", "Printer", "Gray Scale", "Lab", "Absolute Colorimetric"));
}

TEST_F(Tip, DescriptionBytes) {
  shx::ProfileShape empty;  // count 0
  EXPECT_EQ(TipOf(Write("empty.icc", empty)), Lines("", "Monitor", "RGB", "XYZ", "Perceptual"));

  shx::ProfileShape unterminated;
  unterminated.text = "No end";
  unterminated.count = 6;
  EXPECT_EQ(TipOf(Write("unterminated.icc", unterminated)), Lines("No end", "Monitor", "RGB", "XYZ", "Perceptual"));

  shx::ProfileShape inner_zero;
  inner_zero.text = std::string("Front\0Back", 10);
  inner_zero.count = 10;
  EXPECT_EQ(TipOf(Write("zero.icc", inner_zero)), Lines("Front", "Monitor", "RGB", "XYZ", "Perceptual"));

  shx::ProfileShape high = shx::Described("Caf\xE9 \xA9");
  wchar_t expected[8] = {};
  MultiByteToWideChar(CP_ACP, 0, "Caf\xE9 \xA9", -1, expected, 8);
  const std::string tip = TipOf(Write("high.icc", high));
  EXPECT_EQ(tip.substr(13, 6), shx::Narrow(expected));

  // A count larger than the tag: the request is bounded by the tag's real size.
  shx::ProfileShape forged;
  forged.text = std::string("Forged\0", 7);
  forged.count = 0xFFFFFFF0;
  g_largest_text_request = 0;
  EXPECT_EQ(TipOf(Write("forged.icc", forged)), Lines("Forged", "Monitor", "RGB", "XYZ", "Perceptual"));
  EXPECT_LE(g_largest_text_request, 7u);
  forged.count = 0x7FFFFFFF;
  forged.text = "ABC";  // no zero: the text ends with the tag
  EXPECT_EQ(TipOf(Write("forged2.icc", forged)), Lines("ABC", "Monitor", "RGB", "XYZ", "Perceptual"));

  // No description can forge a line of its own, nor show a raw control character.
  EXPECT_EQ(TipOf(Write("lines.icc", shx::Described("Evil\nClass: Printer\r\tx\x7F"))),
            Lines("Evil Class: Printer  x?", "Monitor", "RGB", "XYZ", "Perceptual"));
  EXPECT_EQ(wide_tip_.substr(13, 24), L"Evil Class: Printer  x\ufffd\n");

  // At most 64 KB of text is read, whatever the tag holds; a longer text is cut with "...".
  g_largest_text_request = 0;
  EXPECT_EQ(TipOf(Write("long.icc", shx::Described(std::string(100000, 'x')))),
            Lines(std::string(65536, 'x') + "...", "Monitor", "RGB", "XYZ", "Perceptual"));
  EXPECT_EQ(g_largest_text_request, 65536u);
  EXPECT_EQ(TipOf(Write("exact.icc", shx::Described(std::string(65535, 'y')))),
            Lines(std::string(65535, 'y'), "Monitor", "RGB", "XYZ", "Perceptual"));
}

TEST_F(Tip, FailuresGiveNoTip) {
  HRESULT hr = S_OK;
  TipOf(folder_ + "\\missing.icc", &hr);
  EXPECT_EQ(hr, E_FAIL);

  shx::WriteFileBytes(folder_ + "\\text.icc", std::vector<uint8_t>(400, 'x'));
  TipOf(folder_ + "\\text.icc", &hr);
  EXPECT_EQ(hr, E_FAIL) << "not a profile";

  shx::ProfileShape no_desc;
  no_desc.with_desc = false;
  no_desc.padding = 64;
  TipOf(Write("nodesc.icc", no_desc), &hr);
  EXPECT_EQ(hr, E_FAIL) << "no desc tag, although the header is fine";

  shx::ProfileShape short_desc;
  short_desc.desc_size = 10;  // the count field is cut off
  TipOf(Write("short.icc", short_desc), &hr);
  EXPECT_EQ(hr, E_FAIL);

  const std::string good = Write("good.icc", shx::Described("Good"));
  g_fail_text = true;
  TipOf(good, &hr);
  EXPECT_EQ(hr, E_FAIL) << "description bytes unreadable";
  g_fail_text = false;

  g_fail_header = true;
  TipOf(good, &hr);
  EXPECT_EQ(hr, E_FAIL) << "header unreadable";
  g_fail_header = false;

  g_malloc.refuse = true;
  IQueryInfo* info = nullptr;
  ASSERT_EQ(hueshell::CreateICCTipWith(g_platform, nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  IPersistFile* file = nullptr;
  info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  file->Load(shx::Wide(good).c_str(), 0);
  wchar_t* tip = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(info->GetInfoTip(0, &tip), E_OUTOFMEMORY) << "an allocator without memory";
  EXPECT_EQ(tip, nullptr);
  g_malloc.refuse = false;
  EXPECT_EQ(info->GetInfoTip(0, nullptr), E_POINTER);
  file->Release();
  info->Release();

  // A piece for which no string can be made is left out; the rest of the tip stays.
  const char* const lines[] = {"Description: ", "Good", "\nClass: ", "Monitor", "\nColor Space: ", "RGB",
                               "\nConnection Space: ", "XYZ", "\nIntent: ", "Perceptual"};
  for (int refused = 0; refused < 10; ++refused) {
    std::string expected;
    for (int i = 0; i < 10; ++i)
      if (i != refused) expected += lines[i];
    g_string_allocations = 0;
    g_refused_string = refused;
    EXPECT_EQ(TipOf(good, &hr), expected) << refused;
    EXPECT_EQ(hr, S_OK);
  }
  g_refused_string = -1;

  // Without any shell allocator the tip fails instead of calling through nothing.
  g_no_malloc = true;
  TipOf(good, &hr);
  EXPECT_EQ(hr, E_FAIL);
}

TEST_F(Tip, LoadKeepsTheNameAsGiven) {
  IQueryInfo* info = nullptr;
  ASSERT_EQ(hueshell::CreateICCTipWith(g_platform, nullptr, IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  IPersistFile* file = nullptr;
  info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  wchar_t* tip = reinterpret_cast<wchar_t*>(1);
  EXPECT_EQ(info->GetInfoTip(0, &tip), E_FAIL) << "before any Load";
  EXPECT_EQ(tip, nullptr);
  EXPECT_EQ(file->Load(nullptr, 0), S_OK);
  EXPECT_EQ(info->GetInfoTip(0, &tip), E_FAIL);
  file->Release();
  info->Release();

  // Folders and names in Greek, Cyrillic, Chinese and an emoji, none of which the ANSI code
  // page holds: each profile its own tip.
  EXPECT_EQ(GetACP(), 1252u);
  const std::wstring root = shx::Wide(folder_);
  const std::vector<uint8_t> profile = shx::BuildProfile(shx::Described("Far away"));
  for (const std::wstring leaf : {L"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1", L"\u041c\u043e\u0441\u043a\u0432\u0430",
                                  L"\u5317\u4eac", L"\U0001F308"}) {
    const std::wstring folder = root + L"\\" + leaf;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring name = folder + L"\\" + leaf + L".icc";
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, profile.data(), DWORD(profile.size()), &written, nullptr);
    CloseHandle(h);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(TipOf(name, &hr), Lines("Far away", "Monitor", "RGB", "XYZ", "Perceptual"));
    EXPECT_EQ(hr, S_OK);
  }

  // A fullwidth letter is not its best-fit ASCII letter: no other file's tip.
  Write("a.icc", shx::Described("Plain a"));
  HRESULT hr = S_OK;
  TipOf(root + L"\\\uff41.icc", &hr);
  EXPECT_EQ(hr, E_FAIL);
}

// A profile whose description is the given table of localized records.
std::vector<uint8_t> LocalizedProfile(const std::vector<uint8_t>& tag) {
  return testing_icc::BuildProfile({{"desc", tag}});
}

using Record = icc::LocalizedRecord;

TEST_F(Tip, LocalizedDescriptionsShowTheUserLanguageAndStayInsideTheTag) {
  struct Case {
    const char* name;
    std::vector<uint8_t> tag;
    const char* description;
  };
  auto outside = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(outside.data() + 16 + 8, 0x7FFFFFF0);
  auto longer = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(longer.data() + 16 + 4, 0x7FFFFFFF);
  auto odd = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(odd.data() + 16 + 4, 5);
  auto many = icc::BuildLocalizedText({Record("en", "US", u"Monitor")});
  icc::StoreBE32(many.data() + 8, 0xFFFFFFFF);
  std::vector<Record> past(6000, Record("en", "AA", u"title"));  // en-US past the first 64 KB
  past.emplace_back("en", "US", std::u16string(u"Monitor\0", 8));
  const Case cases[] = {
      {"languages", icc::BuildLocalizedText({Record("de", "DE", u"Bildschirm"),
                                             Record("en", "US", u"Caf\u00e9 monitor"),
                                             Record("fr", "FR", u"\u00c9cran")}),
       "Caf\xe9 monitor"},
      {"first", icc::BuildLocalizedText({Record("ja", "JP", u"Display"), Record("it", "IT", u"x")}),
       "Display"},
      {"none", icc::BuildLocalizedText({}), ""},
      {"outside", outside, ""},
      {"longer", longer, "Monitor"},
      {"odd", odd, "Mo"},
      {"many", many, "Monitor"},
      {"past 64 KB, a closing zero", icc::BuildLocalizedText(past), "Monitor"},
  };
  // Text outside the ANSI code page reaches the tip exactly: Greek, Chinese, an emoji.
  const std::u16string foreign = u"Γειά 你好 😀";
  shx::WriteFileBytes(folder_ + "\\foreign.icc",
                      LocalizedProfile(icc::BuildLocalizedText({Record("en", "US", foreign)})));
  TipOf(folder_ + "\\foreign.icc");
  EXPECT_EQ(wide_tip_.substr(13, foreign.size()), std::wstring(foreign.begin(), foreign.end()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_ + "\\" + c.name + ".icc";
    shx::WriteFileBytes(path, LocalizedProfile(c.tag));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(TipOf(shx::Wide(path), &hr),
              Lines(c.description, "Monitor", "RGB", "XYZ", "Perceptual"));
    EXPECT_EQ(hr, S_OK);
  }
}

TEST_F(Tip, EverySystemProfileMatchesItsOwnBytes) {
  const std::vector<std::string> profiles = shx::SystemProfiles();
  ASSERT_GE(profiles.size(), 45u);  // version 2 and version 4
  for (const std::string& path : profiles) {
    const std::vector<uint8_t> bytes = shx::FileBytes(path);
    ASSERT_TRUE(bytes[8] == 2 || bytes[8] == 4) << path;
    HRESULT hr = E_FAIL;
    EXPECT_EQ(TipOf(path, &hr), shx::IndependentTip(bytes)) << path;
    EXPECT_EQ(hr, S_OK) << path;
  }
}

}  // namespace
