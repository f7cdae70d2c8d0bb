#include "ProfileView.h"

#include <memory>
#include <utility>

#include "Resource.h"

namespace {

const char kFilter[] = "ICC/ICM profiles (*.icc,*.icm) |*.icc;*.icm|";

struct LocalDeleter {
  void operator()(char* p) const { LocalFree(p); }
};

// A copy that Save As made, deleted again unless the command keeps it.  The deletion
// leaves the last-error value of the failure that caused it.
class CopiedFile {
 public:
  explicit CopiedFile(const std::string& path) : m_path(path) {}
  ~CopiedFile() { Discard(); }
  CopiedFile(const CopiedFile&) = delete;
  CopiedFile& operator=(const CopiedFile&) = delete;

  void Keep() { m_path.clear(); }
  void Discard() {
    if (m_path.empty()) return;
    const DWORD error = GetLastError();
    // A copy of a read-only profile carries the attribute along; it is still ours to remove.
    SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(m_path.c_str());
    m_path.clear();
    SetLastError(error);
  }

 private:
  std::string m_path;
};

struct FileIdentity {
  DWORD volume;
  DWORD indexHigh;
  DWORD indexLow;
};

bool GetFileIdentity(const char* pszPath, FileIdentity* pId) {
  const HANDLE h = CreateFileA(pszPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
  CloseHandle(h);
  if (ok) *pId = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return ok;
}

}  // namespace

bool IsSameFile(const char* pszPath1, const char* pszPath2) {
  if (lstrcmpA(pszPath1, pszPath2) == 0) return true;
  const DWORD error = GetLastError();
  FileIdentity a;
  FileIdentity b;
  const bool same = GetFileIdentity(pszPath1, &a) && GetFileIdentity(pszPath2, &b) &&
                    a.volume == b.volume && a.indexHigh == b.indexHigh &&
                    a.indexLow == b.indexLow;
  SetLastError(error);
  return same;
}

void ReportLastError(const char* pszWhat) {
  const DWORD error = GetLastError();
  char* system = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error, 0, reinterpret_cast<char*>(&system), 0, nullptr);
  const std::unique_ptr<char, LocalDeleter> text(system);
  if (length != 0 && text) {
    AfxMessageBox(text.get(), MB_ICONERROR);
    return;
  }
  char own[512];
  wsprintfA(own, "%.400s (Error %lu)", pszWhat, error);
  AfxMessageBox(own, MB_ICONERROR);
}

BOOL CProfileView::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
  static const CCommandEntry<CProfileView> kCommands[] = {
      {ID_FILE_OPEN, &CProfileView::OnFileOpen, nullptr},
      {ID_FILE_SAVE, &CProfileView::OnFileSave, &CProfileView::OnUpdateFileSave},
      {ID_EDIT_COPY, &CProfileView::OnEditCopy, &CProfileView::OnUpdateEditCutCopy},
      {ID_EDIT_CUT, &CProfileView::OnEditCut, &CProfileView::OnUpdateEditCutCopy},
      {ID_EDIT_PASTE, &CProfileView::OnEditPaste, &CProfileView::OnUpdateEditPaste},
      {ID_EDIT_UNDO, &CProfileView::OnEditUndo, &CProfileView::OnUpdateEditUndo},
      {ID_FILE_SAVE_AS, &CProfileView::OnFileSaveAs, &CProfileView::OnUpdateFileSaveAs},
  };
  return DispatchCommand(this, kCommands, nID, pCmdUI);
}

// File commands.

void CProfileView::OnFileOpen() {
  CFileDialog dlg(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST, kFilter);
  if (dlg.DoModal() != IDOK) return;
  std::string strPathName = dlg.GetPathName();
  std::string strFileName = dlg.GetFileName();

  // Everything a Read may touch belongs to the previous profile until the Read has
  // succeeded; a failed one puts all of it back, so the document never mixes two profiles.
  std::string strDescription;
  const DWORD cbStored = m_descTag.m_cbStored;
  const BOOL bUnicode = m_descTag.m_bUnicode;
  const BOOL bReadOnly = m_bReadOnly;
  std::swap(strPathName, m_strPathName);
  std::swap(strFileName, m_strFileName);
  std::swap(strDescription, m_strDescription);
  m_bReadOnly = dlg.GetReadOnlyPref();
  auto restore = [&] {
    const DWORD error = GetLastError();
    std::swap(strPathName, m_strPathName);
    std::swap(strFileName, m_strFileName);
    std::swap(strDescription, m_strDescription);
    m_bReadOnly = bReadOnly;
    m_descTag.m_cbStored = cbStored;
    m_descTag.m_bUnicode = bUnicode;
    SetLastError(error);
  };

  BOOL read = FALSE;
  try {
    read = m_descTag.Read(m_strPathName.c_str(), m_strDescription);
  } catch (...) {
    restore();
    throw;
  }
  if (!read) {
    restore();
    ReportLastError("The profile could not be read.");
    return;
  }

  m_wndEdit.SetWindowText(m_strDescription.c_str());
  // Setting the text raised a change notification; the profile is clean all the same.
  m_bModified = FALSE;
  m_bChanged = FALSE;
  Invalidate(TRUE);
}

