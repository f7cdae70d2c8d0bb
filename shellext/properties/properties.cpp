#include "properties.h"

#include <propkey.h>
#include <shobjidl.h>

#include <memory>
#include <string>
#include <vector>

#include "com_object.h"
#include "com_ptr.h"
#include "guids.h"
#include "icc_profile.h"
#include "description.h"
#include "profile_names.h"
#include "profile_properties.h"
#include "stream_file.h"
#include "user_language.h"

namespace hueshell {
namespace {

constexpr uint32_t kDescTag = icc::Signature("desc");

PROPERTYKEY ProfileKey(DWORD id) { return {kProfileFormatId, id}; }

bool SameKey(REFPROPERTYKEY a, REFPROPERTYKEY b) {
  return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

std::wstring Widen(const char* text, int length = -1) {
  if (length < 0) length = lstrlenA(text);
  if (length == 0) return std::wstring();
  const int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
  std::wstring wide(std::size_t(units > 0 ? units : 0), L'\0');
  if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], units);
  return wide;
}

std::wstring ShownText(const icc::StoredText& text) {
  if (text.wide) return std::wstring(text.units.begin(), text.units.end());
  return Widen(text.bytes.data(), int(text.bytes.size()));
}

// The ANSI form of a description for its ASCII record, and whether it lost characters
// (which a best-fit mapping would hide by turning them into others).
std::string AnsiForm(const std::wstring& text, bool* lost) {
  *lost = false;
  if (text.empty()) return std::string();
  BOOL defaulted = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()),
                                        nullptr, 0, nullptr, &defaulted);
  std::string ansi(std::size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), &ansi[0], bytes,
                        nullptr, &defaulted);
  *lost = bytes <= 0 || defaulted || Widen(ansi.c_str(), int(ansi.size())) != text;
  return ansi;
}

// A text as a property value, in memory from the COM task allocator, which the caller frees
// with PropVariantClear.
HRESULT TextValue(const std::wstring& text, PROPVARIANT* value) {
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  memcpy(copy, text.c_str(), bytes);
  value->vt = VT_LPWSTR;
  value->pwszVal = copy;
  return S_OK;
}

const wchar_t* IdStateText(icc::ProfileIdState state) {
  switch (state) {
    case icc::ProfileIdState::Valid: return L"Valid";
    case icc::ProfileIdState::Wrong: return L"Wrong";
    case icc::ProfileIdState::Absent: break;
  }
  return L"Absent";
}

// One property as the store holds it: a text, a time, or the reason it cannot be read.
struct Value {
  PROPERTYKEY key;
  HRESULT error = S_OK;
  bool is_time = false;
  std::wstring text;
  FILETIME time = {};
};

