// ICCProperties as the shell uses it: created through the handler that the association of
// the file's extension names, and given a stream on the file.  Every installed profile is
// read (the values go to a manifest that the native checker compares with what Little CMS
// reads) and given a new title in a copy (checked the same way); writing is refused where
// it must be, goes to a destination stream when one is offered, and never touches a damaged
// profile; eight threads read at once.
#include <gtest/gtest.h>
#include <windows.h>
#include <propsys.h>
#include <propkey.h>
#include <propvarutil.h>
#include <shlwapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "DescriptionTag.h"
#include "description.h"
#include "profile_builder.h"
#include "real_profiles.h"
#include "registered_library.h"
#include "scratch.h"
#include "stub_stream.h"

using Microsoft::WRL::ComPtr;
using namespace testing_icc;

namespace {

const wchar_t kHandlers[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\";
const wchar_t kClsid[] = L"{E56B8C6D-CDBB-44FA-97F2-F5E06331AF6A}";
const GUID kProfileFormat = {0x531FF94D, 0x1D45, 0x484C, {0x80, 0xB4, 0x4B, 0x29, 0xC2, 0xF7, 0xEB, 0xEA}};

// Every key the handler serves, in the order of the checker's manifest.
const PROPERTYKEY kKeys[] = {
    PKEY_Title,           PKEY_Copyright,       {kProfileFormat, 2}, {kProfileFormat, 3},
    {kProfileFormat, 4},  {kProfileFormat, 5},  {kProfileFormat, 6}, {kProfileFormat, 7},
    {kProfileFormat, 8},  {kProfileFormat, 9},  {kProfileFormat, 10}};

// This build's library, named as the handler of .icc and .icm as the setup names it.
const auto* const g_registration = testing::AddGlobalTestEnvironment(new RegisteredLibrary(
    HUESHELL_DLL, {std::wstring(kHandlers) + L".icc", std::wstring(kHandlers) + L".icm"}, kClsid));

// Uses COM on this thread for the span of a scope.
struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { CoUninitialize(); }
};

// The handler that the association of the file's extension names, initialized with
// `stream` (a stream on the file in `mode` when none is given).
HRESULT OpenStore(const std::string& path, DWORD mode, ComPtr<IPropertyStore>* store,
                  IStream* stream = nullptr) {
  wchar_t clsid_text[64] = L"";
  DWORD size = sizeof clsid_text;
  const std::wstring key = kHandlers + std::wstring(PathFindExtensionW(Wide(path).c_str()));
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, clsid_text, &size))
    return REGDB_E_CLASSNOTREG;
  CLSID clsid;
  HRESULT hr = CLSIDFromString(clsid_text, &clsid);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(store->ReleaseAndGetAddressOf()));
  if (FAILED(hr)) return hr;
  ComPtr<IStream> own;
  if (!stream) {
    hr = SHCreateStreamOnFileEx(Wide(path).c_str(), mode, FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &own);
    if (FAILED(hr)) return hr;
    stream = own.Get();
  }
  ComPtr<IInitializeWithStream> init;
  hr = (*store).As(&init);
  return SUCCEEDED(hr) ? init->Initialize(stream, mode) : hr;
}

std::string HexCode(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// One value as text: UTF-8, "-" when the profile has none, the date as the header gives it.
std::string Text(IPropertyStore* store, REFPROPERTYKEY key) {
  PROPVARIANT value;
  const HRESULT hr = store->GetValue(key, &value);
  std::string text;
  if (FAILED(hr)) {
    text = "error " + HexCode(hr);
  } else if (value.vt == VT_EMPTY) {
    text = "-";
  } else if (value.vt == VT_LPWSTR) {
    text = Utf8(value.pwszVal);
  } else if (value.vt == VT_FILETIME) {
    SYSTEMTIME t;
    FileTimeToSystemTime(&value.filetime, &t);
    char date[32];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    text = date;
  } else {
    text = "type " + std::to_string(value.vt);
  }
  PropVariantClear(&value);
  return text;
}

std::vector<std::string> AllValues(IPropertyStore* store) {
  std::vector<std::string> values;
  for (const PROPERTYKEY& key : kKeys) values.push_back(Text(store, key));
  return values;
}

HRESULT SetTitle(IPropertyStore* store, const std::wstring& title) {
  PROPVARIANT value;
  InitPropVariantFromString(title.c_str(), &value);
  const HRESULT hr = store->SetValue(PKEY_Title, value);
  PropVariantClear(&value);
  return hr;
}

std::string ReadTitle(const std::string& path) {
  ComPtr<IPropertyStore> store;
  const HRESULT hr = OpenStore(path, STGM_READ, &store);
  return SUCCEEDED(hr) ? Text(store.Get(), PKEY_Title) : "error " + HexCode(hr);
}

TEST(RealProfiles, EveryValueThroughTheAssociation) {
  ComScope com;
  const std::vector<Source> sources = InstalledProfiles(0);
  if (sources.empty()) GTEST_SKIP() << "no profiles under " << kColourRoot;
  const std::string out = FreshFolder("properties");
  std::string manifest;
  for (const Source& source : sources) {
    SCOPED_TRACE(source.path);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(source.path, STGM_READ, &store), S_OK);
    DWORD count = 0;
    ASSERT_EQ(store->GetCount(&count), S_OK);
    for (DWORD i = 0; i < count; ++i) {  // every key it lists has a value
      PROPERTYKEY key;
      ASSERT_EQ(store->GetAt(i, &key), S_OK);
      EXPECT_NE(Text(store.Get(), key), "-") << i;
    }
    manifest += LinuxPath(source.path);
    for (const std::string& value : AllValues(store.Get())) manifest += "\t" + Hex(value);
    manifest += "\n";
  }
  ASSERT_TRUE(WriteManifest(out, manifest));
  std::printf("the properties of %zu profiles are in %s\n", sources.size(), out.c_str());
}

