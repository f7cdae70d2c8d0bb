#include "context_menu.h"

#include <shlobj.h>

#include "com_object.h"
#include "dispatch.h"
#include "guids.h"
#include "module.h"

namespace hueshell {
namespace {

struct Command {
  const char* item;
  const char* help;
  const wchar_t* help_wide;
  UINT operation;
};

// Row 0: the first name lies outside the colour directory; row 1: under it.
const Command kCommands[2] = {
    {"Copy to Color Folder", "Copy File to Color Folder", L"Copy File to Color Folder", FO_COPY},
    {"Move to a Backup Folder", "Move File to a Backup Folder", L"Move File to a Backup Folder",
     FO_MOVE},
};

const char kBrowseTitle[] = "Choose Backup Folder";

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
  char* get() const { return static_cast<char*>(p_); }

 private:
  IMalloc* malloc_;
  void* p_;
};

class CICCMenu final : public IShellExtInit, public IContextMenu, public IICCMenu, public ObjectRoot {
 public:
  CICCMenu(IUnknown* outer, const Platform* platform) : ObjectRoot(outer), platform_(*platform) {
    if (FAILED(platform_.SHGetMalloc(&m_pMalloc))) m_pMalloc = nullptr;
  }

  HUESHELL_FORWARD_IUNKNOWN
  HUESHELL_FORWARD_IDISPATCH(MenuTypeInfo(), IICCMenu)

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) override {
    return Guarded([&] { return Select(data); });
  }

  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT,
                                             UINT) override {
    return Guarded([&] { return AddItem(menu, index, first); });
  }

  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT type, UINT*, LPSTR name,
                                             UINT cchMax) override {
    if (!name || cchMax == 0) return S_OK;
    if (type == GCS_HELPTEXTA)
      lstrcpynA(name, Row().help, int(cchMax));
    else if (type == GCS_HELPTEXTW)
      lstrcpynW(reinterpret_cast<LPWSTR>(name), Row().help_wide, int(cchMax));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override {
    return Guarded([&] { return Run(); });
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
  ~CICCMenu() override {
    DropNames();
    if (m_pMalloc) m_pMalloc->Release();
  }

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
    const HDROP drop = static_cast<HDROP>(medium.get().hGlobal);
    const UINT count = platform_.DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0 || count > UINT(0x7FFFFFFF / MAX_PATH) - 1) return E_INVALIDARG;
    m_pszFiles = static_cast<char*>(module::Allocate(SIZE_T(count) * MAX_PATH));
    if (!m_pszFiles) return E_OUTOFMEMORY;
    // An empty name would end the file operation's source list early (and an empty list
    // reads as one empty name): such names are left out.
    for (UINT i = 0; i < count; ++i) {
      char* slot = Slot(m_nFiles);
      slot[0] = '\0';
      platform_.DragQueryFileA(drop, i, slot, MAX_PATH);
      slot[MAX_PATH - 1] = '\0';
      if (slot[0] != '\0') ++m_nFiles;
    }
    // A selection without names gives nothing to decide on or to copy.
    if (m_nFiles == 0) {
      DropNames();
      return E_INVALIDARG;
    }

    char directory[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (!platform_.GetColorDirectoryA(nullptr, directory, &size) || directory[0] == '\0')
      return E_FAIL;
    directory[MAX_PATH - 1] = '\0';
    memcpy(m_szColorDir, directory, sizeof m_szColorDir);

    // A pure prefix test on the first name, without regard to case.
    const int length = lstrlenA(m_szColorDir);
    char first[MAX_PATH];
    lstrcpynA(first, Slot(0), length + 1);
    m_bInColorDir = lstrcmpiA(first, m_szColorDir) == 0;
    m_bReady = true;
    return S_OK;
  }

  HRESULT AddItem(HMENU menu, UINT index, UINT first) {
    if (!m_bReady) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    platform_.InsertMenuA(menu, index, MF_BYPOSITION | MF_STRING, first, Row().item);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }

  // Copies or moves the selection; the invocation record is not consulted: every verb runs
  // the one command on offer.
  HRESULT Run() {
    if (!m_bReady) return E_FAIL;
    ShellBlock sources(m_pMalloc, SIZE_T(m_nFiles) * MAX_PATH + 2);
    if (!sources.get()) return E_OUTOFMEMORY;
    char* out = sources.get();
    for (int i = 0; i < m_nFiles; ++i) {
      const int length = lstrlenA(Slot(i));
      memcpy(out, Slot(i), SIZE_T(length) + 1);
      out += length + 1;
    }
    *out = '\0';
    m_szColorDir[lstrlenA(m_szColorDir) + 1] = '\0';

    const HWND owner = platform_.GetFocus();
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.pFrom = sources.get();
    operation.fFlags = FOF_ALLOWUNDO;
    operation.wFunc = Row().operation;
    if (!m_bInColorDir) {
      operation.pTo = m_szColorDir;
      platform_.SHFileOperationA(&operation);
      return S_OK;
    }

    BROWSEINFOA browse = {};
    browse.hwndOwner = owner;
    browse.lpszTitle = kBrowseTitle;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = platform_.SHBrowseForFolderA(&browse);
    if (!chosen) return S_OK;
    // One byte beyond MAX_PATH keeps the second NUL of the list after a path of any length.
    char folder[MAX_PATH + 1] = {};
    // A folder without a file-system path would leave an empty destination, which the file
    // operation reads as the current directory: nothing is moved then.
    if (platform_.SHGetPathFromIDListA(chosen, folder) && folder[0] != '\0') {
      operation.pTo = folder;
      platform_.SHFileOperationA(&operation);
    }
    m_pMalloc->Free(chosen);
    return S_OK;
  }

  const Command& Row() const { return kCommands[m_bInColorDir ? 1 : 0]; }
  char* Slot(int i) const { return m_pszFiles + SIZE_T(i) * MAX_PATH; }

  void DropNames() {
    module::Free(m_pszFiles);
    m_pszFiles = nullptr;
    m_nFiles = 0;
  }

  const Platform& platform_;
  char* m_pszFiles = nullptr;
  int m_nFiles = 0;
  char m_szColorDir[MAX_PATH + 1] = {};
  BOOL m_bInColorDir = FALSE;
  IMalloc* m_pMalloc = nullptr;
  // Set by a successful Initialize: until then there is no selection to act on.
  bool m_bReady = false;
};

}  // namespace

HRESULT CreateICCMenuWith(const Platform& platform, IUnknown* outer, REFIID riid, void** ppv) {
  return ObjectRoot::Create<CICCMenu>(outer, riid, ppv, &platform);
}

HRESULT CreateICCMenu(IUnknown* outer, REFIID riid, void** ppv) {
  return CreateICCMenuWith(DefaultPlatform(), outer, riid, ppv);
}

}  // namespace hueshell
