#include "context_menu.h"

#include <shlobj.h>

#include "colour_service.h"
#include "com_object.h"
#include "com_ptr.h"
#include "dispatch.h"
#include "drop_list.h"
#include "guids.h"
#include "module.h"

namespace hueshell {
namespace {

struct Command {
  const wchar_t* item;
  const char* help;
  const wchar_t* help_wide;
  UINT operation;
};

// Row 0: the first name lies outside the colour directory; row 1: under it.
const Command kCommands[2] = {
    {L"Copy to Color Folder", "Copy File to Color Folder", L"Copy File to Color Folder", FO_COPY},
    {L"Move to a Backup Folder", "Move File to a Backup Folder", L"Move File to a Backup Folder",
     FO_MOVE},
};

const wchar_t kBrowseTitle[] = L"Choose Backup Folder";

// Constant-initialized: nothing runs to make it, on any thread.
TypeInfoCache g_type_info(IID_IICCMenu);

// A name is cut to this many characters, as the shell's own drop-list reader cuts it.
constexpr std::size_t kNameLimit = MAX_PATH - 1;

// The medium that GetData filled, released on every way out.
class Medium {
 public:
  explicit Medium(const STGMEDIUM& medium) : medium_(medium) {}
  ~Medium() { ReleaseStgMedium(&medium_); }
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;
  const STGMEDIUM& get() const { return medium_; }

 private:
  STGMEDIUM medium_;
};

// A locked global memory block and its real size.
class LockedBlock {
 public:
  explicit LockedBlock(HGLOBAL block)
      : block_(block), size_(GlobalSize(block)), p_(size_ ? GlobalLock(block) : nullptr) {}
  ~LockedBlock() {
    if (p_) GlobalUnlock(block_);
  }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  const uint8_t* get() const { return static_cast<const uint8_t*>(p_); }
  SIZE_T size() const { return p_ ? size_ : 0; }

 private:
  HGLOBAL block_;
  SIZE_T size_;
  void* p_;
};

// The selection in the form the file operation takes: UTF-16 names, each ended by a zero,
// and one more zero after the last; from the module's heap.  Names are cut to kNameLimit
// characters; empty names are left out (one would end the list early).
class NameList final : public DropListVisitor {
 public:
  NameList() = default;
  ~NameList() override { module::Free(units_); }
  NameList(const NameList&) = delete;
  NameList& operator=(const NameList&) = delete;

  bool Name(const uint8_t* name, std::size_t units, bool wide) override {
    if (units > kNameLimit) units = kNameLimit;
    // An ANSI name becomes at most as many UTF-16 units as it has bytes.
    if (!Reserve(units + 2)) return false;
    wchar_t* out = units_ + length_;
    int written = int(units);
    if (wide) {
      memcpy(out, name, units * sizeof(wchar_t));
    } else {
      written = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(name), int(units),
                                    out, int(units));
      if (written <= 0) return true;  // a name the code page cannot read is no name
    }
    length_ += std::size_t(written);
    units_[length_++] = L'\0';
    units_[length_] = L'\0';
    ++count_;
    return true;
  }

  // Hands the list over; the object is empty afterwards.
  wchar_t* Release(int* count) {
    wchar_t* list = units_;
    *count = int(count_);
    units_ = nullptr;
    length_ = count_ = 0;
    return list;
  }

  bool Empty() const { return count_ == 0; }
  // The error when the list could not be taken whole.
  HRESULT Failure() const { return out_of_memory_ ? E_OUTOFMEMORY : E_INVALIDARG; }

 private:
  // Room for `more` units after the list so far.
  bool Reserve(std::size_t more) {
    if (capacity_ - length_ >= more) return true;
    std::size_t capacity = capacity_ ? capacity_ : 256;
    while (capacity - length_ < more) {
      if (capacity > (SIZE_T(-1) / sizeof(wchar_t)) / 2) return Refuse();
      capacity *= 2;
    }
    auto* grown = static_cast<wchar_t*>(module::Allocate(capacity * sizeof(wchar_t)));
    if (!grown) return Refuse();
    if (units_) memcpy(grown, units_, (length_ + 1) * sizeof(wchar_t));
    module::Free(units_);
    units_ = grown;
    capacity_ = capacity;
    return true;
  }
  bool Refuse() {
    out_of_memory_ = true;
    return false;
  }