// Version 2 copies get a Western title, which the checker's Latin-1 record matches; version
// 4 copies get their shown record edited.  A few more copies, not for the checker, get
// titles that no code page holds.
TEST(RealProfiles, NewTitleCommittedIntoCopies) {
  ComScope com;
  const std::string western = "Renamed in Explorer, caf\xe9";
  const std::wstring unicode = L"\x039A\x03B1\x03BB\x03B7\x03BC\x03AD\x03C1\x03B1 \x4F60\x597D \xD83C\xDFA8";
  for (int version : {2, 4}) {
    const std::vector<Source> sources = InstalledProfiles(version);
    if (sources.empty()) continue;
    const std::string out = FreshFolder(version == 2 ? "realprofiles" : "realprofiles_v4");
    std::string manifest;
    int unicode_copies = 0;
    for (const Source& source : sources) {
      const std::string copy = out + "\\" + source.label;
      SCOPED_TRACE(copy);
      ASSERT_TRUE(CopyFileA(source.path.c_str(), copy.c_str(), FALSE));
      SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
      ComPtr<IPropertyStore> store;
      ASSERT_EQ(OpenStore(copy, STGM_READWRITE, &store), S_OK);
      const std::string shown = Text(store.Get(), PKEY_Title);
      const std::string text = version == 2 ? western : "Edited: " + shown;
      const std::wstring title = version == 2 ? Wide(western) : Wide(text, CP_UTF8);
      ASSERT_EQ(SetTitle(store.Get(), title), S_OK);
      ASSERT_EQ(store->Commit(), S_OK);
      EXPECT_EQ(Text(store.Get(), PKEY_Title), Utf8(title));
      EXPECT_NE(Text(store.Get(), kKeys[10]), "Wrong");  // a written ID is the content's
      store.Reset();
      EXPECT_EQ(ReadTitle(copy), Utf8(title));
      manifest += LinuxPath(copy) + "\t" + LinuxPath(source.path) + "\t" + Hex(text) +
                  (version == 4 ? "\t" + Hex(shown) : "") + "\n";

      if (unicode_copies++ < 3) {
        const std::string other = out + "\\unicode-" + source.label;
        ASSERT_TRUE(CopyFileA(source.path.c_str(), other.c_str(), FALSE));
        SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(OpenStore(other, STGM_READWRITE, &store), S_OK);
        ASSERT_EQ(SetTitle(store.Get(), unicode), S_OK);
        ASSERT_EQ(store->Commit(), S_OK);
        store.Reset();
        EXPECT_EQ(ReadTitle(other), Utf8(unicode));
      }
    }
    ASSERT_TRUE(WriteManifest(out, manifest));
  }
}

// A stream that offers a destination for the new profile, as the shell's file streams do.
class OfferingStream : public testing_icc::StubStream, public IDestinationStreamFactory {
 public:
  OfferingStream(IStream* source, IStream* destination) : source_(source), destination_(destination) {}
  int destinations_given = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream)
      *ppv = static_cast<IStream*>(this);
    else if (riid == IID_IDestinationStreamFactory)
      *ppv = static_cast<IDestinationStreamFactory*>(this);
    else
      return *ppv = nullptr, E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(InterlockedDecrement(&refs_)); }
  HRESULT STDMETHODCALLTYPE GetDestinationStream(IStream** out) override {
    ++destinations_given;
    return destination_.CopyTo(out);
  }
  HRESULT STDMETHODCALLTYPE Read(void* p, ULONG n, ULONG* got) override { return source_->Read(p, n, got); }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER d, DWORD o, ULARGE_INTEGER* at) override { return source_->Seek(d, o, at); }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* s, DWORD flags) override { return source_->Stat(s, flags); }

 private:
  ComPtr<IStream> source_, destination_;
  LONG refs_ = 1;
};

