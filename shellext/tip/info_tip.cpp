#include "info_tip.h"

#include <shlobj.h>

#include <vector>

#include "com_object.h"
#include "dispatch.h"
#include "guids.h"
#include "icc_profile.h"
#include "localized_text.h"
#include "module.h"
#include "user_language.h"

namespace hueshell {
namespace {

constexpr TAGTYPE kDescTag = 0x64657363;  // 'desc'
constexpr DWORD kAsciiCountOffset = 8;
constexpr DWORD kAsciiTextOffset = 12;

struct NameRow {
  DWORD value;
  const char* text;
};

const char kUnknown[] = "Unknown";

const NameRow kClassNames[] = {
    {0x61627374, "Abstract"}, {0x6C696E6B, "Link"},    {0x6D6E7472, "Monitor"},
    {0x6E6D636C, "Named"},    {0x70727472, "Printer"}, {0x73636E72, "Scanner"},
    {0x73706163, "Color Space"},
};

const NameRow kColourSpaceNames[] = {
    {0x58595A20, "XYZ"},
    {0x4C616220, "Lab"},
    {0x4C757620, "Luv"},
    {0x59436272, "YCbCr"},
    {0x59787920, "Yxy"},
    {0x52474220, "RGB"},
    {0x47524159, "Gray Scale"},
    {0x48535620, "HSV"},
    {0x484C5320, "HLS"},
    {0x434D594B, "CMYK"},
    {0x434D5920, "CMY"},
    {0x32434C52, "Generic 2 channel"},
    {0x33434C52, "Generic 3 channel"},
    {0x34434C52, "Generic 4 channel"},
    {0x35434C52, "Generic 5 channel"},
    {0x36434C52, "Generic 6 channel"},
    {0x37434C52, "Generic 7 channel"},
    {0x38434C52, "Generic 8 channel"},
};

const NameRow kConnectionSpaceNames[] = {{0x4C616220, "Lab"}, {0x58595A20, "XYZ"}};

const NameRow kIntentNames[] = {
    {0, "Perceptual"}, {1, "Relative Colorimetric"}, {2, "Saturation"}, {3, "Absolute Colorimetric"},
};

template <std::size_t N>
const char* Lookup(const NameRow (&rows)[N], DWORD value) {
  for (const NameRow& row : rows)
    if (row.value == value) return row.text;
  return kUnknown;
}

// A profile handle that is closed on every way out.
class OpenProfile {
 public:
  OpenProfile(const Platform& platform, HPROFILE handle) : platform_(platform), handle_(handle) {}
  ~OpenProfile() {
    if (handle_) platform_.CloseColorProfile(handle_);
  }
  OpenProfile(const OpenProfile&) = delete;
  OpenProfile& operator=(const OpenProfile&) = delete;
  HPROFILE get() const { return handle_; }