BOOL CProfileView::StoreDescription(const char* pszPath) {
  return m_descTag.Build(m_strDescription.c_str()) && m_descTag.Write(pszPath);
}

void CProfileView::OnFileSave() {
  m_strDescription = m_wndEdit.GetWindowText();
  if (!StoreDescription(m_strPathName.c_str())) {
    ReportLastError("The profile could not be saved.");
    return;
  }
  m_bModified = FALSE;
  m_bChanged = FALSE;
}

void CProfileView::OnFileSaveAs() {
  CFileDialog dlg(FALSE, "icc", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter);
  if (dlg.DoModal() != IDOK) return;
  std::string strNewPath = dlg.GetPathName();
  std::string strNewName = dlg.GetFileName();
  m_strDescription = m_wndEdit.GetWindowText();

  // Another spelling of the current profile names the same file: it is written in place,
  // never copied onto itself, and never deleted when the write fails.
  const bool bCopy = !IsSameFile(m_strPathName.c_str(), strNewPath.c_str());
  CopiedFile copy(bCopy ? strNewPath : std::string());
  if (bCopy && !CopyFileA(m_strPathName.c_str(), strNewPath.c_str(), FALSE)) {
    copy.Keep();  // nothing was made; whatever is at the new path is not ours
    ReportLastError("The profile could not be copied.");
    return;
  }
  if (!StoreDescription(strNewPath.c_str())) {
    copy.Discard();
    ReportLastError("The profile could not be saved.");
    return;
  }
  copy.Keep();
  m_bChanged = FALSE;
  m_bModified = FALSE;
  std::swap(m_strPathName, strNewPath);
  std::swap(m_strFileName, strNewName);
  Invalidate(TRUE);
}

void CProfileView::OnChangeEdit() {
  if (m_strFileName.empty()) return;
  m_bChanged = TRUE;
  if (!m_bReadOnly) m_bModified = TRUE;
}

void CProfileView::OnUpdateFileSave(CCmdUI* pCmdUI) { pCmdUI->Enable(m_bModified); }
void CProfileView::OnUpdateFileSaveAs(CCmdUI* pCmdUI) { pCmdUI->Enable(m_bChanged); }

// Edit commands.

void CProfileView::OnEditCopy() { m_wndEdit.SendMessage(WM_COPY); }
void CProfileView::OnEditCut() { m_wndEdit.SendMessage(WM_CUT); }
void CProfileView::OnEditPaste() { m_wndEdit.SendMessage(WM_PASTE); }
void CProfileView::OnEditUndo() { m_wndEdit.SendMessage(EM_UNDO); }

void CProfileView::OnUpdateEditCutCopy(CCmdUI* pCmdUI) {
  pCmdUI->Enable(!m_strDescription.empty());
}

void CProfileView::OnUpdateEditPaste(CCmdUI* pCmdUI) {
  pCmdUI->Enable(IsClipboardFormatAvailable(CF_TEXT) && !m_strDescription.empty());
}

void CProfileView::OnUpdateEditUndo(CCmdUI* pCmdUI) {
  pCmdUI->Enable(m_wndEdit.m_hWnd && m_wndEdit.SendMessage(EM_CANUNDO) != 0);
}

// The window.

BOOL CProfileView::PreCreateWindow(CREATESTRUCTA& cs) {
  if (!CWnd::PreCreateWindow(cs)) return FALSE;
  cs.dwExStyle |= WS_EX_CLIENTEDGE;
  cs.style &= ~WS_BORDER;
  cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                                     LoadCursorA(nullptr, IDC_ARROW),
                                     reinterpret_cast<HBRUSH>(COLOR_GRAYTEXT + 1), nullptr);
  return cs.lpszClass != nullptr;
}

int CProfileView::OnCreate(CREATESTRUCTA* pCreate) {
  if (CWnd::OnCreate(pCreate) == -1) return -1;
  const RECT rc = {20, 60, 360, 160};
  m_wndEdit.Create(WS_EX_CLIENTEDGE,
                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_AUTOVSCROLL | ES_MULTILINE, rc, this,
                   IDC_DESCRIPTION);
  return 0;
}

void CProfileView::OnPaint() {
  CPaintDC dc(this);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(20, 14, "Filename: ");
  dc.TextOut(20, 34, "Description:");
  if (!m_strFileName.empty()) dc.TextOut(100, 14, m_strFileName);
}

void CProfileView::OnSetFocus(HWND hOldWnd) {
  CWnd::OnSetFocus(hOldWnd);
  if (m_wndEdit.m_hWnd) m_wndEdit.SetFocus();
}

void CProfileView::OnSize(UINT nType, int cx, int cy) { CWnd::OnSize(nType, cx, cy); }

BOOL CProfileView::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) == IDC_DESCRIPTION && HIWORD(wParam) == EN_CHANGE &&
      reinterpret_cast<HWND>(lParam) == m_wndEdit.m_hWnd) {
    OnChangeEdit();
    return TRUE;
  }
  return FALSE;
}