std::vector<uint8_t> StreamBytes(IStream* stream) {
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<uint8_t> bytes(std::size_t(stat.cbSize.QuadPart));
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), ULONG(bytes.size()), &got);
  bytes.resize(got);
  return bytes;
}

TEST(Writing, ReadOnlyRefusedDestinationUsedDamageNeverWritten) {
  ComScope com;
  ScratchFolder folder;
  const auto sound = BuildProfile({{"desc", DescTag("Before", true)},
                                   {"cprt", Bytes(std::string("text\0\0\0\0(c) us", 14))}});
  const std::string path = folder.Put("sound.icc", sound);

  // Opened for reading: no write is accepted.  A stream that cannot be written is not
  // damaged by a store that was told otherwise.
  {
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(path, STGM_READ, &store), S_OK);
    EXPECT_EQ(SetTitle(store.Get(), L"After"), STG_E_ACCESSDENIED);
    EXPECT_EQ(store->Commit(), S_OK);  // nothing to write
  }
  {
    ComPtr<IStream> read_only;
    ASSERT_EQ(SHCreateStreamOnFileEx(Wide(path).c_str(), STGM_READ, 0, FALSE, nullptr, &read_only), S_OK);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, read_only.Get()), S_OK);
    ASSERT_EQ(SetTitle(store.Get(), L"After"), S_OK);
    EXPECT_TRUE(FAILED(store->Commit()));
    ComPtr<IPropertyStoreCapabilities> caps;
    ASSERT_EQ(store.As(&caps), S_OK);
    EXPECT_EQ(caps->IsPropertyWritable(PKEY_Title), S_OK);
    EXPECT_EQ(caps->IsPropertyWritable(PKEY_Copyright), S_FALSE);
    PROPVARIANT number;
    InitPropVariantFromUInt32(7, &number);
    EXPECT_EQ(store->SetValue(PKEY_Copyright, number), STG_E_ACCESSDENIED);
    EXPECT_EQ(store->SetValue(PKEY_Title, number), E_INVALIDARG);
  }
  EXPECT_EQ(FileBytes(path), sound);

  // A destination offered: the new profile goes there whole and is committed; the file is
  // left to the one who offered it.  Its tags are those a rewrite in place gives (which puts
  // the new description after the end instead).
  ComPtr<IStream> source, destination;
  ASSERT_EQ(SHCreateStreamOnFileEx(Wide(path).c_str(), STGM_READ, 0, FALSE, nullptr, &source), S_OK);
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &destination), S_OK);
  OfferingStream offering(source.Get(), destination.Get());
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, &offering), S_OK);
  ASSERT_EQ(SetTitle(store.Get(), L"After"), S_OK);
  ASSERT_EQ(store->Commit(), S_OK);
  EXPECT_EQ(offering.destinations_given, 1);
  EXPECT_EQ(Text(store.Get(), PKEY_Copyright), "(c) us");
  store.Reset();
  EXPECT_EQ(FileBytes(path), sound);
  const std::string in_place = folder.Put("in_place.icc", sound);
  ASSERT_EQ(OpenStore(in_place, STGM_READWRITE, &store), S_OK);
  ASSERT_EQ(SetTitle(store.Get(), L"After"), S_OK);
  ASSERT_EQ(store->Commit(), S_OK);
  store.Reset();
  EXPECT_EQ(TagsOf(StreamBytes(destination.Get())), TagsOf(FileBytes(in_place)));
  EXPECT_EQ(ReadTitle(in_place), "After");

  // Damaged descriptions, and none at all: a clear error, and the file as it was.
  std::vector<uint8_t> table = Bytes("mluc");
  table.resize(12);  // too short for its own header
  const std::pair<std::vector<uint8_t>, HRESULT> damaged[] = {
      {BuildProfile({{"desc", table}}), HRESULT_FROM_WIN32(ERROR_INVALID_PROFILE)},
      {BuildProfile({{"desc", Bytes(std::string("desc\0\0\0\0", 8))}}),
       HRESULT_FROM_WIN32(ERROR_INVALID_PROFILE)},
      {BuildProfile({{"cprt", Bytes(std::string("text\0\0\0\0x", 9))}}),
       HRESULT_FROM_WIN32(ERROR_TAG_NOT_FOUND)},
  };
  for (const auto& d : damaged) {
    const std::string file = folder.Put("damaged.icc", d.first);
    ASSERT_EQ(OpenStore(file, STGM_READWRITE, &store), S_OK);
    ASSERT_EQ(SetTitle(store.Get(), L"After"), S_OK);
    EXPECT_EQ(store->Commit(), d.second);
    store.Reset();
    EXPECT_EQ(FileBytes(file), d.first);
  }
}

