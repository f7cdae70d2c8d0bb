// Hueshell.dll as a client sees it: loaded with LoadLibrary, driven through its four
// exports and the COM interfaces of its class objects and instances.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>
#include <psapi.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "classes.h"
#include "com_ptr.h"
#include "guids.h"
#include "footprint.h"
#include "registrar.h"
#include "resource.h"
#include "support.h"
#include "thumbnail.h"

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(WINAPI*)();

struct Library {
  HMODULE module = nullptr;
  GetClassObjectFn get_class_object = nullptr;
  PlainFn can_unload = nullptr, register_server = nullptr, unregister_server = nullptr;

  explicit Library(const std::wstring& path) {
    module = LoadLibraryW(path.c_str());
    if (!module) return;
    get_class_object = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    can_unload = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    register_server = reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    unregister_server =
        reinterpret_cast<PlainFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  }
  ~Library() {
    if (module) FreeLibrary(module);
  }
  std::string FileName() const {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, n);
  }
  std::wstring WideFileName() const {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
  }
};

// A string value under HKEY_CLASSES_ROOT, as stored.
std::wstring WideValue(const std::wstring& key) {
  wchar_t value[MAX_PATH * 2] = {};
  DWORD bytes = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS)
    return L"<none>";
  return value;
}

std::string DllPath() { return shx::WindowsPath(HUESHELL_DLL); }

class Com : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    lib_ = new Library(shx::Wide(DllPath()));
    ASSERT_NE(lib_->module, nullptr);
    ASSERT_TRUE(lib_->get_class_object && lib_->can_unload && lib_->register_server &&
                lib_->unregister_server);
  }
  void TearDown() override {
    delete lib_;
    CoUninitialize();
  }
  HRESULT Factory(REFCLSID clsid, colour::ComPtr<IClassFactory>* out) {
    return lib_->get_class_object(clsid, IID_IClassFactory, out->put_void());
  }
  Library* lib_ = nullptr;
};

// An outer object for aggregation: delegates nothing, counts what it is asked.
struct Outer : IUnknown {
  LONG addrefs = 0, releases = 0, queries = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    ++queries;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++addrefs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(++releases); }
};

TEST_F(Com, LockCountFollowsClassObjectsLocksAndInstances) {
  EXPECT_EQ(lib_->can_unload(), S_OK);
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib_->get_class_object(CLSID_ICCTip, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(lib_->get_class_object(IID_IQueryInfo, IID_IClassFactory, &raw), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(raw, nullptr);

  IClassFactory* first = nullptr;
  {
    colour::ComPtr<IClassFactory> tip;
    ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
    first = tip.get();
    EXPECT_EQ(lib_->can_unload(), S_FALSE);
  }
  EXPECT_EQ(lib_->can_unload(), S_OK);

  colour::ComPtr<IClassFactory> again;
  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again.get(), first) << "the class object stays cached";
  colour::ComPtr<IUnknown> unknown;
  ASSERT_EQ(lib_->get_class_object(CLSID_ICCTip, IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(first));
  unknown.reset();
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib_->get_class_object(CLSID_ICCTip, IID_IDispatch, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);

  colour::ComPtr<IClassFactory> menu;
  ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
  EXPECT_NE(static_cast<void*>(menu.get()), static_cast<void*>(first));
  menu.reset();
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_OK);

  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again.get(), first);
  EXPECT_EQ(again->LockServer(TRUE), S_OK);
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_FALSE);
  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  // Unbalanced unlocks take the count below zero, which is not "unloadable" either.
  EXPECT_EQ(again->LockServer(FALSE), S_OK);
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_FALSE);
  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again->LockServer(TRUE), S_OK);

  colour::ComPtr<IQueryInfo> instance;
  ASSERT_EQ(again->CreateInstance(nullptr, IID_IQueryInfo, instance.put_void()), S_OK);
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_FALSE);
  instance.reset();
  EXPECT_EQ(lib_->can_unload(), S_OK);
}

