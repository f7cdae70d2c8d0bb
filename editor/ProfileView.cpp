#include "ProfileView.h"

#include <memory>
#include <utility>

#include "Resource.h"
#include "colour_service.h"
#include "file_commit.h"

namespace {

const char kFilter[] = "ICC/ICM profiles (*.icc,*.icm) |*.icc;*.icm|";
const char kChangedQuestion[] =
    "The profile was changed by another program since it was opened. Save your description "
    "into it anyway?";

struct LocalDeleter {
  void operator()(wchar_t* p) const { LocalFree(p); }
};

// A file that Save As made and deletes again unless the command keeps it.  The deletion
// leaves the last-error value of the failure that caused it.
class CTemporaryFile {
 public:
  explicit CTemporaryFile(const std::wstring& path) : m_path(path) {}
  ~CTemporaryFile() {
    if (m_path.empty()) return;
    const DWORD error = GetLastError();
    SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(m_path.c_str());
    SetLastError(error);
  }
  CTemporaryFile(const CTemporaryFile&) = delete;
  CTemporaryFile& operator=(const CTemporaryFile&) = delete;

  void Keep() { m_path.clear(); }

 private:
  std::wstring m_path;
};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

CFileStamp CFileStamp::Of(const std::wstring& strPath) {
  CFileStamp stamp;
  const DWORD error = GetLastError();
  const HANDLE h = CreateFileW(strPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info)) {
    stamp.m_bValid = TRUE;
    stamp.m_cbSize = (ULONGLONG(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.m_ftWritten = info.ftLastWriteTime;
    stamp.m_dwVolume = info.dwVolumeSerialNumber;
    stamp.m_nIndexHigh = info.nFileIndexHigh;
    stamp.m_nIndexLow = info.nFileIndexLow;
  }
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  SetLastError(error);
  return stamp;
}

bool CFileStamp::SameFile(const CFileStamp& other) const {
  return m_bValid && other.m_bValid && m_dwVolume == other.m_dwVolume &&
         m_nIndexHigh == other.m_nIndexHigh && m_nIndexLow == other.m_nIndexLow;
}

bool CFileStamp::operator==(const CFileStamp& other) const {
  if (!m_bValid || !other.m_bValid) return m_bValid == other.m_bValid;
  return SameFile(other) && m_cbSize == other.m_cbSize &&
         CompareFileTime(&m_ftWritten, &other.m_ftWritten) == 0;
}

bool IsSameFile(const std::wstring& strPath1, const std::wstring& strPath2) {
  return strPath1 == strPath2 || CFileStamp::Of(strPath1).SameFile(CFileStamp::Of(strPath2));
}

void ReportFileError(const std::wstring& strFileName, const char* pszVerb) {
  const DWORD error = GetLastError();
  std::wstring text;
  if (error == ERROR_INVALID_PROFILE) {
    text = strFileName + L" is not a valid ICC profile or is damaged (error 2011)";
  } else if (error == ERROR_TAG_NOT_FOUND) {
    text = strFileName + L" has no description tag (error 2012)";
  } else {
    wchar_t* system = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalDeleter> owned(system);
    std::wstring said = length != 0 && system ? std::wstring(system, length) : std::wstring();
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' '))
      said.pop_back();
    if (!said.empty())
      text = strFileName + L": " + said;
    else
      text = strFileName + L" could not be " + AfxWiden(pszVerb) + L" (error " +
             std::to_wstring(error) + L")";
  }
  AfxMessageBox(text, MB_ICONERROR);
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
  std::wstring strPathName = dlg.GetPathName();
  std::wstring strFileName = dlg.GetFileName();

  // Everything a Read may touch belongs to the previous profile until the Read has
  // succeeded; a failed one puts all of it back, so the document never mixes two profiles.
  std::wstring strDescription;
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

  // Taken before the read: a change in between is noticed at the next save.
  const CFileStamp stamp = CFileStamp::Of(m_strPathName);
  BOOL read = FALSE;
  try {
    read = m_descTag.Read(m_strPathName.c_str(), m_strDescription);
  } catch (...) {
    restore();
    throw;
  }
  if (!read) {
    const std::wstring strFailed = m_strFileName;
    restore();
    ReportFileError(strFailed, "opened");
    return;
  }