// A stream in memory whose write, seek, size and commit calls fail: the `fail_at`th of
// them, or every one of the kind `always` ('w', 's', 'z' or 'c').  A failing call changes
// nothing.  Writes take `budget` bytes in all: the one that needs more takes what is left
// and fails, and from then on (`lost`) every write, size and commit fails, as on a full disk.
class FaultyStream : public testing_icc::StubStream {
 public:
  explicit FaultyStream(std::vector<uint8_t> content) : bytes(std::move(content)) {}
  std::vector<uint8_t> bytes;
  int calls = 0, fail_at = 0;  // 0: none fails
  char always = 0;
  std::size_t taken = 0, budget = SIZE_MAX;
  bool lost = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IStream && riid != IID_ISequentialStream)
      return *ppv = nullptr, E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(void* p, ULONG n, ULONG* got) override {
    const std::size_t count = at_ < bytes.size() ? std::min<std::size_t>(n, bytes.size() - at_) : 0;
    if (count) memcpy(p, bytes.data() + at_, count);
    at_ += count;
    if (got) *got = ULONG(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* p, ULONG n, ULONG* written) override {
    if (Fails('w')) return STG_E_WRITEFAULT;
    const ULONG count = ULONG(std::min<std::size_t>(n, budget - taken));
    if (at_ + count > bytes.size()) bytes.resize(at_ + count);
    memcpy(bytes.data() + at_, p, count);
    at_ += count;
    taken += count;
    if (written) *written = count;
    lost = count < n;
    return lost ? STG_E_WRITEFAULT : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER d, DWORD origin, ULARGE_INTEGER* at) override {
    if (Fails('s')) return STG_E_SEEKERROR;
    at_ = std::size_t(d.QuadPart + (origin == STREAM_SEEK_END ? LONGLONG(bytes.size())
                                    : origin == STREAM_SEEK_CUR ? LONGLONG(at_) : 0));
    if (at) at->QuadPart = at_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    if (Fails('z')) return STG_E_MEDIUMFULL;
    bytes.resize(std::size_t(size.QuadPart));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return Fails('c') ? STG_E_WRITEFAULT : S_OK; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* s, DWORD) override {
    *s = STATSTG();
    s->cbSize.QuadPart = bytes.size();
    return S_OK;
  }

 private:
  bool Fails(char kind) { return ++calls == fail_at || kind == always || (lost && kind != 's'); }
  std::size_t at_ = 0;
};

// A commit in place, with a longer and with a shorter title, failing at each of its calls in
// turn, and with every call of one kind failing: the stream ends as the old profile and the
// commit fails, or as the new one and it succeeds.  A stream replaced since it was read is
// refused untouched.
TEST(Writing, EveryFailingCallLeavesTheOldProfileOrTheNewOne) {
  ComScope com;
  ScratchFolder folder;
  const std::string path = folder.Put("faulty.icc", Bytes("-"));
  std::vector<std::vector<uint8_t>> profiles = {BuildProfile(
      {{"desc", DescTag("A title of some length", true)}, {"cprt", Bytes(std::string("text\0\0\0\0(c) us", 14))}})};
  const std::vector<Source> v4 = InstalledProfiles(4);
  if (!v4.empty()) profiles.push_back(FileBytes(v4[0].path));
  for (const auto& old : profiles) {
    FaultyStream original(old);
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(path, STGM_READ, &store, &original), S_OK);
    const std::string copyright = Text(store.Get(), PKEY_Copyright);
    for (const wchar_t* title : {L"Short", L"A much longer title than the one before it"}) {
      SCOPED_TRACE(testing::Message() << old.size() << " " << Utf8(title));
      for (int k = -4;; ++k) {  // below 0: a kind of call always fails; from 1: call k
        if (k == 0) continue;
        FaultyStream stream(old);
        ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, &stream), S_OK);
        ASSERT_EQ(SetTitle(store.Get(), title), S_OK);
        stream.calls = 0;
        stream.fail_at = k;
        if (k < 0) stream.always = "wszc"[k + 4];
        const HRESULT hr = store->Commit();
        store.Reset();
        if (FAILED(hr)) {
          EXPECT_TRUE(stream.bytes == old) << k << " " << HexCode(hr);
          continue;
        }
        FaultyStream written(stream.bytes);
        ASSERT_EQ(OpenStore(path, STGM_READ, &store, &written), S_OK) << k;
        EXPECT_EQ(Text(store.Get(), PKEY_Title), Utf8(title)) << k;
        EXPECT_EQ(Text(store.Get(), PKEY_Copyright), copyright);
        store.Reset();
        if (stream.calls < k) break;
      }
    }
    FaultyStream replaced(old);
    ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, &replaced), S_OK);
    ASSERT_EQ(SetTitle(store.Get(), L"Mine"), S_OK);
    const auto other = BuildProfile({{"desc", DescTag("Another program's", true)}});
    replaced.bytes = other;
    EXPECT_EQ(store->Commit(), STG_E_NOTCURRENT);
    EXPECT_TRUE(replaced.bytes == other);
    store.Reset();
  }
}