TEST_F(Com, CreateInstanceAnswersByTheInterfaceTables) {
  colour::ComPtr<IClassFactory> tip, menu;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  EXPECT_EQ(tip->CreateInstance(nullptr, IID_IQueryInfo, nullptr), E_POINTER);

  // A failed request destroys the new instance at once: with no outside reference to the
  // (still cached) class object the library is unloadable before and after.
  IClassFactory* cached = tip.get();
  tip.reset();
  ASSERT_EQ(lib_->can_unload(), S_OK);
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(cached->CreateInstance(nullptr, IID_IContextMenu, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(lib_->can_unload(), S_OK);
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(menu->CreateInstance(nullptr, IID_IQueryInfo, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);

  // Every interface of a tip gives the same identity, the dual interface.
  colour::ComPtr<IPersistFile> file;
  ASSERT_EQ(tip->CreateInstance(nullptr, IID_IPersistFile, file.put_void()), S_OK);
  colour::ComPtr<IUnknown> identity;
  colour::ComPtr<IDispatch> dispatch;
  colour::ComPtr<IICCTip> dual;
  colour::ComPtr<IQueryInfo> info;
  ASSERT_EQ(file->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IICCTip, dual.put_void()), S_OK);
  ASSERT_EQ(dual->QueryInterface(IID_IQueryInfo, info.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(dispatch.get()));
  EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(dual.get()));
  EXPECT_NE(static_cast<void*>(identity.get()), static_cast<void*>(file.get()));
  EXPECT_EQ(file->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(file->QueryInterface(IID_IShellExtInit, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  colour::ComPtr<IContextMenu> context;
  ASSERT_EQ(menu->CreateInstance(nullptr, IID_IContextMenu, context.put_void()), S_OK);
  colour::ComPtr<IUnknown> menu_identity;
  colour::ComPtr<IICCMenu> menu_dual;
  colour::ComPtr<IShellExtInit> init;
  ASSERT_EQ(context->QueryInterface(IID_IUnknown, menu_identity.put_void()), S_OK);
  ASSERT_EQ(context->QueryInterface(IID_IICCMenu, menu_dual.put_void()), S_OK);
  ASSERT_EQ(context->QueryInterface(IID_IShellExtInit, init.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(menu_identity.get()), static_cast<void*>(menu_dual.get()));
}

TEST_F(Com, AggregatedInstancesDelegateToTheOuterObject) {
  colour::ComPtr<IClassFactory> tip;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  Outer outer;
  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(tip->CreateInstance(&outer, IID_IQueryInfo, &raw), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(raw, nullptr);

  IUnknown* inner = nullptr;
  ASSERT_EQ(tip->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  tip.reset();
  EXPECT_EQ(lib_->can_unload(), S_FALSE);
  IUnknown* inner_again = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner_again)), S_OK);
  EXPECT_EQ(inner_again, inner);
  EXPECT_EQ(inner->Release(), 1u);

  IQueryInfo* info = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IQueryInfo, reinterpret_cast<void**>(&info)), S_OK);
  EXPECT_EQ(outer.addrefs, 1) << "the interface was AddRef'ed through the outer object";
  info->AddRef();
  info->Release();
  EXPECT_EQ(outer.addrefs, 2);
  EXPECT_EQ(outer.releases, 1);
  // The outer object answers nothing here, so the object's own table serves the request.
  IPersistFile* file = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  EXPECT_EQ(outer.queries, 1);
  file->Release();
  info->Release();
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(lib_->can_unload(), S_OK);
}

// Eight threads start on a freshly loaded library, so they also race to create the class
// objects; all of them must end up with the one cached object per class.
TEST_F(Com, EightThreadsHammeringTheClassObjects) {
  std::atomic<int> failures{0};
  IClassFactory* seen[8] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const CLSID& clsid = t % 2 ? CLSID_ICCMenu : CLSID_ICCTip;
      for (int i = 0; i < 100000; i += 6) {
        IClassFactory* factory = nullptr;
        if (lib_->get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
          ++failures;
          continue;
        }
        if (!seen[t]) seen[t] = factory;
        if (factory != seen[t]) ++failures;
        factory->AddRef();
        factory->LockServer(TRUE);
        factory->LockServer(FALSE);
        factory->Release();
        factory->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(lib_->can_unload(), S_OK);
  for (int t = 2; t < 8; ++t) EXPECT_EQ(seen[t], seen[t % 2]) << t;
  EXPECT_NE(seen[0], seen[1]);
  colour::ComPtr<IClassFactory> tip, menu;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
  EXPECT_EQ(tip.get(), seen[0]);
  EXPECT_EQ(menu.get(), seen[1]);
}

// ---- The library file ------------------------------------------------------------------

TEST_F(Com, TheFileExportsFourEntriesImportsSystemLibrariesAndCarriesItsResources) {
  auto* base = reinterpret_cast<const BYTE*>(lib_->module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY* dirs = nt->OptionalHeader.DataDirectory;

  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
      base + dirs[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
  std::vector<std::string> names;
  const auto* name_rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + name_rvas[i]));
  EXPECT_EQ(exports->NumberOfFunctions, 4u);
  EXPECT_EQ(names, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                             "DllUnregisterServer"}));

  const std::vector<std::string> system = {"ADVAPI32.DLL", "KERNEL32.DLL", "MSVCRT.DLL", "OLE32.DLL",
                                           "OLEAUT32.DLL", "SHELL32.DLL", "USER32.DLL", "GDI32.DLL"};
  const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
      base + dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  int imports = 0;
  for (; import->Name; ++import, ++imports) {
    std::string name = reinterpret_cast<const char*>(base + import->Name);
    for (char& c : name) c = char(toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(std::find(system.begin(), system.end(), name), system.end()) << name;
  }
  EXPECT_GT(imports, 0);

  // The registration scripts: US English, CR LF line ends and tabs.
  for (const hueshell::ClassEntry* row = hueshell::LibraryClasses(); row->clsid; ++row) {
    const UINT id = row->script_id;
    HRSRC script = FindResourceExA(lib_->module, "REGISTRY", MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(script, nullptr) << id;
    const std::string text(static_cast<const char*>(LockResource(LoadResource(lib_->module, script))),
                           SizeofResource(lib_->module, script));
    EXPECT_EQ(text.substr(0, 7), "HKCR\r\n{");
    EXPECT_NE(text.find("\r\n\tNoRemove CLSID\r\n"), std::string::npos);
    EXPECT_NE(text.find("'%MODULE%'"), std::string::npos);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
      EXPECT_EQ(text[at - 1], '\r') << "line feed at " << at;
  }

  // The type library in the file, for this build's word size.
  colour::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(shx::Wide(lib_->FileName()).c_str(), REGKIND_NONE, library.put()), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_HUESHELLLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0u);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  library->ReleaseTLibAttr(attributes);
  BSTR help = nullptr;
  ASSERT_EQ(library->GetDocumentation(-1, nullptr, &help, nullptr, nullptr), S_OK);
  EXPECT_EQ(shx::Narrow(help), "Hueshell 1.0 Type Library");
  SysFreeString(help);
  const struct {
    const GUID* guid;
    TYPEKIND kind;
    const char* help;
  } types[] = {{&CLSID_ICCTip, TKIND_COCLASS, "ICCTip Class"},
               {&CLSID_ICCMenu, TKIND_COCLASS, "ICCMenu Class"},
               {&IID_IICCTip, TKIND_DISPATCH, "IICCTip Interface"},
               {&IID_IICCMenu, TKIND_DISPATCH, "IICCMenu Interface"}};
  for (const auto& type : types) {
    colour::ComPtr<ITypeInfo> info;
    ASSERT_EQ(library->GetTypeInfoOfGuid(*type.guid, info.put()), S_OK) << type.help;
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, type.kind) << type.help;
    if (type.kind == TKIND_COCLASS) {
      EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE) << type.help;
    } else {
      EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL) << type.help;
    }
    info->ReleaseTypeAttr(attr);
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(shx::Narrow(help), type.help);
    SysFreeString(help);
  }

  // The version resource, with the empty self-registration mark.
  const std::string file = lib_->FileName();
  DWORD ignored = 0;
  std::vector<BYTE> version(GetFileVersionInfoSizeA(file.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, DWORD(version.size()), version.data()));
  const std::map<std::string, std::string> strings = {
      {"FileDescription", "Hueshell Module"}, {"ProductName", "Hueshell Module"},
      {"InternalName", "Hueshell"}, {"OriginalFilename", "Hueshell.DLL"},
      {"Comments", "Shell Extension for ICC/ICM profiles"}, {"FileVersion", "1, 0, 0, 1"},
      {"ProductVersion", "1, 0, 0, 1"}, {"OLESelfRegister", ""}};
  for (const auto& entry : strings) {
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), ("\\StringFileInfo\\040904B0\\" + entry.first).c_str(),
                               reinterpret_cast<void**>(&value), &length))
        << entry.first;
    EXPECT_EQ(std::string(value, length ? length - 1 : 0), entry.second) << entry.first;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
}

