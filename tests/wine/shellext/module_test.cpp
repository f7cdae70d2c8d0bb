// Hueshell.dll as a client sees it: loaded with LoadLibrary, driven through its four
// exports and the COM interfaces of its class objects and instances.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "guids.h"
#include "support.h"

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(WINAPI*)();

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() { reset(); }
  void reset() {
    if (p) p->Release();
    p = nullptr;
  }
  void** out() { return reinterpret_cast<void**>(&p); }
  T* operator->() const { return p; }
};

struct Library {
  HMODULE module = nullptr;
  GetClassObjectFn get_class_object = nullptr;
  PlainFn can_unload = nullptr, register_server = nullptr, unregister_server = nullptr;

  explicit Library(const std::string& path) {
    module = LoadLibraryA(path.c_str());
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
};

std::string DllPath() { return shx::WindowsPath(HUESHELL_DLL); }

class Com : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    lib_ = new Library(DllPath());
    ASSERT_NE(lib_->module, nullptr);
    ASSERT_TRUE(lib_->get_class_object && lib_->can_unload && lib_->register_server &&
                lib_->unregister_server);
  }
  void TearDown() override {
    delete lib_;
    CoUninitialize();
  }
  HRESULT Factory(REFCLSID clsid, Ref<IClassFactory>* out) {
    return lib_->get_class_object(clsid, IID_IClassFactory, out->out());
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
    Ref<IClassFactory> tip;
    ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
    first = tip.p;
    EXPECT_EQ(lib_->can_unload(), S_FALSE);
  }
  EXPECT_EQ(lib_->can_unload(), S_OK);

  Ref<IClassFactory> again;
  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again.p, first) << "the class object stays cached";
  Ref<IUnknown> unknown;
  ASSERT_EQ(lib_->get_class_object(CLSID_ICCTip, IID_IUnknown, unknown.out()), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.p), static_cast<void*>(first));
  unknown.reset();
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(lib_->get_class_object(CLSID_ICCTip, IID_IDispatch, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);

  Ref<IClassFactory> menu;
  ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
  EXPECT_NE(static_cast<void*>(menu.p), static_cast<void*>(first));
  menu.reset();
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_OK);

  ASSERT_EQ(Factory(CLSID_ICCTip, &again), S_OK);
  EXPECT_EQ(again.p, first);
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

  Ref<IQueryInfo> instance;
  ASSERT_EQ(again->CreateInstance(nullptr, IID_IQueryInfo, instance.out()), S_OK);
  again.reset();
  EXPECT_EQ(lib_->can_unload(), S_FALSE);
  instance.reset();
  EXPECT_EQ(lib_->can_unload(), S_OK);
}