// A stream lost midway through a commit in place, in the new description written after
// the end and in the zeros over the old one: the commit fails, the stream holds the old
// profile or the new one, and the store reads it as it is: once the stream works again, the
// same store commits the title.
TEST(Writing, StreamLostMidwayHoldsOneProfileAndTheStoreGoesOn) {
  ComScope com;
  ScratchFolder folder;
  const std::string path = folder.Put("lost.icc", Bytes("-"));
  const std::string before = "A title of some length";
  const auto old = BuildProfile(
      {{"desc", DescTag(before, true)}, {"cprt", Bytes(std::string("text\0\0\0\0(c) us", 14))}});
  const std::wstring title = L"A much longer title than the one before it";
  FaultyStream whole(old);
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, &whole), S_OK);
  ASSERT_EQ(SetTitle(store.Get(), title), S_OK);
  ASSERT_EQ(store->Commit(), S_OK);
  for (const std::size_t budget : {std::size_t(1), whole.taken - 1}) {
    SCOPED_TRACE(budget);
    FaultyStream stream(old);
    ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store, &stream), S_OK);
    ASSERT_EQ(SetTitle(store.Get(), title), S_OK);
    stream.budget = budget;
    EXPECT_EQ(store->Commit(), STG_E_WRITEFAULT);
    FaultyStream left(stream.bytes);
    ComPtr<IPropertyStore> reader;
    ASSERT_EQ(OpenStore(path, STGM_READ, &reader, &left), S_OK);
    EXPECT_EQ(Text(reader.Get(), PKEY_Title), budget == 1 ? before : Utf8(title));
    EXPECT_EQ(Text(reader.Get(), PKEY_Copyright), "(c) us");
    stream.lost = false;
    stream.budget = SIZE_MAX;
    EXPECT_EQ(store->Commit(), S_OK);
    store.Reset();
    FaultyStream written(stream.bytes);
    ASSERT_EQ(OpenStore(path, STGM_READ, &reader, &written), S_OK);
    EXPECT_EQ(Text(reader.Get(), PKEY_Title), Utf8(title));
    EXPECT_EQ(Text(reader.Get(), PKEY_Copyright), "(c) us");
  }
}

// The shell hands an empty title over as no value: the description becomes empty.  A
// description longer than what is read of it is not writable.  A profile far past the bound
// of whole reads that carries no ID has it "Absent" (preview_test checks one that carries one).
TEST(Writing, EmptyTitleWrittenCutTitleNotWritableHugeIdAbsent) {
  ComScope com;
  ScratchFolder folder;
  const std::string path = folder.Put("empty.icc", BuildProfile({{"desc", DescTag("Before", true)}}));
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store), S_OK);
  PROPVARIANT empty;
  PropVariantInit(&empty);
  ASSERT_EQ(store->SetValue(PKEY_Title, empty), S_OK);
  ASSERT_EQ(store->Commit(), S_OK);
  store.Reset();
  EXPECT_EQ(ReadTitle(path), "");

  const std::string cut = folder.Put("cut.icc", BuildProfile({{"desc", DescTag(std::string(70000, 'x'), false)}}));
  ASSERT_EQ(OpenStore(cut, STGM_READWRITE, &store), S_OK);
  ComPtr<IPropertyStoreCapabilities> caps;
  ASSERT_EQ(store.As(&caps), S_OK);
  EXPECT_EQ(caps->IsPropertyWritable(PKEY_Title), S_FALSE);
  EXPECT_EQ(SetTitle(store.Get(), L"Shorter"), STG_E_ACCESSDENIED);

  const std::string huge = folder.Put("huge.icc", BuildProfile({{"desc", DescTag("Big", false)}}));
  HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(257) << 20;  // sparse: the rest reads as zeros
  ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  ASSERT_EQ(OpenStore(huge, STGM_READ, &store), S_OK);
  EXPECT_EQ(Text(store.Get(), kKeys[10]), "Absent");
}