// ---- Registration --------------------------------------------------------------------

const char kTipClsid[] = "CLSID\\{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}";
const char kMenuClsid[] = "CLSID\\{A287BA08-76B5-43BD-BAD6-E642F9A49F95}";
const char kTypeLib[] = "TypeLib\\{F14B8A95-96DE-4C35-AD02-C777F237738B}";
const char kTipInterface[] = "Interface\\{C6EEA195-8F73-4F19-A272-9C41B8617561}";
const char kMenuInterface[] = "Interface\\{FC8F0110-D95C-443A-A564-4A292912D93E}";

void Dump(HKEY parent, const std::string& path, std::map<std::string, std::string>* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  (*out)[path] = "";
  for (DWORD i = 0;; ++i) {
    char name[512];
    BYTE data[2048];
    DWORD name_size = sizeof name, data_size = sizeof data, type = 0;
    if (RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
    (*out)[path + "|" + std::string(name, name_size)] =
        std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), data_size);
  }
  for (const std::string& sub : shx::Subkeys(path)) Dump(parent, path + "\\" + sub, out);
  RegCloseKey(key);
}

std::map<std::string, std::string> Snapshot() {
  std::map<std::string, std::string> all;
  for (const char* root : {"Hueshell.ICCTip.1", "Hueshell.ICCTip", "Hueshell.ICCMenu.1",
                           "Hueshell.ICCMenu", kTipClsid, kMenuClsid, kTypeLib})
    Dump(HKEY_CLASSES_ROOT, root, &all);
  return all;
}

