#include "properties.h"

#include <propkey.h>
#include <shobjidl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ansi_code_page.h"
#include "com_object.h"
#include "com_ptr.h"
#include "guids.h"
#include "icc_profile.h"
#include "description.h"
#include "doctor.h"
#include "in_place_edit.h"
#include "md5.h"
#include "profile_names.h"
#include "profile_properties.h"
#include "shown_text.h"
#include "stream_file.h"
#include "user_language.h"
#include "volume.h"
#include "wide_text.h"

namespace hueshell {
namespace {

constexpr uint32_t kDescTag = icc::Signature("desc");

PROPERTYKEY ProfileKey(DWORD id) { return {kProfileFormatId, id}; }

bool SameKey(REFPROPERTYKEY a, REFPROPERTYKEY b) {
  return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
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

// What a store read from a profile, as far as a rewrite depends on it: the size, the
// header, the tag table and the description's bytes (up to the read limit).
HRESULT Fingerprint(icc::Profile& profile, uint8_t digest[16]) {
  icc::Md5 md5;
  const uint64_t size = profile.FileSize();
  md5.Update(&size, sizeof size);
  uint8_t header[icc::kHeaderSize];
  profile.GetHeader(header);
  md5.Update(header, sizeof header);
  for (const icc::TagEntry& entry : profile.Entries()) md5.Update(&entry, sizeof entry);
  uint32_t count = 0;
  icc::Result r = profile.GetTagSize(kDescTag, &count);
  if (r.ok() && count != 0) {
    count = std::min(count, icc::kMaxShownTextBytes);
    std::vector<uint8_t> bytes(count);
    r = profile.GetTag(kDescTag, 0, &count, bytes.data(), nullptr);
    md5.Update(bytes.data(), count);
  }
  md5.Final(digest);
  return r.ok() || r.status == icc::Status::TagNotFound ? S_OK : colour::ToHresult(r);
}

HRESULT SeekTo(IStream* stream, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(offset);
  return stream->Seek(at, STREAM_SEEK_SET, nullptr);
}

HRESULT SetSize(IStream* stream, uint64_t size) {
  ULARGE_INTEGER length;
  length.QuadPart = size;
  return stream->SetSize(length);
}

// All of the stream, read afresh.
HRESULT ReadAll(IStream* stream, std::vector<uint8_t>* bytes) {
  LARGE_INTEGER zero = {};
  ULARGE_INTEGER end = {};
  HRESULT hr = stream->Seek(zero, STREAM_SEEK_END, &end);
  if (FAILED(hr)) return hr;
  if (end.QuadPart > SIZE_T(-1) / 2) return E_OUTOFMEMORY;
  bytes->resize(std::size_t(end.QuadPart));
  hr = SeekTo(stream, 0);
  for (std::size_t done = 0; SUCCEEDED(hr) && done < bytes->size();) {
    ULONG got = 0;
    hr = stream->Read(bytes->data() + done,
                      ULONG(std::min<std::size_t>(bytes->size() - done, 0x40000000)), &got);
    if (SUCCEEDED(hr) && got == 0) hr = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    done += got;
  }
  return hr;
}

// The store's stream as the file that an in-place edit writes; the stream's own failures
// come back as Status::Io with the HRESULT as the code.
class StreamEditedFile : public icc::EditedFile {
 public:
  explicit StreamEditedFile(IStream* stream) : stream_(stream) {}

  icc::Result WriteAt(uint64_t offset, const void* data, std::size_t count) override {
    const HRESULT hr = SeekTo(stream_, offset);
    if (FAILED(hr)) return icc::Result::Io(uint32_t(hr));
    colour::StreamSink sink(stream_);
    return sink.Write(data, count);
  }
  icc::Result SetLength(uint64_t length) override { return Io(SetSize(stream_, length)); }
  icc::Result Flush() override { return Io(stream_->Commit(STGC_DEFAULT)); }

 private:
  static icc::Result Io(HRESULT hr) {
    return SUCCEEDED(hr) ? icc::Result{} : icc::Result::Io(uint32_t(hr));
  }
  IStream* stream_;
};

// One property as the store holds it: a text (VT_LPWSTR), a time (VT_FILETIME), a number
// (VT_UI4 or VT_R8), or the reason it cannot be read.
struct Value {
  PROPERTYKEY key;
  HRESULT error = S_OK;
  VARTYPE type = VT_LPWSTR;
  std::wstring text;
  FILETIME time = {};
  double number = 0;
};

class CICCProperties final : public IInitializeWithStream,
                             public IPropertyStore,
                             public IPropertyStoreCapabilities,
                             public ObjectRoot {
 public:
  explicit CICCProperties(IUnknown* outer) : ObjectRoot(outer) {
    InitializeCriticalSection(&stream_lock_);
    InitializeCriticalSection(&lock_);
  }

  HUESHELL_FORWARD_IUNKNOWN

  // IInitializeWithStream
  HRESULT STDMETHODCALLTYPE Initialize(IStream* stream, DWORD mode) override {
    if (!stream) return E_POINTER;
    Locked reading(stream_lock_);
    Locked hold(lock_);
    if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    return Guarded([&] {
      // A store that may write reads the whole profile once, here: its values, the
      // fingerprint and the description that Commit changes all come from these bytes.
      const bool writable = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
      std::unique_ptr<icc::Profile> profile;
      HRESULT hr = writable ? ReadAll(stream, &bytes_) : S_OK;
      if (SUCCEEDED(hr)) hr = writable ? OpenBytes(bytes_, &profile) : Open(stream, &profile);
      if (hr == HRESULT_FROM_WIN32(ERROR_INVALID_PROFILE)) {
        // A profile too damaged to open still has the doctor's verdict, its one property;
        // nothing is written into it.
        stream_ = colour::ComPtr<IStream>(stream);
        values_.assign(1, Value());
        values_[0].key = ProfileKey(kHealthId);
        return S_OK;
      }
      if (FAILED(hr)) return hr;
      std::vector<Value> values;
      hr = ReadValues(*profile, &values, &title_cut_);
      // Only a store that may write needs to know later whether the stream changed.
      if (SUCCEEDED(hr) && writable) hr = Fingerprint(*profile, fingerprint_);
      if (FAILED(hr)) return hr;
      stream_ = colour::ComPtr<IStream>(stream);
      writable_ = writable;
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
    if (SameKey(key, ProfileKey(kProfileIdStateId)) || SameKey(key, ProfileKey(kHealthId))) {
      const HRESULT hr = Guarded([&] { return Examine(); });
      if (FAILED(hr)) return hr;
    }
    if (IsGamutKey(key)) {
      const HRESULT hr = Guarded([&] { return Measure(); });
      if (FAILED(hr)) return hr;
    }
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    return Guarded([&] {
      if (SameKey(key, PKEY_Title) && pending_)
        return TextValue(pending_title_, value);
      Value* found = Find(key);
      if (!found) return S_OK;  // not a property of this profile: VT_EMPTY
      if (FAILED(found->error)) return found->error;
      switch (found->type) {
        case VT_FILETIME:
          value->vt = VT_FILETIME;
          value->filetime = found->time;
          return S_OK;
        case VT_UI4:
          value->vt = VT_UI4;
          value->ulVal = ULONG(found->number);
          return S_OK;
        case VT_R8:
          value->vt = VT_R8;
          value->dblVal = found->number;
          return S_OK;
        case VT_EMPTY:
          return S_OK;
        default:
          return TextValue(found->text, value);
      }
    });
  }

  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    if (!SameKey(key, PKEY_Title) || !profile_ || !writable_ || title_cut_)
      return STG_E_ACCESSDENIED;
    // The property system hands over an empty or blank title as no value at all.
    if (value.vt != VT_EMPTY && (value.vt != VT_LPWSTR || !value.pwszVal)) return E_INVALIDARG;
    if (value.vt == VT_LPWSTR && !icc::IsStorableText(colour::Utf16(value.pwszVal)))
      return E_INVALIDARG;
    return Guarded([&] {
      pending_title_ = value.vt == VT_EMPTY ? L"" : value.pwszVal;
      pending_ = true;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Commit() override {
    Locked reading(stream_lock_);
    Locked hold(lock_);
    if (!stream_) return E_UNEXPECTED;
    if (!pending_) return S_OK;
    if (!writable_) return STG_E_ACCESSDENIED;
    return Guarded([&] { return WriteTitle(); });
  }

  // IPropertyStoreCapabilities
  // A title that may have been cut when it was read is not written back.
  HRESULT STDMETHODCALLTYPE IsPropertyWritable(REFPROPERTYKEY key) override {
    Locked hold(lock_);
    return SameKey(key, PKEY_Title) && profile_ && !title_cut_ ? S_OK : S_FALSE;
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
  ~CICCProperties() override {
    DeleteCriticalSection(&lock_);
    DeleteCriticalSection(&stream_lock_);
  }

  static HRESULT Open(IStream* stream, std::unique_ptr<icc::Profile>* profile) {
    return colour::ToHresult(colour::OpenStreamProfile(stream, profile));
  }

  // A profile over bytes held by the store, which must outlive it.
  static HRESULT OpenBytes(const std::vector<uint8_t>& bytes,
                           std::unique_ptr<icc::Profile>* profile) {
    return colour::ToHresult(icc::Profile::Open(std::make_unique<icc::MemoryFile>(bytes), profile));
  }

  // Everything but the profile ID's state and the profile's health, which take a read of
  // the whole profile and are found when they are asked for.  A damaged text tag makes its
  // own property fail.
  static HRESULT ReadValues(icc::Profile& profile, std::vector<Value>* values, bool* title_cut) {
    icc::Language language;
    colour::UserLanguage(language.language, language.country);
    auto text = [&](const PROPERTYKEY& key, uint32_t signature) {
      std::u16string stored;
      bool cut = false;
      const icc::Result r = icc::ReadStoredText(profile, signature, language,
                                                colour::AnsiCodePage(), &stored, &cut,
                                                icc::kMaxWholeReadBytes);
      if (r.status == icc::Status::TagNotFound) return;
      Value v;
      v.key = key;
      v.error = colour::ToHresult(r);
      if (r.ok()) {
        const std::u16string shown = icc::ShownText(stored, icc::TextLines::One, cut);
        v.text.assign(shown.begin(), shown.end());
      }
      if (signature == kDescTag) *title_cut = r.ok() && cut;
      values->push_back(std::move(v));
    };
    auto word = [&](DWORD id, const char* name) {
      Value v;
      v.key = ProfileKey(id);
      v.text = colour::Wide(icc::FromAscii(name));
      values->push_back(std::move(v));
    };

    const icc::Header& header = profile.header();

    text(PKEY_Title, kDescTag);
    text(PKEY_Copyright, icc::Signature("cprt"));
    word(kDeviceClassId, icc::DeviceClassName(header.device_class()));
    word(kColourSpaceId, icc::ColourSpaceName(header.colour_space()));
    word(kConnectionSpaceId, icc::ConnectionSpaceName(header.connection_space()));
    word(kRenderingIntentId, icc::IntentName(header.intent()));
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
      v.type = VT_FILETIME;
      if (SystemTimeToFileTime(&when, &v.time)) values->push_back(std::move(v));
    }
    text(ProfileKey(kManufacturerId), icc::Signature("dmnd"));
    text(ProfileKey(kModelId), icc::Signature("dmdd"));
    Value id;
    id.key = ProfileKey(kProfileIdStateId);
    values->push_back(std::move(id));
    Value health;
    health.key = ProfileKey(kHealthId);
    values->push_back(std::move(health));
    // The gamut's values are measured when one is asked for (Measure); a profile whose kind
    // has no solid has none of them.
    if (gamut::NoSolidOf(header.device_class(), header.colour_space()) == gamut::NoSolid::None)
      for (DWORD id : {kGamutVolumeId, kSrgbCoverageId, kDisplayP3CoverageId}) {
        Value v;
        v.key = ProfileKey(id);
        v.type = VT_EMPTY;
        values->push_back(std::move(v));
      }
    return S_OK;
  }

  static bool IsGamutKey(REFPROPERTYKEY key) {
    for (DWORD id : {kGamutVolumeId, kSrgbCoverageId, kDisplayP3CoverageId})
      if (SameKey(key, ProfileKey(id))) return true;
    return false;
  }

  // The gamut's volume and how much of sRGB and Display P3 it covers, within the thumbnail's
  // limits, found once, when one of them is asked for; past the limits, or where the data
  // give no solid, they stay empty.  Like Examine, the work holds the stream's lock alone.
  HRESULT Measure() {
    Locked reading(stream_lock_);
    if (measured_ || !profile_) return S_OK;
    gamut::Solid solid;
    const gamut::SolidResult s = gamut::ComputeSolid(*profile_, &solid);
    const bool found = s.result.ok() && !solid.empty();
    // One decimal, as every surface shows it.
    auto covered = [&](gamut::Reference r) {
      return found ? std::round(gamut::Coverage(solid, gamut::ReferenceSolid(r)) * 10) / 10 : 0;
    };
    const double volume = std::floor(std::min(solid.volume(), double(ULONG_MAX)) + 0.5);
    const double srgb = covered(gamut::Reference::Srgb);
    const double p3 = covered(gamut::Reference::DisplayP3);
    Locked hold(lock_);
    for (Value& v : values_) {
      if (!IsGamutKey(v.key)) continue;
      v.type = !found ? VT_EMPTY : v.key.pid == kGamutVolumeId ? VT_UI4 : VT_R8;
      v.number = v.key.pid == kGamutVolumeId ? volume : v.key.pid == kSrgbCoverageId ? srgb : p3;
    }
    measured_ = true;
    return S_OK;
  }

  Value* Find(REFPROPERTYKEY key) {
    for (Value& v : values_)
      if (SameKey(v.key, key)) return &v;
    return nullptr;
  }

  // The profile doctor's verdict on the bytes of the stream, as tagwright-cli check gives it,
  // and the profile ID's state from the same read (up to icc::kMaxWholeReadBytes), found once,
  // when either is asked for.  The read holds the stream's lock alone, so that the other
  // values are read meanwhile; a second caller waits here for the first one's results, which
  // are set under the store's lock.
  HRESULT Examine() {
    Locked reading(stream_lock_);
    if (examined_ || !stream_) return S_OK;
    std::unique_ptr<icc::SourceFile> file;
    icc::Result r = colour::OpenStreamFile(stream_.get(), &file);
    icc::CheckReport report;
    if (r.ok()) r = doctor::CheckProfile(*file, &report, icc::kMaxWholeReadBytes);
    const std::wstring health =
        r.ok() ? colour::Wide(icc::FromAscii(icc::HealthText(report))) : L"";
    const std::wstring id = colour::Wide(icc::FromAscii(icc::ProfileIdText(r, report)));
    Locked hold(lock_);
    for (Value& v : values_) {
      const bool is_health = SameKey(v.key, ProfileKey(kHealthId));
      if (!is_health && !SameKey(v.key, ProfileKey(kProfileIdStateId))) continue;
      v.error = colour::ToHresult(r);
      v.text = is_health ? health : id;
    }
    examined_ = true;
    return S_OK;
  }

  // The profile with the pending description: the new record or localized record, 'dscm'
  // kept in step, the real size and the profile ID, made from the bytes Initialize read.  A
  // destination stream gets the profile as the editor's Save writes it; the store's own
  // stream gets the new tags after its end (icc::PlanInPlaceEdit), so that it holds the old
  // profile or the new one whatever fails.  Nothing is written unless the whole new profile
  // could be made, nor into a profile in which anything shown could not be read, nor into a
  // stream that no longer holds what Initialize read: another program may have replaced the
  // file since.
  HRESULT WriteTitle() {
    if (!profile_) return E_UNEXPECTED;
    // A profile with a tag that could not be read is damaged: better left as it is.
    for (const Value& v : values_)
      if (FAILED(v.error)) return v.error;

    HRESULT hr = StreamUnchanged();
    if (FAILED(hr)) return hr;

    icc::Language language;
    colour::UserLanguage(language.language, language.country);
    icc::Description description;
    icc::Result r = icc::ReadDescription(*profile_, language, &description);
    if (!r.ok()) return colour::ToHresult(r);
    // The title set back as the store shows it: the stored text, with the zero or the control
    // characters that showing replaces, is not the user's to lose.
    const std::u16string title = colour::Utf16(pending_title_);
    const std::u16string stored = icc::DescriptionText(description, colour::AnsiCodePage());
    if (title != stored && title == icc::ShownText(stored, icc::TextLines::One)) {
      pending_ = false;
      return S_OK;
    }
    if (!icc::SetDescriptionText(&description, title, colour::AnsiCodePage())) return E_INVALIDARG;

    colour::ComPtr<IDestinationStreamFactory> factory;
    const bool in_place = FAILED(stream_.As(IID_IDestinationStreamFactory, &factory));
    std::vector<uint8_t> written;
    icc::InPlaceEdit edit;
    StreamEditedFile file(stream_.get());
    if (in_place) {
      icc::TagChanges changes(*profile_);
      r = icc::StoreDescription(changes, description);
      if (r.ok()) r = icc::PlanInPlaceEdit(bytes_, changes.Changes(), &edit);
      if (!r.ok()) return colour::ToHresult(r);
      bool restored = true;
      hr = colour::ToHresult(icc::ApplyInPlaceEdit(edit, file, &restored));
      if (FAILED(hr)) {
        // The stream may hold the new profile now, or one with a field cut short: the store
        // reads it as it is.
        if (!restored) Reload();
        return hr;
      }
      written = std::move(edit.result);
    } else {
      // The new profile in memory first: the store reads it from there afterwards.
      std::unique_ptr<icc::Profile> edited;
      hr = OpenBytes(bytes_, &edited);
      if (FAILED(hr)) return hr;
      icc::MemorySink made;
      r = icc::StoreDescription(*edited, description);
      if (r.ok()) r = edited->WriteTo(made);
      if (!r.ok()) return colour::ToHresult(r);
      colour::ComPtr<IStream> target;
      hr = WriteToDestination(made.bytes, *factory.get(), &target);
      if (FAILED(hr)) return hr;
      stream_ = std::move(target);
      written = std::move(made.bytes);
    }
    // The store now reads what was written, from the bytes it wrote.
    profile_.reset();
    bytes_ = std::move(written);
    hr = OpenBytes(bytes_, &profile_);
    if (SUCCEEDED(hr)) hr = Fingerprint(*profile_, fingerprint_);
    if (FAILED(hr)) {
      // Written but not readable again: not a success.  In place, the old profile goes back.
      profile_.reset();
      if (in_place) icc::UndoInPlaceEdit(edit, file);
      return hr;
    }
    if (Value* shown = Find(PKEY_Title)) {
      shown->error = S_OK;
      shown->text = pending_title_;
    }
    pending_ = false;
    examined_ = false;
    return S_OK;
  }

  // Whether the stream still holds what the store read, as far as a rewrite depends on it
  // (Fingerprint): STG_E_NOTCURRENT when it does not.
  HRESULT StreamUnchanged() {
    std::unique_ptr<icc::Profile> now;
    uint8_t digest[16];
    HRESULT hr = Open(stream_.get(), &now);
    if (SUCCEEDED(hr)) hr = Fingerprint(*now, digest);
    if (FAILED(hr)) return hr;
    return memcmp(digest, fingerprint_, sizeof digest) == 0 ? S_OK : STG_E_NOTCURRENT;
  }

  // After a rewrite in place that failed and could not be undone: the values, the
  // fingerprint and the profile of the stream as it now holds them, as Initialize reads them.
  void Reload() {
    profile_.reset();
    examined_ = false;
    measured_ = false;
    std::unique_ptr<icc::Profile> profile;
    std::vector<Value> values;
    bool cut = false;
    HRESULT hr = ReadAll(stream_.get(), &bytes_);
    if (SUCCEEDED(hr)) hr = OpenBytes(bytes_, &profile);
    if (SUCCEEDED(hr)) hr = ReadValues(*profile, &values, &cut);
    if (SUCCEEDED(hr)) hr = Fingerprint(*profile, fingerprint_);
    if (FAILED(hr)) {
      values_.assign(1, Value());
      values_[0].key = ProfileKey(kHealthId);
      return;
    }
    profile_ = std::move(profile);
    values_ = std::move(values);
    title_cut_ = cut;
  }

  // Writes the changed profile to the destination stream that the caller offers, so that
  // the file is replaced only once the whole profile is there.  *target receives it.
  static HRESULT WriteToDestination(const std::vector<uint8_t>& profile,
                                    IDestinationStreamFactory& factory,
                                    colour::ComPtr<IStream>* target) {
    colour::ComPtr<IStream> destination;
    HRESULT hr = factory.GetDestinationStream(destination.put());
    if (SUCCEEDED(hr)) hr = SeekTo(destination.get(), 0);
    if (FAILED(hr)) return hr;
    colour::StreamSink sink(destination.get());
    hr = colour::ToHresult(sink.Write(profile.data(), profile.size()));
    if (SUCCEEDED(hr)) hr = SetSize(destination.get(), profile.size());
    if (SUCCEEDED(hr)) hr = destination->Commit(STGC_DEFAULT);
    if (SUCCEEDED(hr)) *target = std::move(destination);
    return hr;
  }

  // stream_lock_ is held over every use of the stream (Initialize, Examine, Commit), lock_
  // over every use of the values; whoever takes both takes stream_lock_ first.  stream_,
  // profile_, the rows of values_ and examined_ change only with both held.
  CRITICAL_SECTION stream_lock_;
  CRITICAL_SECTION lock_;
  colour::ComPtr<IStream> stream_;
  bool writable_ = false;
  std::vector<uint8_t> bytes_;  // a writable store's profile, as read or last written
  std::unique_ptr<icc::Profile> profile_;
  std::vector<Value> values_;
  bool examined_ = false;  // the health and the profile ID's state
  bool measured_ = false;  // the gamut's values
  bool pending_ = false;
  std::wstring pending_title_;
  bool title_cut_ = false;
  uint8_t fingerprint_[16] = {};
};

}  // namespace

HRESULT CreateICCProperties(IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCProperties>(outer, riid, ppv);
}

}  // namespace hueshell