// Profiles the container refuses, and tags that cannot be read: Initialize or GetValue
// fails, or the profile's health is its one property and names an error; nothing crashes
// and nothing is written.  The fuzzers' damaged profiles, and their
// seeds when the native tree has made them, run through the same.
TEST(Damaged, MalformedProfilesFailWithoutCrashOrWrite) {
  ComScope com;
  ScratchFolder folder;
  const auto sound = BuildProfile({{"desc", DescTag("x", false)}});
  std::vector<std::vector<uint8_t>> malformed;
  malformed.push_back(std::vector<uint8_t>(sound.begin(), sound.begin() + 100));   // truncated
  malformed.push_back(Bytes("not a profile at all"));
  auto count = sound;
  icc::StoreBE32(count.data() + 128, 100000);  // more tags than the file holds
  malformed.push_back(count);
  auto past = sound;
  icc::StoreBE32(past.data() + 136, 0x7FFFFFF0);  // a tag far past the end
  malformed.push_back(past);
  malformed.push_back(BuildProfile({{"desc", Bytes(std::string("mluc\0\0\0\0\0\0", 10))}}));
  malformed.push_back(BuildProfile({{"desc", DescTag("x", false)}, {"cprt", Bytes(std::string("curv\0\0\0\0", 8))}}));
  malformed.push_back(BuildProfile({{"desc", DescTag("x", false)}, {"dmnd", Bytes("tex")}}));
  const std::size_t generated = malformed.size();

  for (std::string corpus : {std::string(FUZZ_DAMAGED), std::string(FUZZ_SEEDS)}) {
    corpus = "Z:" + corpus;
    for (char& c : corpus)
      if (c == '/') c = '\\';
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((corpus + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        malformed.push_back(FileBytes(corpus + "\\" + data.cFileName));
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }

  std::size_t health_only = 0;
  for (std::size_t i = 0; i < malformed.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string file = folder.Put("malformed.icc", malformed[i]);
    ComPtr<IPropertyStore> store;
    const HRESULT opened = OpenStore(file, STGM_READWRITE, &store);
    bool failed = FAILED(opened);
    if (SUCCEEDED(opened)) {
      for (const std::string& value : AllValues(store.Get())) failed |= value.rfind("error", 0) == 0;
      DWORD count = 0;
      if (SUCCEEDED(store->GetCount(&count)) && count == 1) {
        const std::string health = Text(store.Get(), {kProfileFormat, 11});
        EXPECT_TRUE(health != "Sound" && health.find("warning") == std::string::npos) << health;
        failed = true;
        ++health_only;
      }
      if (SUCCEEDED(SetTitle(store.Get(), L"Never written")) && FAILED(store->Commit())) {
        EXPECT_EQ(FileBytes(file), malformed[i]);
      }
    }
    if (i < generated) {
      EXPECT_TRUE(failed);
      EXPECT_EQ(FileBytes(file), malformed[i]);
    }
  }
  std::printf("%zu malformed profiles, %zu of them from the fuzz corpus; %zu show only their "
              "health\n", malformed.size(), malformed.size() - generated, health_only);
}

// Eight threads read the properties of different profiles, each through a store of its own
// and all through one shared store, for ten seconds; every value is the one read alone.
TEST(Threads, EightReadersForTenSeconds) {
  ComScope com;
  const std::vector<Source> sources = InstalledProfiles(0);
  if (sources.empty()) GTEST_SKIP() << "no profiles under " << kColourRoot;
  std::vector<std::vector<std::string>> expected;
  for (const Source& s : sources) {
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(s.path, STGM_READ, &store), S_OK);
    expected.push_back(AllValues(store.Get()));
  }
  ComPtr<IPropertyStore> shared;
  ASSERT_EQ(OpenStore(sources[0].path, STGM_READ, &shared), S_OK);

  std::atomic<int> wrong{0}, reads{0};
  const DWORD until = GetTickCount() + 10000;
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      ComScope thread_com;
      for (std::size_t i = t; int(GetTickCount() - until) < 0; i += 8) {
        const std::size_t n = i % sources.size();
        ComPtr<IPropertyStore> store;
        if (FAILED(OpenStore(sources[n].path, STGM_READ, &store)) || AllValues(store.Get()) != expected[n])
          ++wrong;
        if (AllValues(shared.Get()) != expected[0]) ++wrong;
        ++reads;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  std::printf("%d reads of a profile's properties in 10 s by 8 threads\n", reads.load());
}

// The info tip's description line, from the tip made as Explorer makes it: in a
// single-threaded apartment.
std::string TipLine(const std::string& path) {
  const CLSID kTip = {0x4FF6B420, 0xDAEF, 0x4C5E, {0x94, 0x67, 0xAA, 0xDA, 0x04, 0x7A, 0x8C, 0xD9}};
  std::string line = "no tip";
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      ComPtr<IQueryInfo> tip;
      ComPtr<IPersistFile> file;
      wchar_t* text = nullptr;
      if (SUCCEEDED(CoCreateInstance(kTip, nullptr, CLSCTX_INPROC_SERVER, IID_IQueryInfo,
                                     reinterpret_cast<void**>(tip.GetAddressOf()))) &&
          SUCCEEDED(tip.As(&file)) && SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ)) &&
          SUCCEEDED(tip->GetInfoTip(0, &text)) && text) {
        const std::wstring lines = text;
        CoTaskMemFree(text);
        line = Utf8(lines.substr(0, lines.find(L'\n')));
      }
    }
    CoUninitialize();
  }).join();
  return line;
}