 private:
  const Platform& platform_;
  HPROFILE handle_;
};

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

// Appends `length` bytes of ANSI text to the string.  When memory is short the piece is
// dropped and the text keeps what it had.
void Append(const Platform& platform, BSTR* text, const char* piece, int length) {
  if (length <= 0) return;
  HeapBlock wide(SIZE_T(length + 1) * sizeof(WCHAR));
  if (!wide.as<WCHAR>()) return;
  const int converted = MultiByteToWideChar(CP_ACP, 0, piece, length, wide.as<WCHAR>(), length);
  if (converted <= 0) return;
  const UINT old_length = *text ? SysStringLen(*text) : 0;
  BSTR joined = platform.SysAllocStringLen(nullptr, old_length + UINT(converted));
  if (!joined) return;
  if (old_length) memcpy(joined, *text, old_length * sizeof(WCHAR));
  memcpy(joined + old_length, wide.as<WCHAR>(), SIZE_T(converted) * sizeof(WCHAR));
  joined[old_length + UINT(converted)] = L'\0';
  SysFreeString(*text);
  *text = joined;
}

void Append(const Platform& platform, BSTR* text, const char* piece) {
  Append(platform, text, piece, lstrlenA(piece));
}

// The real size of the desc tag, which bounds the count that the tag itself claims.  A
// query without a buffer reports it; implementations differ in whether they call that a
// success, so only the reported size counts.
DWORD DescriptionTagSize(const Platform& platform, HPROFILE profile) {
  DWORD size = 0;
  BOOL reference = FALSE;
  platform.GetColorProfileElement(profile, kDescTag, 0, &size, nullptr, &reference);
  return size;
}

// "Description: " and the ASCII text of a description record: `count` (the number at offset
// 8) bytes from offset 12, up to the first zero byte.
HRESULT AppendTextDescription(const Platform& platform, HPROFILE profile, DWORD count,
                              BSTR* text) {
  BOOL reference = FALSE;

  // The count is the file's word: never allocate more than the tag really holds.
  const DWORD tag_size = DescriptionTagSize(platform, profile);
  const DWORD available = tag_size > kAsciiTextOffset ? tag_size - kAsciiTextOffset : 0;
  if (count > available) count = available;

  HeapBlock buffer(count);
  char* bytes = buffer.as<char>();
  if (!bytes) return E_OUTOFMEMORY;
  DWORD delivered = count;
  if (!platform.GetColorProfileElement(profile, kDescTag, kAsciiTextOffset, &delivered,
                                       bytes, &reference))
    return E_FAIL;
  if (delivered > count) delivered = count;
  DWORD length = 0;
  while (length < delivered && bytes[length] != '\0') ++length;

  Append(platform, text, "Description: ");
  Append(platform, text, bytes, int(length));
  return S_OK;
}

// "Description: " and the text of a table of localized records: the record for the user's
// UI language (else US English, else the first), in the ANSI code page.  Only the table
// and that one string are read, each bounded by the tag's real size.
HRESULT AppendLocalizedDescription(const Platform& platform, HPROFILE profile,
                                   const BYTE header[icc::kLocalizedHeaderSize], BSTR* text) {
  const DWORD tag_size = DescriptionTagSize(platform, profile);
  const DWORD table_size = DWORD(icc::LocalizedTableBytes(header, tag_size));
  HeapBlock table(table_size);
  if (!table.as<BYTE>()) return E_OUTOFMEMORY;
  DWORD size = table_size;
  BOOL reference = FALSE;
  if (!platform.GetColorProfileElement(profile, kDescTag, 0, &size, table.as<BYTE>(), &reference))
    return E_FAIL;
  std::vector<icc::LocalizedEntry> entries;
  if (!icc::ParseLocalizedEntries(table.as<BYTE>(), size < table_size ? size : table_size, tag_size,
                                  &entries))
    return E_FAIL;
  char language[2], country[2];
  colour::UserLanguage(language, country);
  const int chosen = icc::ChooseLocalizedRecord(entries, language, country);

  DWORD units = 0;
  HeapBlock wide(chosen < 0 ? sizeof(WCHAR) : (SIZE_T(entries[std::size_t(chosen)].length) / 2 + 1) * sizeof(WCHAR));
  if (!wide.as<WCHAR>()) return E_OUTOFMEMORY;
  if (chosen >= 0 && entries[std::size_t(chosen)].length != 0) {
    const icc::LocalizedEntry& entry = entries[std::size_t(chosen)];
    HeapBlock stored(entry.length);
    if (!stored.as<BYTE>()) return E_OUTOFMEMORY;
    DWORD delivered = entry.length;
    if (!platform.GetColorProfileElement(profile, kDescTag, entry.offset, &delivered,
                                         stored.as<BYTE>(), &reference))
      return E_FAIL;
    if (delivered > entry.length) delivered = entry.length;
    const BYTE* be = stored.as<BYTE>();
    while (units < delivered / 2 && (be[2 * units] | be[2 * units + 1]) != 0) {
      wide.as<WCHAR>()[units] = WCHAR(be[2 * units] << 8 | be[2 * units + 1]);
      ++units;
    }
  }

  Append(platform, text, "Description: ");
  if (units == 0) return S_OK;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.as<WCHAR>(), int(units), nullptr, 0,
                                        nullptr, nullptr);
  HeapBlock ansi(SIZE_T(bytes > 0 ? bytes : 1));
  if (bytes > 0 && ansi.as<char>() &&
      WideCharToMultiByte(CP_ACP, 0, wide.as<WCHAR>(), int(units), ansi.as<char>(), bytes, nullptr,
                          nullptr) == bytes)
    Append(platform, text, ansi.as<char>(), bytes);
  return S_OK;
}

class CICCTip final : public IQueryInfo, public IPersistFile, public IICCTip, public ObjectRoot {
 public:
  CICCTip(IUnknown* outer, const Platform* platform) : ObjectRoot(outer), platform_(*platform) {
    if (FAILED(platform_.SHGetMalloc(&malloc_))) malloc_ = nullptr;
  }