void ExpectClassKeys(const std::string& cls, const std::string& clsid_key, const std::string& module) {
  const std::string clsid = clsid_key.substr(6);
  const std::string progid = "Hueshell." + cls;
  EXPECT_EQ(shx::StringValue(progid + ".1"), cls + " Class");
  EXPECT_EQ(shx::StringValue(progid + ".1\\CLSID"), clsid);
  EXPECT_EQ(shx::StringValue(progid), cls + " Class");
  EXPECT_EQ(shx::StringValue(progid + "\\CLSID"), clsid);
  EXPECT_EQ(shx::StringValue(progid + "\\CurVer"), progid + ".1");
  EXPECT_EQ(shx::StringValue(clsid_key), cls + " Class");
  EXPECT_EQ(shx::StringValue(clsid_key + "\\ProgID"), progid + ".1");
  EXPECT_EQ(shx::StringValue(clsid_key + "\\VersionIndependentProgID"), progid);
  EXPECT_TRUE(shx::KeyExists(clsid_key + "\\Programmable"));
  EXPECT_EQ(shx::StringValue(clsid_key + "\\Programmable"), "<none>");
  EXPECT_EQ(shx::StringValue(clsid_key + "\\InprocServer32"), module);
  EXPECT_EQ(shx::StringValue(clsid_key + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(shx::StringValue(clsid_key + "\\TypeLib"), "{F14B8A95-96DE-4C35-AD02-C777F237738B}");
  std::vector<std::string> children = shx::Subkeys(clsid_key);
  std::sort(children.begin(), children.end());
  EXPECT_EQ(children, (std::vector<std::string>{"InprocServer32", "ProgID", "Programmable", "TypeLib",
                                                "VersionIndependentProgID"}));
}

void ExpectNothingRegistered() {
  for (const char* key : {"Hueshell.ICCTip.1", "Hueshell.ICCTip", "Hueshell.ICCMenu.1",
                          "Hueshell.ICCMenu", kTipClsid, kMenuClsid, kTypeLib, kTipInterface,
                          kMenuInterface})
    EXPECT_FALSE(shx::KeyExists(key)) << key;
  EXPECT_TRUE(shx::KeyExists("CLSID"));
}

// No file-type key refers to either class: the library writes no shell association.
void ExpectNoShellAssociation() {
  std::map<std::string, std::string> keys;
  Dump(HKEY_CLASSES_ROOT, ".icc", &keys);
  Dump(HKEY_CLASSES_ROOT, ".icm", &keys);
  for (const auto& entry : keys) {
    for (const char* id : {"4FF6B420", "A287BA08", "Hueshell"}) {
      EXPECT_EQ(entry.first.find(id), std::string::npos) << entry.first;
      EXPECT_EQ(entry.second.find(id), std::string::npos) << entry.first;
    }
  }
}

TEST_F(Com, RegistrationWritesTheTablesAndTakesThemBack) {
  EXPECT_EQ(lib_->unregister_server(), S_OK);
  ExpectNothingRegistered();
  EXPECT_EQ(lib_->unregister_server(), S_OK) << "a library that is not registered";
  // A table whose second script is missing: registering fails and takes the first back;
  // unregistering reports the failure.
  hueshell::ClassEntry broken[] = {{&CLSID_ICCTip, nullptr, IDR_ICCTIP, nullptr},
                                   {&CLSID_ICCMenu, nullptr, 999, nullptr},
                                   {nullptr, nullptr, 0, nullptr}};
  EXPECT_TRUE(FAILED(hueshell::RegisterServer(lib_->module, broken, true)));
  ExpectNothingRegistered();
  EXPECT_TRUE(FAILED(hueshell::RegisterServer(lib_->module, broken, false)));

  colour::ComPtr<IClassFactory> tip;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  colour::ComPtr<IDispatch> dispatch;
  ASSERT_EQ(tip->CreateInstance(nullptr, IID_IDispatch, dispatch.put_void()), S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);

  ASSERT_EQ(lib_->register_server(), S_OK);
  ExpectClassKeys("ICCTip", kTipClsid, lib_->FileName());
  ExpectClassKeys("ICCMenu", kMenuClsid, lib_->FileName());
  EXPECT_TRUE(shx::KeyExists(std::string(kTypeLib) + "\\1.0"));
  EXPECT_TRUE(shx::KeyExists(kTipInterface));
  EXPECT_TRUE(shx::KeyExists(kMenuInterface));
  ExpectNoShellAssociation();

  // The type information now loads, whatever index is asked for.
  ASSERT_EQ(dispatch->GetTypeInfo(5, 0, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IICCTip));
  EXPECT_EQ(attributes->cFuncs, 7);  // IDispatch's own; the interface adds none
  info->ReleaseTypeAttr(attributes);
  info->Release();
  OLECHAR name[] = L"Refresh";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  DISPPARAMS none = {};
  EXPECT_TRUE(FAILED(dispatch->Invoke(42, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)));

  // Registering again gives the same content; a key added by hand under a class is gone.
  const auto once = Snapshot();
  HKEY added = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kTipClsid) + "\\Added\\Deeper").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &added, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(added);
  ASSERT_EQ(lib_->register_server(), S_OK);
  EXPECT_FALSE(shx::KeyExists(std::string(kTipClsid) + "\\Added"));
  EXPECT_EQ(Snapshot(), once);

  EXPECT_EQ(lib_->unregister_server(), S_OK);
  ExpectNothingRegistered();
}