TEST_F(Com, CreateInstanceAnswersByTheInterfaceTables) {
  Ref<IClassFactory> tip, menu;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
  EXPECT_EQ(tip->CreateInstance(nullptr, IID_IQueryInfo, nullptr), E_POINTER);

  void* raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(tip->CreateInstance(nullptr, IID_IContextMenu, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(menu->CreateInstance(nullptr, IID_IQueryInfo, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);

  // Every interface of a tip gives the same identity, the dual interface.
  Ref<IPersistFile> file;
  ASSERT_EQ(tip->CreateInstance(nullptr, IID_IPersistFile, file.out()), S_OK);
  Ref<IUnknown> identity;
  Ref<IDispatch> dispatch;
  Ref<IICCTip> dual;
  Ref<IQueryInfo> info;
  ASSERT_EQ(file->QueryInterface(IID_IUnknown, identity.out()), S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IICCTip, dual.out()), S_OK);
  ASSERT_EQ(dual->QueryInterface(IID_IQueryInfo, info.out()), S_OK);
  EXPECT_EQ(static_cast<void*>(identity.p), static_cast<void*>(dispatch.p));
  EXPECT_EQ(static_cast<void*>(identity.p), static_cast<void*>(dual.p));
  EXPECT_NE(static_cast<void*>(identity.p), static_cast<void*>(file.p));
  EXPECT_EQ(file->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  raw = reinterpret_cast<void*>(1);
  EXPECT_EQ(file->QueryInterface(IID_IShellExtInit, &raw), E_NOINTERFACE);
  EXPECT_EQ(raw, nullptr);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  Ref<IContextMenu> context;
  ASSERT_EQ(menu->CreateInstance(nullptr, IID_IContextMenu, context.out()), S_OK);
  Ref<IUnknown> menu_identity;
  Ref<IICCMenu> menu_dual;
  Ref<IShellExtInit> init;
  ASSERT_EQ(context->QueryInterface(IID_IUnknown, menu_identity.out()), S_OK);
  ASSERT_EQ(context->QueryInterface(IID_IICCMenu, menu_dual.out()), S_OK);
  ASSERT_EQ(context->QueryInterface(IID_IShellExtInit, init.out()), S_OK);
  EXPECT_EQ(static_cast<void*>(menu_identity.p), static_cast<void*>(menu_dual.p));
}

TEST_F(Com, AggregatedInstancesDelegateToTheOuterObject) {
  Ref<IClassFactory> tip;
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

TEST_F(Com, EightThreadsHammeringTheClassObjects) {
  IClassFactory* cached[2] = {};
  {
    Ref<IClassFactory> tip, menu;
    ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
    ASSERT_EQ(Factory(CLSID_ICCMenu, &menu), S_OK);
    cached[0] = tip.p;
    cached[1] = menu.p;
  }
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const CLSID& clsid = t % 2 ? CLSID_ICCMenu : CLSID_ICCTip;
      for (int i = 0; i < 100000; i += 4) {
        IClassFactory* factory = nullptr;
        if (lib_->get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK ||
            factory != cached[t % 2]) {
          ++failures;
          continue;
        }
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
  Ref<IClassFactory> tip;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  EXPECT_EQ(tip.p, cached[0]);
}

// ---- Registration --------------------------------------------------------------------

const char kTipClsid[] = "CLSID\\{4FF6B420-DAEF-4C5E-9467-AADA047A8CD9}";
const char kMenuClsid[] = "CLSID\\{A287BA08-76B5-43BD-BAD6-E642F9A49F95}";
const char kTypeLib[] = "TypeLib\\{F14B8A95-96DE-4C35-AD02-C777F237738B}";

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
                          "Hueshell.ICCMenu", kTipClsid, kMenuClsid, kTypeLib})
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

  Ref<IClassFactory> tip;
  ASSERT_EQ(Factory(CLSID_ICCTip, &tip), S_OK);
  Ref<IDispatch> dispatch;
  ASSERT_EQ(tip->CreateInstance(nullptr, IID_IDispatch, dispatch.out()), S_OK);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, nullptr), E_POINTER);

  ASSERT_EQ(lib_->register_server(), S_OK);
  ExpectClassKeys("ICCTip", kTipClsid, lib_->FileName());
  ExpectClassKeys("ICCMenu", kMenuClsid, lib_->FileName());
  EXPECT_TRUE(shx::KeyExists(std::string(kTypeLib) + "\\1.0"));
  EXPECT_TRUE(shx::KeyExists("Interface\\{C6EEA195-8F73-4F19-A272-9C41B8617561}"));
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

TEST_F(Com, AFolderWithAnApostropheIsRegisteredUnchanged) {
  const std::string folder = shx::TempFolder("hue'shell o''brien");
  const std::string copy = folder + "\\Hueshell.dll";
  ASSERT_TRUE(CopyFileA(DllPath().c_str(), copy.c_str(), FALSE));
  {
    Library other(copy);
    ASSERT_NE(other.module, nullptr);
    ASSERT_EQ(other.register_server(), S_OK);
    EXPECT_EQ(shx::StringValue(std::string(kTipClsid) + "\\InprocServer32"), other.FileName());
    EXPECT_EQ(shx::StringValue(std::string(kMenuClsid) + "\\InprocServer32"), other.FileName());
    EXPECT_NE(other.FileName().find("hue'shell o''brien"), std::string::npos);
    EXPECT_EQ(other.unregister_server(), S_OK);
  }
  ExpectNothingRegistered();
}

// regsvr32 registers the library; another process then creates both classes through the
// COM runtime, by CLSID and by ProgID, and asks for a real profile's tip.
TEST_F(Com, AnotherProcessUsesTheClassesAfterRegsvr32) {
  const std::string quoted = "\"" + DllPath() + "\"";
  ASSERT_EQ(shx::RunProgram("regsvr32.exe /s " + quoted), 0u);
  ExpectClassKeys("ICCTip", kTipClsid, DllPath());
  ExpectClassKeys("ICCMenu", kMenuClsid, DllPath());
  ExpectNoShellAssociation();

  const std::string profile = "Z:\\usr\\share\\color\\icc\\sRGB.icc";
  std::string output;
  EXPECT_EQ(shx::RunProgram("\"" + shx::WindowsPath(HUESHELL_CLIENT) + "\" \"" + profile + "\"", &output), 0u)
      << output;
  const std::string tip = shx::IndependentTip(shx::ReadFileBytes(profile));
  EXPECT_EQ(output, "ICCTip by CLSID:\n" + tip + "\nICCTip by ProgID:\n" + tip +
                        "\nICCMenu by CLSID: IContextMenu\nICCMenu by ProgID: IContextMenu\n");

  ASSERT_EQ(shx::RunProgram("regsvr32.exe /s /u " + quoted), 0u);
  ExpectNothingRegistered();
}

}  // namespace
