// The registration-script interpreter, run against a scratch key that stands for
// HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "module.h"
#include "registrar.h"
#include "support.h"

namespace {

using hueshell::RegistryAccess;

const char kScratch[] = "Software\\HueshellRegistrarTest";

class Registrar : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(root_);
    RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
  }

  HRESULT Run(const std::wstring& script, bool do_register, RegistryAccess* registry = nullptr) {
    RegistryAccess plain;
    return hueshell::InterpretScript(script.c_str(), do_register, root_, registry ? *registry : plain);
  }

  bool Exists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  std::string Value(const std::string& path, const char* name = nullptr) {
    char data[1024];
    DWORD size = sizeof data, type = 0;
    if (RegGetValueA(root_, path.c_str(), name, RRF_RT_ANY, &type, data, &size) != ERROR_SUCCESS)
      return "<none>";
    return type == REG_SZ ? std::string(data) : "<type>";
  }

  void Make(const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  HKEY root_ = nullptr;
};

// Fails to open or create any key of the given name, and to write any value.
class RefusingRegistry : public RegistryAccess {
 public:
  explicit RefusingRegistry(const wchar_t* name) : name_(name) {}
  LSTATUS SetString(HKEY, const wchar_t*, const wchar_t*) override { return ERROR_ACCESS_DENIED; }
  LSTATUS OpenKey(HKEY parent, const wchar_t* name, REGSAM access, HKEY* key) override {
    return lstrcmpW(name, name_) == 0 ? ERROR_ACCESS_DENIED : RegistryAccess::OpenKey(parent, name, access, key);
  }
  LSTATUS CreateKey(HKEY parent, const wchar_t* name, HKEY* key) override {
    return lstrcmpW(name, name_) == 0 ? ERROR_ACCESS_DENIED : RegistryAccess::CreateKey(parent, name, key);
  }

 private:
  const wchar_t* name_;
};

TEST(Expansion, ReplacesModuleAndPercentAndRejectsOtherNames) {
  const struct {
    const wchar_t* script;
    HRESULT result;
    const wchar_t* expanded;
  } cases[] = {
      {L"x = s '%MODULE%'", S_OK, L"x = s 'C:\\a''b\\Hueshell.dll'"},
      {L"%module%|%Module%", S_OK, L"C:\\a''b\\Hueshell.dll|C:\\a''b\\Hueshell.dll"},
      {L"100%% sure", S_OK, L"100% sure"},
      {L"no names", S_OK, L"no names"},
      {L"%APPID%", DISP_E_EXCEPTION, nullptr},
      {L"%MODULE", DISP_E_EXCEPTION, nullptr},
      {L"50% off", DISP_E_EXCEPTION, nullptr},
  };
  for (const auto& c : cases) {
    hueshell::TaskText out;
    EXPECT_EQ(hueshell::ExpandScript(c.script, L"C:\\a''b\\Hueshell.dll", &out), c.result) << shx::Narrow(c.script);
    if (c.expanded) {
      EXPECT_STREQ(out.get(), c.expanded);
    }
  }
}