  HUESHELL_FORWARD_IUNKNOWN
  HUESHELL_FORWARD_IDISPATCH(TipTypeInfo(), IICCTip)

  // IQueryInfo
  HRESULT STDMETHODCALLTYPE GetInfoTip(DWORD, LPWSTR* tip) override {
    if (!tip) return E_POINTER;
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

  // Stores the ANSI form of the name.  A null name, a failed conversion, and a name whose
  // ANSI form does not fit the path field (possible with double-byte code pages) all leave
  // the empty path, so that the tip fails rather than naming a different, cut-off file.
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD) override {
    path_[0] = '\0';
    if (!name) return S_OK;
    const int units = lstrlenW(name);
    HeapBlock converted(SIZE_T(units) * 2 + 2);
    char* ansi = converted.as<char>();
    if (!ansi) return S_OK;
    ansi[0] = '\0';
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, units * 2 + 2, nullptr, nullptr) <= 0)
      return S_OK;
    const int length = lstrlenA(ansi);
    if (length < MAX_PATH) memcpy(path_, ansi, SIZE_T(length) + 1);
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
  ~CICCTip() override {
    if (malloc_) malloc_->Release();
  }

  const Platform& platform_;
  IMalloc* malloc_ = nullptr;
  char path_[MAX_PATH] = {};
};

}  // namespace

const char* ClassName(DWORD signature) { return Lookup(kClassNames, signature); }
const char* ColourSpaceName(DWORD signature) { return Lookup(kColourSpaceNames, signature); }
const char* ConnectionSpaceName(DWORD signature) { return Lookup(kConnectionSpaceNames, signature); }
const char* IntentName(DWORD intent) { return Lookup(kIntentNames, intent); }

HRESULT ComposeTip(const Platform& platform, const char* path, BSTR* text) {
  SysFreeString(*text);
  *text = nullptr;

  PROFILE name = {PROFILE_FILENAME, const_cast<char*>(path), MAX_PATH};
  OpenProfile profile(platform,
                      platform.OpenColorProfileA(&name, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING));
  if (!profile.get()) return E_FAIL;

  // One read tells the kind of record and gives what each kind needs first: the ASCII
  // count at offset 8 of a description record, the 16-byte header of localized records.
  BYTE head[icc::kLocalizedHeaderSize];
  DWORD delivered = sizeof head;
  BOOL reference = FALSE;
  if (!platform.GetColorProfileElement(profile.get(), kDescTag, 0, &delivered, head, &reference) ||
      delivered < kAsciiTextOffset)
    return E_FAIL;
  HRESULT described;
  if (icc::LoadBE32(head) == icc::Signature("mluc"))
    described = delivered == sizeof head
                    ? AppendLocalizedDescription(platform, profile.get(), head, text)
                    : E_FAIL;
  else
    described = AppendTextDescription(platform, profile.get(), icc::LoadBE32(head + kAsciiCountOffset),
                                      text);
  if (FAILED(described)) return described;

  PROFILEHEADER header;
  if (!platform.GetColorProfileHeader(profile.get(), &header)) return E_FAIL;
  Append(platform, text, "\nClass: ");
  Append(platform, text, ClassName(header.phClass));
  Append(platform, text, "\nColor Space: ");
  Append(platform, text, ColourSpaceName(header.phDataColorSpace));
  Append(platform, text, "\nConnection Space: ");
  Append(platform, text, ConnectionSpaceName(header.phConnectionSpace));
  Append(platform, text, "\nIntent: ");
  Append(platform, text, IntentName(header.phRenderingIntent));
  return S_OK;
}

HRESULT CreateICCTipWith(const Platform& platform, IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCTip>(outer, riid, ppv, &platform);
}

HRESULT CreateICCTip(IUnknown* outer, REFIID riid, void** ppv) {
  return CreateICCTipWith(DefaultPlatform(), outer, riid, ppv);
}

}  // namespace hueshell