// The library's real name is registered, apostrophes and letters outside the ANSI code page
// included, and another process creates both classes through it.
TEST_F(Com, AFolderWithAnApostropheAndForeignLettersIsRegisteredUnchanged) {
  const std::wstring folder = shx::Wide(shx::TempFolder("hue'shell o''brien")) +
                              L"\\\u0395\u03bb\u03bb\u03ac\u03b4\u03b1 \u041c\u0438\u0440 \u4e2d\u6587 \U0001F600";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring copy = folder + L"\\Hueshell.dll";
  ASSERT_TRUE(CopyFileW(shx::Wide(DllPath()).c_str(), copy.c_str(), FALSE));
  {
    Library other(copy);
    ASSERT_NE(other.module, nullptr);
    ASSERT_EQ(other.register_server(), S_OK);
    EXPECT_EQ(other.WideFileName(), copy);
    for (const char* clsid : {kTipClsid, kMenuClsid})
      EXPECT_EQ(WideValue(shx::Wide(clsid) + L"\\InprocServer32"), copy) << clsid;

    const std::string profile = "Z:\\usr\\share\\color\\icc\\sRGB.icc";
    std::string output;
    EXPECT_EQ(shx::RunProgram("\"" + shx::WindowsPath(HUESHELL_CLIENT) + "\" \"" + profile + "\"", &output), 0u)
        << output;
    const std::string tip = shx::IndependentTip(shx::FileBytes(profile));
    EXPECT_EQ(output, "ICCTip by CLSID:\n" + tip + "\nICCTip by ProgID:\n" + tip +
                          "\nICCMenu by CLSID: IContextMenu\nICCMenu by ProgID: IContextMenu\n");
    EXPECT_EQ(other.unregister_server(), S_OK);
  }
  ExpectNothingRegistered();
}