TEST_F(Registrar, TheShippedScriptRegistersAndUnregistersItsTable) {
  std::string script;
  const std::vector<uint8_t> bytes = shx::FileBytes(shx::WindowsPath(HUESHELL_SOURCE "/ICCTip.rgs"));
  script.assign(bytes.begin(), bytes.end());
  ASSERT_NE(script.find("\r\n\t"), std::string::npos) << "CR LF line ends and tabs";
  hueshell::TaskText expanded;
  ASSERT_EQ(hueshell::ExpandScript(shx::Wide(script).c_str(), L"C:\\it''s\\Hueshell.dll", &expanded), S_OK);
  ASSERT_EQ(Run(expanded.get(), true), S_OK);

  const std::string clsid = "CLSID\\{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}";
  EXPECT_EQ(Value("Hueshell.ICCTip.1"), "ICCTip Class");
  EXPECT_EQ(Value("Hueshell.ICCTip\\CurVer"), "Hueshell.ICCTip.1");
  EXPECT_EQ(Value("CLSID"), "<none>");
  EXPECT_EQ(Value(clsid + "\\InprocServer32"), "C:\\it's\\Hueshell.dll");
  EXPECT_EQ(Value(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_TRUE(Exists(clsid + "\\Programmable"));

  Make("CLSID\\{someone-else}");
  ASSERT_EQ(Run(expanded.get(), false), S_OK);
  EXPECT_FALSE(Exists("Hueshell.ICCTip.1"));
  EXPECT_FALSE(Exists("Hueshell.ICCTip"));
  EXPECT_FALSE(Exists(clsid));
  EXPECT_TRUE(Exists("CLSID\\{someone-else}"));
  // Unregistering again finds nothing to open and touches nothing.
  EXPECT_EQ(Run(expanded.get(), false), S_OK);
  EXPECT_TRUE(Exists("CLSID"));
}

TEST_F(Registrar, RemovalPrefixesAndForeignSubkeys) {
  Make("Fresh\\Stale\\Deep");
  Make("CLSID\\Kept");
  Make("TypeLib\\Kept");
  Make("Mixed\\Foreign");
  const std::wstring script =
      L"HKCR\r\n{\r\n"
      L"\tForceRemove Fresh = s 'new'\r\n\t{\r\n\t\tChild\r\n\t}\r\n"
      L"\tForceRemove CLSID\r\n\tForceRemove TypeLib\r\n"
      L"\tNoRemove Kept = s 'k'\r\n\t{\r\n\t\tval Named = s 'v'\r\n\t}\r\n"
      L"\tMixed\r\n\t{\r\n\t\tOwn\r\n\t}\r\n"
      L"\t'Quoted {name}' = s 'it''s = { }'\r\n"
      L"}\r\n";
  ASSERT_EQ(Run(script, true), S_OK);
  EXPECT_FALSE(Exists("Fresh\\Stale")) << "ForceRemove rewrites the key from scratch";
  EXPECT_EQ(Value("Fresh"), "new");
  EXPECT_TRUE(Exists("Fresh\\Child"));
  EXPECT_TRUE(Exists("CLSID\\Kept")) << "CLSID is never force-removed";
  EXPECT_TRUE(Exists("TypeLib\\Kept"));
  EXPECT_EQ(Value("Kept", "Named"), "v");
  EXPECT_EQ(Value("Quoted {name}"), "it's = { }");

  ASSERT_EQ(Run(script, false), S_OK);
  EXPECT_FALSE(Exists("Fresh"));
  EXPECT_TRUE(Exists("Kept")) << "NoRemove";
  EXPECT_EQ(Value("Kept", "Named"), "<none>") << "named values are deleted";
  EXPECT_TRUE(Exists("Mixed\\Foreign")) << "a key that still holds someone else's subkey stays";
  EXPECT_FALSE(Exists("Mixed\\Own"));
  EXPECT_FALSE(Exists("Quoted {name}"));
  EXPECT_TRUE(Exists("CLSID\\Kept"));
  EXPECT_TRUE(Exists("TypeLib\\Kept"));
}

TEST_F(Registrar, ARootBlockFailingPartWayIsTakenBack) {
  const std::wstring script =
      L"HKCR { First = s 'one' }\n"
      L"HKCR { Second = s 'two' { Inner { Broken = s 'x' } } Third }\n"
      L"HKCR { Fourth }\n";
  RefusingRegistry refusing(L"Broken");
  EXPECT_EQ(Run(script, true, &refusing), DISP_E_EXCEPTION);
  EXPECT_TRUE(Exists("First")) << "an earlier root block that succeeded stays";
  EXPECT_FALSE(Exists("Second"));
  EXPECT_FALSE(Exists("Third"));
  EXPECT_FALSE(Exists("Fourth")) << "nothing after the failure runs";

  // Values that cannot be written are not reported.
  EXPECT_EQ(Run(L"HKCR { Quiet = s 'x' { val Named = s 'y' } }", true, &refusing), S_OK);
  EXPECT_TRUE(Exists("Quiet"));
  EXPECT_EQ(Value("Quiet"), "<none>");
}

TEST_F(Registrar, MalformedScriptsFailWithoutWriting) {
  const wchar_t* const scripts[] = {
      L"HKCR { Open = s 'x'",          // no closing brace
      L"HKCR { Bad = s 'unterminated }",
      L"HKCR { Number = d '5' }",       // only string values
      L"HKLM { Elsewhere }",            // only the classes root
      L"HKCR { Open = 'x' }",
      L"HKCR { val = s 'x' }",
      L"HKCR Open",
  };
  for (const wchar_t* script : scripts) {
    EXPECT_EQ(Run(script, true), DISP_E_EXCEPTION) << shx::Narrow(script);
    EXPECT_FALSE(Exists("Open"));
    EXPECT_FALSE(Exists("Bad"));
    EXPECT_FALSE(Exists("Number"));
  }
}

// A module without the resources: the system's error comes back as an HRESULT.
TEST(Resources, MissingScriptsAndTypeLibraryReportTheSystemError) {
  const HRESULT script = hueshell::RunRegistrationScript(GetModuleHandleA(nullptr), 101, true);
  EXPECT_EQ(HRESULT_FACILITY(script), FACILITY_WIN32);
  EXPECT_TRUE(FAILED(script));
  EXPECT_TRUE(FAILED(hueshell::RegisterTypeLibrary(GetModuleHandleA(nullptr))));
}

}  // namespace