// Every surface shows the same text for a profile: the property handler's Title, the info
// tip's description line and Tagwright, for version 2 records that agree, disagree, are
// empty or missing, for a description stored as plain text, for the record of the user's
// language past the first 64 KB of its table, and without raw control characters (Tagwright
// edits the stored text); a tag that holds no text is a description none of them reads.
TEST(OneDescription, EverySurfaceShowsTheSameText) {
  ComScope com;
  ScratchFolder folder;
  auto record = [](const std::string& ascii, const char16_t* unicode) {
    icc::Description d;
    d.ascii = ascii;
    d.has_unicode = unicode != nullptr;
    if (unicode) d.unicode = unicode;
    std::vector<uint8_t> tag;
    icc::BuildDescription(d, &tag);
    return tag;
  };
  const wchar_t* const world =
      L"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac \u4e2d\u6587 \U0001F600 caf\u00e9";
  std::vector<icc::LocalizedRecord> many(6000, icc::LocalizedRecord("en", "AA", u"title"));
  many.emplace_back("en", "US", u"English");
  const std::u16string controls(u"sRGB\u000e built-in\0", 15);
  const struct {
    const char* name;
    std::vector<uint8_t> desc;
    const wchar_t* shown;  // null: none of them reads it
    std::wstring edited = L"";  // what Tagwright edits, when not the text shown
  } cases[] = {
      {"agree.icc", record("???????? ?? ?? caf\xe9", reinterpret_cast<const char16_t*>(world)), world},
      {"disagree.icc", record("New name", u"Old name"), L"New name"},
      {"empty.icc", record("Name", u""), L"Name"},
      {"missing.icc", record("Caf\xe9", nullptr), L"Caf\u00e9"},
      {"ascii-empty.icc", record("", u"\u4e2d\u6587"), L"\u4e2d\u6587"},
      {"plain.icc", Bytes(std::string("text\0\0\0\0Studio Monitor 2024", 27)), L"Studio Monitor 2024"},
      {"past-64k.icc", icc::BuildLocalizedText(many), L"English"},
      {"controls.icc", icc::BuildLocalizedText({{"en", "US", controls}}), L"sRGB\ufffd built-in",
       std::wstring(controls.begin(), controls.end())},
      {"curve.icc", Bytes(std::string("curv\0\0\0\0\0\0\0\0", 12)), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Put(c.name, BuildProfile({{"desc", c.desc}}));
    if (!c.shown) {
      EXPECT_EQ(ReadTitle(path), "error 0x800707DB");
      EXPECT_EQ(TipLine(path), "no tip");
      continue;
    }
    const std::string expected = Utf8(c.shown);
    EXPECT_EQ(ReadTitle(path), expected);
    EXPECT_EQ(TipLine(path), "Description: " + expected);
    CDescriptionTag editor;
    std::wstring shown;
    EXPECT_TRUE(editor.Read(Wide(path).c_str(), shown));
    EXPECT_EQ(shown, c.edited.empty() ? std::wstring(c.shown) : c.edited);
  }

  // A copyright shows no raw control either, and the title set back as shown keeps the
  // stored text.
  const std::vector<uint8_t> bytes =
      BuildProfile({{"desc", icc::BuildLocalizedText({{"en", "US", controls}})},
                    {"cprt", Bytes(std::string("text\0\0\0\0(c)\x0e 2024\0", 18))}});
  const std::string path = folder.Put("copyright.icc", bytes);
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(path, STGM_READWRITE, &store), S_OK);
  EXPECT_EQ(Text(store.Get(), PKEY_Copyright), Utf8(L"(c)\ufffd 2024"));
  ASSERT_EQ(SetTitle(store.Get(), L"sRGB\ufffd built-in"), S_OK);
  EXPECT_EQ(store->Commit(), S_OK);
  store.Reset();
  EXPECT_EQ(FileBytes(path), bytes);
}

}  // namespace

