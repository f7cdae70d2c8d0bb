#include "info_tip.h"

#include <shlobj.h>

#include <string>

#include "ansi_code_page.h"
#include "colour_service.h"
#include "com_object.h"
#include "com_ptr.h"
#include "dispatch.h"
#include "guids.h"
#include "module.h"
#include "profile_names.h"
#include "profile_properties.h"
#include "tip_description.h"
#include "user_language.h"
#include "wide_text.h"

namespace hueshell {
namespace {

constexpr TAGTYPE kDescTag = 0x64657363;  // 'desc'

// Constant-initialized: nothing runs to make it, on any thread.
TypeInfoCache g_type_info(IID_IICCTip);

// A block from the module's heap.
class HeapBlock {
 public:
  explicit HeapBlock(SIZE_T bytes) : p_(module::Allocate(bytes)) {}
  ~HeapBlock() { module::Free(p_); }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  template <class T>
  T* as() const {
    return static_cast<T*>(p_);
  }

 private:
  void* p_;
};

// Appends `length` UTF-16 units to the string.  When memory is short the piece is dropped
// and the text keeps what it had.
void Append(const TipPlatform& platform, BSTR* text, const wchar_t* piece, UINT length) {
  if (length == 0) return;
  const UINT old_length = *text ? SysStringLen(*text) : 0;
  if (length > 0x7FFFFFFFu - old_length) return;
  BSTR joined = platform.SysAllocStringLen(nullptr, old_length + length);
  if (!joined) return;
  if (old_length) memcpy(joined, *text, old_length * sizeof(WCHAR));
  memcpy(joined + old_length, piece, SIZE_T(length) * sizeof(WCHAR));
  joined[old_length + length] = L'\0';
  SysFreeString(*text);
  *text = joined;
}

// Appends ANSI text, converted from the code page.
void Append(const TipPlatform& platform, BSTR* text, const char* piece) {
  const int length = lstrlenA(piece);
  if (length <= 0) return;
  HeapBlock wide(SIZE_T(length + 1) * sizeof(WCHAR));
  if (!wide.as<WCHAR>()) return;
  const int converted = MultiByteToWideChar(CP_ACP, 0, piece, length, wide.as<WCHAR>(), length);
  if (converted > 0) Append(platform, text, wide.as<WCHAR>(), UINT(converted));
}

// The desc tag through the colour service.
class ServiceTag final : public TagBytes {
 public:
  ServiceTag(const TipPlatform& platform, HPROFILE profile) : platform_(platform), profile_(profile) {}

  // A query without a buffer reports the size; implementations differ in whether they call
  // that a success, so only the reported size counts.
  uint32_t Size() override {
    DWORD size = 0;
    BOOL reference = FALSE;
    platform_.GetColorProfileElement(profile_, kDescTag, 0, &size, nullptr, &reference);
    return size;
  }

  bool Read(uint32_t offset, uint32_t* count, uint8_t* buffer) override {
    DWORD delivered = *count;
    BOOL reference = FALSE;
    if (!platform_.GetColorProfileElement(profile_, kDescTag, offset, &delivered, buffer, &reference))
      return false;
    *count = delivered;
    return true;
  }

 private:
  const TipPlatform& platform_;
  HPROFILE profile_;
};

// "Description: " and the description as every program shows it (the codec's rule).
HRESULT AppendDescription(const TipPlatform& platform, HPROFILE profile, BSTR* text) {
  icc::Language language;
  colour::UserLanguage(language.language, language.country);
  ServiceTag tag(platform, profile);
  // A record table larger than a handler reads whole is refused, as every handler does.
  if (!icc::LocalizedTableWithin(tag, icc::kMaxWholeReadBytes)) return E_OUTOFMEMORY;
  std::u16string line;
  bool cut = false;
  if (!icc::ReadShownDescription(tag, language, colour::AnsiCodePage(), kTipTextLimit, &line, &cut))
    return E_FAIL;
  FinishTipLine(&line, cut);
  Append(platform, text, "Description: ");
  Append(platform, text, colour::WideOf(line), UINT(line.size()));
  return S_OK;
}

class CICCTip final : public IQueryInfo, public IPersistFile, public IICCTip, public ObjectRoot {
 public:
  CICCTip(IUnknown* outer, const TipPlatform* platform) : ObjectRoot(outer), platform_(*platform) {
    if (FAILED(platform_.SHGetMalloc(malloc_.put()))) malloc_.reset();
  }

  HUESHELL_FORWARD_IUNKNOWN
  HUESHELL_FORWARD_IDISPATCH(g_type_info, IICCTip)