  wchar_t* units_ = nullptr;
  std::size_t length_ = 0;  // units before the list's final zero
  std::size_t capacity_ = 0;
  std::size_t count_ = 0;
  bool out_of_memory_ = false;
};

// A block from the shell allocator, freed through it.
class ShellBlock {
 public:
  ShellBlock(IMalloc* malloc, SIZE_T bytes)
      : malloc_(malloc), p_(malloc ? malloc->Alloc(bytes) : nullptr) {}
  ~ShellBlock() {
    if (p_) malloc_->Free(p_);
  }
  ShellBlock(const ShellBlock&) = delete;
  ShellBlock& operator=(const ShellBlock&) = delete;
  wchar_t* get() const { return static_cast<wchar_t*>(p_); }

 private:
  IMalloc* malloc_;
  void* p_;
};

// The parts of an invocation record that count: which command, the owner window and
// whether windows may be shown.
struct Invocation {
  bool by_offset = false;  // a command offset, not a verb name
  UINT_PTR offset = 0;
  HWND owner = nullptr;
  bool no_ui = false;
};

bool ReadInvocation(const CMINVOKECOMMANDINFO* info, Invocation* out) {
  if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return false;
  out->by_offset = IS_INTRESOURCE(info->lpVerb);
  out->offset = reinterpret_cast<UINT_PTR>(info->lpVerb);
  if (info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX) && (info->fMask & CMIC_MASK_UNICODE)) {
    const auto* ex = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info);
    if (ex->lpVerbW && !IS_INTRESOURCE(ex->lpVerbW)) out->by_offset = false;
  }
  out->owner = info->hwnd;
  out->no_ui = (info->fMask & CMIC_MASK_FLAG_NO_UI) != 0;
  return true;
}

class CICCMenu final : public IShellExtInit, public IContextMenu, public IICCMenu, public ObjectRoot {
 public:
  CICCMenu(IUnknown* outer, const MenuPlatform* platform) : ObjectRoot(outer), platform_(*platform) {
    if (FAILED(platform_.SHGetMalloc(m_pMalloc.put()))) m_pMalloc.reset();
  }