  m_stamp = stamp;
  SetWrapping(!HasLongLine(m_strDescription.c_str(), kWrapLimit), &m_strDescription);
  // Setting the text raised a change notification; the profile is clean all the same.
  m_bModified = FALSE;
  m_bChanged = FALSE;
  Invalidate(TRUE);
}

BOOL CProfileView::ConfirmUnchanged() {
  const CFileStamp now = CFileStamp::Of(m_strPathName);
  // A file that is gone is not asked about: the save reports it.
  if (!now.m_bValid || now == m_stamp) return TRUE;
  return AfxMessageBox(kChangedQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

BOOL CProfileView::StoreDescription(const std::wstring& strPath) {
  std::wstring strStored;
  return m_descTag.Read(strPath.c_str(), strStored) && m_descTag.Build(m_strDescription.c_str()) &&
         m_descTag.Write(strPath.c_str());
}

BOOL CProfileView::StoreCopy(const std::wstring& strTarget, const std::wstring& strTargetName,
                             std::wstring* pstrFailed) {
  *pstrFailed = strTargetName;
  const std::wstring target = colour::FinalPathName(strTarget);
  std::wstring temp;
  const DWORD error = colour::CreateTemporaryFile(target, &temp);
  if (error != ERROR_SUCCESS) return Fail(error);
  CTemporaryFile staged(temp);

  if (!CopyFileW(m_strPathName.c_str(), temp.c_str(), FALSE)) {
    if (GetFileAttributesW(m_strPathName.c_str()) == INVALID_FILE_ATTRIBUTES)
      *pstrFailed = m_strFileName;
    return FALSE;
  }
  // The copy of a read-only profile is the user's new file, to be written.
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::wstring strStored;
  if (!m_descTag.Read(temp.c_str(), strStored)) {
    *pstrFailed = m_strFileName;  // what was copied is the current profile
    return FALSE;
  }
  if (!m_descTag.Build(m_strDescription.c_str()) || !m_descTag.Write(temp.c_str())) return FALSE;

  bool keep = false;
  const DWORD replaced = colour::ReplaceWithFile(target, temp, &keep);
  if (replaced != ERROR_SUCCESS && !keep) return Fail(replaced);
  staged.Keep();
  return replaced == ERROR_SUCCESS ? TRUE : Fail(replaced);
}

void CProfileView::OnFileSave() {
  m_strDescription = m_wndEdit.GetWindowTextWide();
  if (!ConfirmUnchanged()) return;
  if (!StoreDescription(m_strPathName)) {
    ReportFileError(m_strFileName, "saved");
    return;
  }
  m_stamp = CFileStamp::Of(m_strPathName);
  m_bModified = FALSE;
  m_bChanged = FALSE;
}

void CProfileView::OnFileSaveAs() {
  CFileDialog dlg(FALSE, "icc", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter);
  if (dlg.DoModal() != IDOK) return;
  std::wstring strNewPath = dlg.GetPathName();
  std::wstring strNewName = dlg.GetFileName();
  m_strDescription = m_wndEdit.GetWindowTextWide();
  if (!ConfirmUnchanged()) return;

  const DWORD attributes = GetFileAttributesW(strNewPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    AfxMessageBox(strNewName +
                      L" is read-only and was not replaced. Save under another name, or clear "
                      L"the file's read-only attribute first.",
                  MB_ICONERROR);
    return;
  }

  // Another spelling of the current profile names the same file: it is written in place.
  std::wstring strFailed = strNewName;
  const BOOL stored = IsSameFile(m_strPathName, strNewPath)
                          ? StoreDescription(strNewPath)
                          : StoreCopy(strNewPath, strNewName, &strFailed);
  if (!stored) {
    ReportFileError(strFailed, "saved");
    return;
  }
  m_bChanged = FALSE;
  m_bModified = FALSE;
  std::swap(m_strPathName, strNewPath);
  std::swap(m_strFileName, strNewName);
  m_stamp = CFileStamp::Of(m_strPathName);
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
void CProfileView::OnEditPaste() {
  // A long line wraps at a cost that grows with its square: such text is shown unwrapped.
  if (OpenClipboard(m_hWnd)) {
    bool bLong = false;
    if (const HANDLE hText = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* pszText = static_cast<const wchar_t*>(GlobalLock(hText))) {
        bLong = HasLongLine(pszText, kWrapLimit);
        GlobalUnlock(hText);
      }
    }
    CloseClipboard();
    if (bLong) SetWrapping(FALSE, nullptr);
  }
  m_wndEdit.SendMessage(WM_PASTE);
}
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
  CreateEdit(TRUE);
  return 0;
}

BOOL CProfileView::CreateEdit(BOOL bWrap) {
  const RECT rc = {AfxScale(20), AfxScale(60), AfxScale(360), AfxScale(160)};
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_AUTOVSCROLL | ES_MULTILINE;
  if (!bWrap) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  if (!m_wndEdit.Create(WS_EX_CLIENTEDGE, style, rc, this, IDC_DESCRIPTION)) return FALSE;
  // As much text as memory holds, not the control's 30,000 characters.
  m_wndEdit.SendMessage(EM_SETLIMITTEXT, 0);
  return TRUE;
}

void CProfileView::SetWrapping(BOOL bWrap, const std::wstring* pstrText) {
  const HWND hOld = m_wndEdit.m_hWnd;
  if (!hOld || ((GetWindowLongA(hOld, GWL_STYLE) & ES_AUTOHSCROLL) == 0) == (bWrap != FALSE)) {
    if (pstrText) m_wndEdit.SetWindowTextWide(*pstrText);
    return;
  }
  const std::wstring strText = pstrText ? *pstrText : m_wndEdit.GetWindowTextWide();
  DWORD dwStart = 0;
  DWORD dwEnd = 0;
  m_wndEdit.SendMessage(EM_GETSEL, WPARAM(&dwStart), LPARAM(&dwEnd));
  // Right after a dialog the focus may not have come back yet; it comes to the edit box.
  const HWND hFocus = GetFocus();
  const bool focused = hFocus == hOld || hFocus == nullptr || hFocus == m_hWnd;
  const BOOL bModified = m_bModified;
  const BOOL bChanged = m_bChanged;
  m_wndEdit.m_hWnd = nullptr;
  if (!CreateEdit(bWrap)) {
    m_wndEdit.m_hWnd = hOld;
    return;
  }
  ::DestroyWindow(hOld);
  // The text moves over unchanged: no change of the document.
  m_wndEdit.SetWindowTextWide(strText);
  m_bModified = bModified;
  m_bChanged = bChanged;
  if (!pstrText) m_wndEdit.SendMessage(EM_SETSEL, dwStart, dwEnd);
  if (focused) m_wndEdit.SetFocus();
}



void CProfileView::OnPaint() {
  CPaintDC dc(this);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut(AfxScale(20), AfxScale(14), "Filename: ");
  dc.TextOut(AfxScale(20), AfxScale(34), "Description:");
  if (!m_strFileName.empty()) dc.TextOut(AfxScale(100), AfxScale(14), m_strFileName);
}

void CProfileView::OnSetFocus(HWND hOldWnd) {
  CWnd::OnSetFocus(hOldWnd);
  if (m_wndEdit.m_hWnd) m_wndEdit.SetFocus();
}

void CProfileView::OnSize(UINT nType, int cx, int cy) { CWnd::OnSize(nType, cx, cy); }

BOOL CProfileView::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != IDC_DESCRIPTION || reinterpret_cast<HWND>(lParam) != m_wndEdit.m_hWnd)
    return FALSE;
  switch (HIWORD(wParam)) {
    case EN_CHANGE:
      OnChangeEdit();
      return TRUE;
    case EN_MAXTEXT:
      AfxMessageBox("The description cannot take more text. What was typed or pasted was not "
                    "added in full.", MB_ICONWARNING);
      return TRUE;
    default:
      return FALSE;
  }
}