  // IQueryInfo
  HRESULT STDMETHODCALLTYPE GetInfoTip(DWORD, LPWSTR* tip) override {
    if (!tip) return E_POINTER;
    *tip = nullptr;  // a failure hands over nothing
    BSTR text = nullptr;
    const HRESULT hr = BuildTipText(&text);
    if (FAILED(hr) || !malloc_) {
      SysFreeString(text);
      return E_FAIL;
    }
    const UINT length = text ? SysStringLen(text) : 0;
    auto* block = static_cast<LPWSTR>(malloc_->Alloc((SIZE_T(length) + 1) * sizeof(WCHAR)));
    *tip = block;
    // No block is a failure: a caller trusting S_OK would read through a null pointer.
    if (!block) {
      SysFreeString(text);
      return E_OUTOFMEMORY;
    }
    if (length) memcpy(block, text, length * sizeof(WCHAR));
    block[length] = L'\0';
    SysFreeString(text);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetInfoFlags(DWORD* flags) override {
    if (flags) *flags = 0;
    return E_NOTIMPL;
  }

  virtual HRESULT STDMETHODCALLTYPE BuildTipText(BSTR* text) {
    return Guarded([&] { return ComposeTip(platform_, path_, text); });
  }

  // IPersistFile
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

  // Keeps the name as given, in UTF-16: no conversion can turn it into another file's
  // name.  A null name leaves no path, so that the tip fails.
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
    module::Free(path_);
    path_ = nullptr;
    if (!name) return S_OK;
    const SIZE_T bytes = (SIZE_T(lstrlenW(name)) + 1) * sizeof(wchar_t);
    path_ = static_cast<wchar_t*>(module::Allocate(bytes));
    if (!path_) return E_OUTOFMEMORY;
    memcpy(path_, name, bytes);
    return S_OK;
  }

 protected:
  const InterfaceEntry* Interfaces() const override {
    static const InterfaceEntry rows[] = {
        {&IID_IICCTip, InterfaceOffset<CICCTip, IICCTip>()},
        {&IID_IQueryInfo, InterfaceOffset<CICCTip, IQueryInfo>()},
        {&IID_IPersistFile, InterfaceOffset<CICCTip, IPersistFile>()},
        {&IID_IDispatch, InterfaceOffset<CICCTip, IICCTip>()},
        {nullptr, 0},
    };
    return rows;
  }

 private:
  ~CICCTip() override { module::Free(path_); }

  const TipPlatform& platform_;
  colour::ComPtr<IMalloc> malloc_;
  wchar_t* path_ = nullptr;  // from the module's heap; null before Load
};

}  // namespace

HRESULT ComposeTip(const TipPlatform& platform, const wchar_t* path, BSTR* text) {
  SysFreeString(*text);
  *text = nullptr;
  if (!path || !*path) return E_FAIL;

  PROFILE name = {PROFILE_FILENAME, const_cast<wchar_t*>(path),
                  DWORD((lstrlenW(path) + 1) * sizeof(wchar_t))};
  colour::ProfileHandle profile(
      platform.OpenColorProfileW(&name, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING),
      platform.CloseColorProfile);
  if (!profile.get()) return E_FAIL;
  const HRESULT described = AppendDescription(platform, profile.get(), text);
  if (FAILED(described)) return described;

  PROFILEHEADER record;
  if (!platform.GetColorProfileHeader(profile.get(), &record)) return E_FAIL;
  const icc::Header header = colour::FromHostRecord(record);
  Append(platform, text, "\nClass: ");
  Append(platform, text, icc::DeviceClassName(header.device_class()));
  Append(platform, text, "\nColor Space: ");
  Append(platform, text, icc::ColourSpaceName(header.colour_space()));
  Append(platform, text, "\nConnection Space: ");
  Append(platform, text, icc::ConnectionSpaceName(header.connection_space()));
  Append(platform, text, "\nIntent: ");
  Append(platform, text, icc::IntentName(header.intent()));
  return S_OK;
}

const TipPlatform& DefaultTipPlatform() {
  static const TipPlatform platform = {
      colour::OpenColorProfileW, colour::CloseColorProfile, colour::GetColorProfileHeader,
      colour::GetColorProfileElement, ::SysAllocStringLen, ::SHGetMalloc,
  };
  return platform;
}

HRESULT CreateICCTipWith(const TipPlatform& platform, IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCTip>(outer, riid, ppv, &platform);
}

HRESULT CreateICCTip(IUnknown* outer, REFIID riid, void** ppv) {
  return CreateICCTipWith(DefaultTipPlatform(), outer, riid, ppv);
}

}  // namespace hueshell