// Explorer loads and unloads extensions all session long: after the first cycle, 1,000 more
// of loading, using (tip, menu, type information, thumbnail) and unloading the library leave the
// process's committed memory and handle count where they were.  (The 32-bit library stays
// loaded once loaded; the 64-bit one really unloads every time.)
TEST_F(Com, LoadUseUnloadLeavesNothingBehind) {
  ASSERT_EQ(lib_->register_server(), S_OK);
  const std::wstring path = shx::Wide(DllPath());
  const std::wstring profile = L"Z:\\usr\\share\\color\\icc\\sRGB.icc";
  auto cycle = [&] {
    Library lib(path);
    for (const CLSID* clsid : {&CLSID_ICCTip, &CLSID_ICCMenu}) {
      colour::ComPtr<IClassFactory> factory;
      ASSERT_EQ(lib.get_class_object(*clsid, IID_IClassFactory, factory.put_void()), S_OK);
      colour::ComPtr<IDispatch> object;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
      colour::ComPtr<ITypeInfo> info;
      EXPECT_EQ(object->GetTypeInfo(0, 0, info.put()), S_OK);
      colour::ComPtr<IPersistFile> file;
      if (SUCCEEDED(object->QueryInterface(IID_IPersistFile, file.put_void()))) {
        file->Load(profile.c_str(), 0);
        colour::ComPtr<IQueryInfo> tip;
        object->QueryInterface(IID_IQueryInfo, tip.put_void());
        wchar_t* text = nullptr;
        EXPECT_EQ(tip->GetInfoTip(0, &text), S_OK);
        CoTaskMemFree(text);
      }
      colour::ComPtr<IContextMenu> menu;
      if (SUCCEEDED(object->QueryInterface(IID_IContextMenu, menu.put_void()))) {
        colour::ComPtr<IShellExtInit> init;
        object->QueryInterface(IID_IShellExtInit, init.put_void());
        shx::DropDataObject data(shx::DropList(std::vector<std::wstring>{profile}));
        EXPECT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
        HMENU popup = CreatePopupMenu();
        EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 10, CMF_NORMAL), 1);
        DestroyMenu(popup);
      }
    }
    // The thumbnail, at a small size: its blank diagram is drawn anew in every load.
    [&] {
      colour::ComPtr<IClassFactory> factory;
      ASSERT_EQ(lib.get_class_object(CLSID_ICCThumbnail, IID_IClassFactory, factory.put_void()), S_OK);
      colour::ComPtr<IInitializeWithStream> init;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInitializeWithStream, init.put_void()), S_OK);
      colour::ComPtr<IStream> stream;
      ASSERT_EQ(SHCreateStreamOnFileEx(profile.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()), S_OK);
      EXPECT_EQ(init->Initialize(stream.get(), STGM_READ), S_OK);
      colour::ComPtr<IThumbnailProvider> thumbnail;
      ASSERT_EQ(init->QueryInterface(hueshell::kIID_IThumbnailProvider, thumbnail.put_void()), S_OK);
      HBITMAP bitmap = nullptr;
      WTS_ALPHATYPE alpha;
      EXPECT_EQ(thumbnail->GetThumbnail(32, &bitmap, &alpha), S_OK);
      DeleteObject(bitmap);
    }();
    EXPECT_EQ(lib.can_unload(), S_OK);
  };
  delete lib_;  // the fixture's hold would keep the library loaded
  lib_ = nullptr;
  cycle();
  const testing_icc::Footprint before = testing_icc::MeasureFootprint();
  for (int i = 0; i < 1000 && !HasFailure(); ++i) cycle();
  const testing_icc::Footprint after = testing_icc::MeasureFootprint();
  std::printf("after 1,000 more cycles: %+lld KB committed, %+ld handles\n",
              (long long)(after.committed - before.committed) / 1024, long(after.handles - before.handles));
  EXPECT_LE(after.committed, before.committed + 1024 * 1024) << "a megabyte is a kilobyte per cycle";
  EXPECT_EQ(after.handles, before.handles);
  lib_ = new Library(path);
  EXPECT_EQ(lib_->unregister_server(), S_OK);
}