namespace {

// The profile doctor's verdict, found when asked for: "Sound", the count of warnings, or the
// first error in a few words, as tagwright-cli check says it.
TEST(Health, TheDoctorsVerdictInAFewWords) {
  ComScope com;
  ScratchFolder folder;
  const PROPERTYKEY health = {kProfileFormat, 11};
  const std::string root = std::string(kColourRoot) + "\\";
  std::vector<uint8_t> wrong_size = FileBytes(root + "argyll\\ref\\ClayRGB1998.icm");
  icc::StoreBE32(wrong_size.data(), uint32_t(wrong_size.size() + 100));
  const std::pair<std::string, std::string> cases[] = {
      {root + "argyll\\ref\\ClayRGB1998.icm", "Sound"},
      {root + "icc\\LStar-RGB.icc", "1 warning"},
      {root + "icc\\LCMSXYZI.ICM", "3 warnings"},
      {folder.Put("size.icc", wrong_size), "Wrong size field"},
  };
  for (const auto& c : cases) {
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(OpenStore(c.first, STGM_READ, &store), S_OK) << c.first;
    EXPECT_EQ(Text(store.Get(), health), c.second) << c.first;
  }
  // The ID's state, asked first, comes from the same check as the health.
  std::vector<uint8_t> other_creator = FileBytes(root + "icc\\colord\\AdobeRGB1998.icc");
  std::copy_n("test", 4, other_creator.begin() + 80);
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(folder.Put("id.icc", other_creator), STGM_READ, &store), S_OK);
  EXPECT_EQ(Text(store.Get(), kKeys[10]), "Wrong");
  EXPECT_EQ(Text(store.Get(), health), "Profile ID does not match");
}

}  // namespace

namespace {

// The gamut's volume and its sRGB and Display P3 coverage, as numbers that sort and compare:
// a display profile has them, within what its primaries make likely; a gray profile none.
TEST(Gamut, VolumeAndCoveragesAsNumbers) {
  ComScope com;
  const std::string root = std::string(kColourRoot) + "\\";
  auto number = [](IPropertyStore* store, DWORD id, VARTYPE* type) {
    PROPVARIANT value;
    double n = -1;
    *type = VT_ILLEGAL;
    if (SUCCEEDED(store->GetValue({kProfileFormat, id}, &value))) {
      *type = value.vt;
      n = value.vt == VT_UI4 ? double(value.ulVal) : value.vt == VT_R8 ? value.dblVal : -1;
    }
    PropVariantClear(&value);
    return n;
  };
  ComPtr<IPropertyStore> store;
  ASSERT_EQ(OpenStore(root + "icc\\colord\\sRGB.icc", STGM_READ, &store), S_OK);
  VARTYPE type;
  const double volume = number(store.Get(), 12, &type);
  EXPECT_EQ(type, VT_UI4);
  EXPECT_TRUE(volume > 700000 && volume < 950000) << volume;
  const double srgb = number(store.Get(), 13, &type);
  EXPECT_EQ(type, VT_R8);
  EXPECT_TRUE(srgb >= 99 && srgb <= 100) << srgb;
  const double p3 = number(store.Get(), 14, &type);
  EXPECT_EQ(type, VT_R8);
  EXPECT_TRUE(p3 > 60 && p3 < 90) << p3;
  EXPECT_NEAR(p3 * 10, std::round(p3 * 10), 1e-9);  // one decimal, as the pane and the command line

  ASSERT_EQ(OpenStore(root + "icc\\Gray.icc", STGM_READ, &store), S_OK);
  for (DWORD id : {12, 13, 14}) {
    number(store.Get(), id, &type);
    EXPECT_EQ(type, VT_EMPTY) << id;
  }
  DWORD count = 0;
  ASSERT_EQ(store->GetCount(&count), S_OK);
  for (DWORD i = 0; i < count; ++i) {
    PROPERTYKEY key;
    ASSERT_EQ(store->GetAt(i, &key), S_OK);
    EXPECT_FALSE(IsEqualGUID(key.fmtid, kProfileFormat) && key.pid >= 12) << key.pid;
  }
}

}  // namespace