  HUESHELL_FORWARD_IUNKNOWN
  HUESHELL_FORWARD_IDISPATCH(g_type_info, IICCMenu)

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) override {
    return Guarded([&] { return Select(data); });
  }

  // Only a context menu the user opens gets the item: a request for the default verb (a
  // double-click) or a range without room for one identifier uses none.
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last,
                                             UINT flags) override {
    return Guarded([&] {
      const HRESULT none = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
      if (!m_bReady || (flags & CMF_DEFAULTONLY) || first > last) return none;
      if (!menu || !IsMenu(menu)) return E_INVALIDARG;
      if (!platform_.InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, first, Row().item))
        return HRESULT_FROM_WIN32(GetLastError());
      return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
    });
  }

  // The object publishes no verb name: a verb request writes nothing and fails, so that no
  // caller takes the untouched buffer for a name.
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR command, UINT type, UINT*, LPSTR name,
                                             UINT cchMax) override {
    switch (type) {
      case GCS_VALIDATEA:
      case GCS_VALIDATEW:
        return command == 0 ? S_OK : S_FALSE;
      case GCS_HELPTEXTA:
      case GCS_HELPTEXTW:
        if (command != 0) return E_INVALIDARG;
        if (!name || cchMax == 0) return S_OK;
        if (type == GCS_HELPTEXTA)
          lstrcpynA(name, Row().help, int(cchMax));
        else
          lstrcpynW(reinterpret_cast<LPWSTR>(name), Row().help_wide, int(cchMax));
        return S_OK;
      default:
        return E_NOTIMPL;
    }
  }

  // Acts only when its own item was chosen: command offset 0.  Verb names ("delete" when the
  // user presses the Delete key, "properties", "open"...) are sent to every handler of the
  // selection and are none of this object's business.
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    return Guarded([&] {
      Invocation invocation;
      if (!ReadInvocation(info, &invocation) || !invocation.by_offset || invocation.offset != 0)
        return E_INVALIDARG;
      return Run(invocation);
    });
  }

 protected:
  const InterfaceEntry* Interfaces() const override {
    static const InterfaceEntry rows[] = {
        {&IID_IICCMenu, InterfaceOffset<CICCMenu, IICCMenu>()},
        {&IID_IShellExtInit, InterfaceOffset<CICCMenu, IShellExtInit>()},
        {&IID_IContextMenu, InterfaceOffset<CICCMenu, IContextMenu>()},
        {&IID_IDispatch, InterfaceOffset<CICCMenu, IICCMenu>()},
        {nullptr, 0},
    };
    return rows;
  }

 private:
  ~CICCMenu() override { DropNames(); }

  // Takes the selection from the data object's drop list and decides the command.
  HRESULT Select(IDataObject* data) {
    if (!data) return E_INVALIDARG;
    m_bReady = false;
    DropNames();

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM filled = {};
    if (FAILED(data->GetData(&format, &filled))) return E_INVALIDARG;
    const Medium medium(filled);
    if (medium.get().tymed != TYMED_HGLOBAL || !medium.get().hGlobal) return E_INVALIDARG;
    NameList names;
    {
      // The list is read within the block's real size, never trusting its own offsets.
      const LockedBlock block(medium.get().hGlobal);
      if (!ReadDropList(block.get(), block.size(), names)) return names.Failure();
    }
    // A selection without names gives nothing to decide on or to copy.
    if (names.Empty()) return E_INVALIDARG;
    m_pszFiles = names.Release(&m_nFiles);

    wchar_t directory[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    if (!platform_.GetColorDirectoryW(nullptr, directory, &size) || directory[0] == L'\0')
      return E_FAIL;
    directory[MAX_PATH - 1] = L'\0';
    memcpy(m_szColorDir, directory, sizeof m_szColorDir);

    // A pure prefix test on the first name, without regard to case.
    const int length = lstrlenW(m_szColorDir);
    wchar_t first[MAX_PATH];
    lstrcpynW(first, m_pszFiles, length + 1);
    m_bInColorDir = lstrcmpiW(first, m_szColorDir) == 0;
    m_bReady = true;
    return S_OK;
  }

  // Copies or moves the selection.  Without a user interface nothing may be shown: the
  // move, which must ask for a folder, is refused, and the copy runs silently.
  HRESULT Run(const Invocation& invocation) {
    if (!m_bReady) return E_FAIL;
    if (m_bInColorDir && invocation.no_ui) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    SIZE_T units = 0;
    for (const wchar_t* p = m_pszFiles; *p; p += lstrlenW(p) + 1) units += SIZE_T(lstrlenW(p)) + 1;
    ShellBlock sources(m_pMalloc.get(), (units + 1) * sizeof(wchar_t));
    if (!sources.get()) return E_OUTOFMEMORY;
    memcpy(sources.get(), m_pszFiles, (units + 1) * sizeof(wchar_t));
    m_szColorDir[lstrlenW(m_szColorDir) + 1] = L'\0';

    const HWND owner = invocation.owner ? invocation.owner : platform_.GetFocus();
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = owner;
    operation.pFrom = sources.get();
    operation.fFlags = FOF_ALLOWUNDO;
    if (invocation.no_ui) operation.fFlags |= FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
    operation.wFunc = Row().operation;
    if (!m_bInColorDir) {
      operation.pTo = m_szColorDir;
      platform_.SHFileOperationW(&operation);
      return S_OK;
    }

    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.lpszTitle = kBrowseTitle;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = platform_.SHBrowseForFolderW(&browse);
    if (!chosen) return S_OK;
    // One unit beyond MAX_PATH keeps the second zero of the list after a path of any length.
    wchar_t folder[MAX_PATH + 1] = {};
    // A folder without a file-system path would leave an empty destination, which the file
    // operation reads as the current directory: nothing is moved then.
    if (platform_.SHGetPathFromIDListW(chosen, folder) && folder[0] != L'\0') {
      operation.pTo = folder;
      platform_.SHFileOperationW(&operation);
    }
    m_pMalloc->Free(chosen);
    return S_OK;
  }

  const Command& Row() const { return kCommands[m_bInColorDir ? 1 : 0]; }

  void DropNames() {
    module::Free(m_pszFiles);
    m_pszFiles = nullptr;
    m_nFiles = 0;
  }

  const MenuPlatform& platform_;
  wchar_t* m_pszFiles = nullptr;  // the names, each ended by a zero, and one more zero
  int m_nFiles = 0;
  wchar_t m_szColorDir[MAX_PATH + 1] = {};
  BOOL m_bInColorDir = FALSE;
  colour::ComPtr<IMalloc> m_pMalloc;
  // Set by a successful Initialize: until then there is no selection to act on.
  bool m_bReady = false;
};

}  // namespace

const MenuPlatform& DefaultMenuPlatform() {
  static const MenuPlatform platform = {
      colour::GetColorDirectoryW, ::SHGetMalloc, ::InsertMenuW, ::GetFocus,
      ::SHBrowseForFolderW, ::SHGetPathFromIDListW, ::SHFileOperationW,
  };
  return platform;
}

HRESULT CreateICCMenuWith(const MenuPlatform& platform, IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCMenu>(outer, riid, ppv, &platform);
}

HRESULT CreateICCMenu(IUnknown* outer, REFIID riid, void** ppv) {
  return CreateICCMenuWith(DefaultMenuPlatform(), outer, riid, ppv);
}

}  // namespace hueshell