// regsvr32 registers the library; another process then creates both classes through the
// COM runtime, by CLSID and by ProgID, and asks for a real profile's tip.
TEST_F(Com, AnotherProcessUsesTheClassesAfterRegsvr32) {
  const std::string quoted = "\"" + DllPath() + "\"";
  std::string output;
  ASSERT_EQ(shx::RunProgram("regsvr32.exe /s " + quoted, &output), 0u) << output;
  ExpectClassKeys("ICCTip", kTipClsid, DllPath());
  ExpectClassKeys("ICCMenu", kMenuClsid, DllPath());
  ExpectNoShellAssociation();

  const std::string profile = "Z:\\usr\\share\\color\\icc\\sRGB.icc";
  EXPECT_EQ(shx::RunProgram("\"" + shx::WindowsPath(HUESHELL_CLIENT) + "\" \"" + profile + "\"", &output), 0u)
      << output;
  const std::string tip = shx::IndependentTip(shx::FileBytes(profile));
  EXPECT_EQ(output, "ICCTip by CLSID:\n" + tip + "\nICCTip by ProgID:\n" + tip +
                        "\nICCMenu by CLSID: IContextMenu\nICCMenu by ProgID: IContextMenu\n");

  ASSERT_EQ(shx::RunProgram("regsvr32.exe /s /u " + quoted, &output), 0u) << output;
  ExpectNothingRegistered();
}

}  // namespace