// Holds a critical section for the span of a method.
class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~Locked() { LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

class CICCProperties final : public IInitializeWithStream,
                             public IPropertyStore,
                             public IPropertyStoreCapabilities,
                             public ObjectRoot {
 public:
  explicit CICCProperties(IUnknown* outer) : ObjectRoot(outer) { InitializeCriticalSection(&lock_); }

  HUESHELL_FORWARD_IUNKNOWN

  // IInitializeWithStream
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override {
    if (!stream) return E_POINTER;
    Locked hold(lock_);
    if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    return Guarded([&] {
      std::unique_ptr<icc::Profile> profile;
      HRESULT hr = Open(stream, &profile);
      if (FAILED(hr)) return hr;
      std::vector<Value> values;
      hr = ReadValues(*profile, &values);
      if (FAILED(hr)) return hr;
      stream_ = colour::ComPtr<IStream>(stream);
      writable_ = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
      profile_ = std::move(profile);
      values_ = std::move(values);
      return S_OK;
    });
  }

  // IPropertyStore
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    if (!count) return E_POINTER;
    Locked hold(lock_);
    *count = DWORD(values_.size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
    if (!key) return E_POINTER;
    Locked hold(lock_);
    if (index >= values_.size()) return E_INVALIDARG;
    *key = values_[index].key;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
    if (!value) return E_POINTER;
    PropVariantInit(value);
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    return Guarded([&] {
      if (SameKey(key, PKEY_Title) && pending_)
        return TextValue(pending_title_, value);
      Value* found = Find(key);
      if (!found) return S_OK;  // not a property of this profile: VT_EMPTY
      if (SameKey(key, ProfileKey(kProfileIdStateId)) && !id_checked_) CheckId(found);
      if (FAILED(found->error)) return found->error;
      if (found->is_time) {
        value->vt = VT_FILETIME;
        value->filetime = found->time;
        return S_OK;
      }
      return TextValue(found->text, value);
    });
  }

  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    if (!SameKey(key, PKEY_Title) || !writable_) return STG_E_ACCESSDENIED;
    if (value.vt != VT_LPWSTR || !value.pwszVal) return E_INVALIDARG;
    return Guarded([&] {
      pending_title_ = value.pwszVal;
      pending_ = true;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Commit() override {
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    if (!pending_) return S_OK;
    if (!writable_) return STG_E_ACCESSDENIED;
    return Guarded([&] { return WriteTitle(); });
  }

  // IPropertyStoreCapabilities
  HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) override {
    return SameKey(key, PKEY_Title) ? S_OK : S_FALSE;
  }

 protected:
  const InterfaceEntry* Interfaces() const override {
    static const InterfaceEntry rows[] = {
        {&IID_IPropertyStore, InterfaceOffset<CICCProperties, IPropertyStore>()},
        {&IID_IInitializeWithStream, InterfaceOffset<CICCProperties, IInitializeWithStream>()},
        {&IID_IPropertyStoreCapabilities,
         InterfaceOffset<CICCProperties, IPropertyStoreCapabilities>()},
        {nullptr, 0},
    };
    return rows;
  }

 private:
  ~CICCProperties() override { DeleteCriticalSection(&lock_); }

  static HRESULT Open(IStream* stream, std::unique_ptr<icc::Profile>* profile) {
    return colour::ToHresult(colour::OpenStreamProfile(stream, profile));
  }

  // Everything but the profile ID's state, which takes a read of the whole profile and is
  // found when it is asked for.  A damaged text tag makes its own property fail.
  static HRESULT ReadValues(icc::Profile& profile, std::vector<Value>* values) {
    char language[2], country[2];
    colour::UserLanguage(language, country);
    auto text = [&](const PROPERTYKEY& key, uint32_t signature) {
      icc::StoredText stored;
      const icc::Result r = icc::ReadStoredText(profile, signature, language, country, &stored);
      if (r.status == icc::Status::TagNotFound) return;
      Value v;
      v.key = key;
      v.error = colour::ToHresult(r);
      if (r.ok()) v.text = ShownText(stored);
      values->push_back(std::move(v));
    };
    auto word = [&](DWORD id, const char* name) {
      Value v;
      v.key = ProfileKey(id);
      v.text = Widen(name);
      values->push_back(std::move(v));
    };

    uint8_t header[icc::kHeaderSize];
    profile.GetHeader(header);
    uint32_t words[icc::kHeaderSize / 4];
    icc::HeaderToHost(header, words);

    text(PKEY_Title, kDescTag);
    text(PKEY_Copyright, icc::Signature("cprt"));
    word(kDeviceClassId, icc::DeviceClassName(words[3]));
    word(kColourSpaceId, icc::ColourSpaceName(words[4]));
    word(kConnectionSpaceId, icc::ConnectionSpaceName(words[5]));
    word(kRenderingIntentId, icc::IntentName(words[16]));
    word(kVersionId, icc::VersionText(header).c_str());
    icc::DateTime date;
    SYSTEMTIME when = {};
    if (icc::CreationDate(header, &date)) {
      when.wYear = date.year;
      when.wMonth = date.month;
      when.wDay = date.day;
      when.wHour = date.hour;
      when.wMinute = date.minute;
      when.wSecond = date.second;
      Value v;
      v.key = ProfileKey(kCreatedId);
      v.is_time = SystemTimeToFileTime(&when, &v.time) != FALSE;
      if (v.is_time) values->push_back(std::move(v));
    }
    text(ProfileKey(kManufacturerId), icc::Signature("dmnd"));
    text(ProfileKey(kModelId), icc::Signature("dmdd"));
    Value id;
    id.key = ProfileKey(kProfileIdStateId);
    values->push_back(std::move(id));
    return S_OK;
  }

  Value* Find(REFPROPERTYKEY key) {
    for (Value& v : values_)
      if (SameKey(v.key, key)) return &v;
    return nullptr;
  }

  void CheckId(Value* value) {
    icc::ProfileIdState state = icc::ProfileIdState::Absent;
    const icc::Result r = profile_ ? icc::CheckProfileId(*profile_, &state)
                                   : icc::Result{icc::Status::InvalidParameter, 0};
    value->error = colour::ToHresult(r);
    if (r.ok()) value->text = IdStateText(state);
    id_checked_ = true;
  }

  // The profile with the pending description, as the editor's Save writes it: the new
  // record or localized record, 'dscm' kept in step, the real size and the profile ID.
  // Nothing is written unless the whole new profile could be made, nor into a profile in
  // which anything shown could not be read.
  HRESULT WriteTitle() {
    if (!profile_) return E_UNEXPECTED;
    // A profile with a tag that could not be read is damaged: better left as it is.
    for (const Value& v : values_)
      if (FAILED(v.error)) return v.error;
    icc::Language language;
    colour::UserLanguage(language.language, language.country);
    icc::Description description;
    icc::Result r = icc::ReadDescription(*profile_, language, &description);
    if (!r.ok()) return colour::ToHresult(r);
    bool lost = false;
    const std::string ansi = AnsiForm(pending_title_, &lost);
    icc::SetDescriptionText(&description,
                            std::u16string(pending_title_.begin(), pending_title_.end()), ansi,
                            lost);
    r = icc::StoreDescription(*profile_, description, language);
    if (!r.ok()) return colour::ToHresult(r);

    colour::ComPtr<IStream> target;
    HRESULT hr = WriteProfile(&target);
    if (FAILED(hr)) return hr;
    // The store now reads what was written.
    stream_ = std::move(target);
    profile_.reset();
    hr = Open(stream_.get(), &profile_);
    if (Value* title = Find(PKEY_Title)) {
      title->error = S_OK;
      title->text = pending_title_;
    }
    pending_ = false;
    id_checked_ = false;
    return S_OK;
  }

  // Writes the changed profile to the destination stream that the caller offers, so that
  // the file is replaced only once the whole profile is there; else rewrites the stream
  // from its start.  *target receives the stream written, with a reference.
  HRESULT WriteProfile(colour::ComPtr<IStream>* target) {
    colour::ComPtr<IDestinationStreamFactory> factory;
    if (SUCCEEDED(stream_.As(IID_IDestinationStreamFactory, &factory))) {
      colour::ComPtr<IStream> destination;
      HRESULT hr = factory->GetDestinationStream(destination.put());
      if (FAILED(hr)) return hr;
      hr = Rewrite(destination.get(), nullptr);
      if (SUCCEEDED(hr)) hr = destination->Commit(STGC_DEFAULT);
      if (FAILED(hr)) return hr;
      *target = std::move(destination);
      return S_OK;
    }
    // The container reads the old profile from the stream while it writes, so the new one
    // is made whole first.
    icc::MemorySink buffer;
    HRESULT hr = colour::ToHresult(profile_->WriteTo(buffer));
    if (SUCCEEDED(hr)) hr = Rewrite(stream_.get(), &buffer.bytes);
    if (SUCCEEDED(hr)) hr = stream_->Commit(STGC_DEFAULT);
    if (FAILED(hr)) return hr;
    *target = stream_;
    return S_OK;
  }

  // Puts the new profile at the start of `stream` (`bytes`, or streamed from the profile)
  // and makes the stream exactly that long.
  HRESULT Rewrite(IStream* stream, const std::vector<uint8_t>* bytes) {
    LARGE_INTEGER start = {};
    HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    colour::StreamSink sink(stream);
    const icc::Result r = bytes ? sink.Write(bytes->data(), bytes->size()) : profile_->WriteTo(sink);
    if (!r.ok()) return colour::ToHresult(r);
    ULARGE_INTEGER length;
    length.QuadPart = bytes ? bytes->size() : profile_->OutputLength();
    return stream->SetSize(length);
  }

  CRITICAL_SECTION lock_;
  colour::ComPtr<IStream> stream_;
  bool writable_ = false;
  std::unique_ptr<icc::Profile> profile_;
  std::vector<Value> values_;
  bool id_checked_ = false;
  bool pending_ = false;
  std::wstring pending_title_;
};

}  // namespace

HRESULT CreateICCProperties(IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCProperties>(outer, riid, ppv);
}

}  // namespace hueshell
