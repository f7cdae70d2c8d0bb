#include "ProfileView.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "ProfileCheck.h"
#include "Resource.h"
#include "colour_service.h"
#include "doctor.h"
#include "file_commit.h"

namespace {

const char kFilter[] = "ICC/ICM profiles (*.icc,*.icm) |*.icc;*.icm|";
const char kChangedQuestion[] =
    "The profile was changed by another program since it was opened. Save your description "
    "into it anyway?";

struct LocalDeleter {
  void operator()(wchar_t* p) const { LocalFree(p); }
};

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The file, or its folder, is no longer where it was.
bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

struct HandleCloser {
  void operator()(HANDLE h) const {
    const DWORD error = GetLastError();
    CloseHandle(h);
    SetLastError(error);
  }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

FileHandle OpenFile(const std::wstring& path, DWORD access, DWORD disposition) {
  const HANDLE h = CreateFileW(path.c_str(), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// The whole file; FALSE with the last-error value on failure.
BOOL ReadWholeFile(const std::wstring& path, std::vector<BYTE>* bytes) {
  const FileHandle file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  LARGE_INTEGER size;
  if (!file || !GetFileSizeEx(file.get(), &size)) return FALSE;
  if (ULONGLONG(size.QuadPart) > SIZE_MAX) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  bytes->resize(std::size_t(size.QuadPart));
  for (std::size_t done = 0; done < bytes->size();) {
    const std::size_t left = bytes->size() - done;
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes->data() + done, left > 0x10000000 ? 0x10000000 : DWORD(left),
                  &got, nullptr))
      return FALSE;
    if (got == 0) return Fail(ERROR_HANDLE_EOF);
    done += got;
  }
  return TRUE;
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

namespace {

// Why a save failed and what the user can do, for the errors a person can act on.
struct SaveFailure {
  DWORD error;
  const wchar_t* pszWhy;
  const wchar_t* pszSaveAdvice;    // the current profile could not be written
  const wchar_t* pszSaveAsAdvice;  // the new file could not be made
};

const SaveFailure kSaveFailures[] = {
    {ERROR_ACCESS_DENIED, L"you are not allowed to change this file or its folder",
     L"Use Save As to save the profile in a folder of your own, such as Documents.",
     L"Save it in a folder of your own, such as Documents."},
    {ERROR_SHARING_VIOLATION, L"another program is using the file",
     L"Close that program and save again, or use Save As to save the profile under another "
     L"name.",
     L"Close that program and save again, or save under another name."},
    {ERROR_LOCK_VIOLATION, L"another program has locked the file",
     L"Close that program and save again, or use Save As to save the profile under another "
     L"name.",
     L"Close that program and save again, or save under another name."},
    {ERROR_FILE_NOT_FOUND,
     L"the file is no longer there; another program deleted, moved or renamed it after it was "
     L"opened",
     L"Use Save As to save the profile as it was opened, with your description.",
     L"Choose the folder and the name again."},
    {ERROR_DIRECTORY, L"its folder does not exist",
     L"Use Save As to save the profile as it was opened, with your description.",
     L"Choose an existing folder."},
    {ERROR_PATH_NOT_FOUND, L"its folder does not exist",
     L"Use Save As to save the profile as it was opened, with your description.",
     L"Choose an existing folder."},
    {ERROR_DISK_FULL, L"the disk is full",
     L"Make room on the disk and save again, or use Save As to save on another disk.",
     L"Make room on the disk and save again, or save on another disk."},
    {ERROR_HANDLE_DISK_FULL, L"the disk is full",
     L"Make room on the disk and save again, or use Save As to save on another disk.",
     L"Make room on the disk and save again, or save on another disk."},
    {ERROR_WRITE_PROTECT, L"the disk is write-protected",
     L"Use Save As to save the profile on another disk.", L"Save on another disk."},
};

std::wstring SystemText(DWORD error) {
  wchar_t* system = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&system), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalDeleter> owned(system);
  std::wstring said = length != 0 && system ? std::wstring(system, length) : std::wstring();
  while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' '))
    said.pop_back();
  return said;
}

}  // namespace

void ReportFileError(const std::wstring& strPath, FileCommand command) {
  const DWORD error = GetLastError();
  const std::wstring strFileName = strPath.substr(strPath.find_last_of(L"\\/:") + 1);
  std::wstring text;
  if (error == ERROR_INVALID_PROFILE || error == ERROR_TAG_NOT_FOUND) {
    const icc::Status status =
        error == ERROR_INVALID_PROFILE ? icc::Status::InvalidProfile : icc::Status::TagNotFound;
    text = strFileName + L": " + AfxWiden(icc::ResultText({status}, icc::kDescriptionTag)) +
           L" (error " + std::to_wstring(error) + L")";
  } else if (command == FileCommand::kOpen) {
    const std::wstring said = SystemText(error);
    text = said.empty() ? strFileName + L" could not be opened (error " + std::to_wstring(error) + L")"
                        : strFileName + L": " + said;
  } else {
    const SaveFailure* pFailure = nullptr;
    for (const SaveFailure& failure : kSaveFailures)
      if (failure.error == error) pFailure = &failure;
    std::wstring why = pFailure ? pFailure->pszWhy : SystemText(error);
    if (!why.empty() && why.back() == L'.') why.pop_back();
    if (why.empty()) why = L"error " + std::to_wstring(error);
    std::wstring advice = !pFailure ? L"Save again, or save under another name."
                          : command == FileCommand::kSave ? pFailure->pszSaveAdvice
                                                          : pFailure->pszSaveAsAdvice;
    // A file that refuses writing because of its read-only attribute says so.
    const DWORD attributes = GetFileAttributesW(strPath.c_str());
    if (error == ERROR_ACCESS_DENIED && command == FileCommand::kSave &&
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      why = L"the file is read-only";
      advice = L"Clear its read-only attribute (Properties in Explorer) and save again, or use "
               L"Save As to save the profile under another name.";
    }
    if (!pFailure && command == FileCommand::kSave)
      advice = L"Save again, or use Save As to save the profile under another name.";
    text = strFileName + L" was not saved: " + why + L".\n\n" + advice;
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
      {ID_FILE_CHECK, &CProfileView::OnFileCheck, &CProfileView::OnUpdateFileCheck},
  };
  return DispatchCommand(this, kCommands, nID, pCmdUI);
}

// File commands.

BOOL CProfileView::SaveModified() {
  if (!m_bChanged) return TRUE;
  switch (AfxMessageBox(L"Save changes to " + m_strFileName + L"?",
                        MB_YESNOCANCEL | MB_ICONWARNING)) {
    case IDYES:
      // Save where Save may write; a profile opened read-only goes through Save As.
      return m_bModified ? DoFileSave() : DoFileSaveAs();
    case IDNO:
      return TRUE;
    default:
      return FALSE;
  }
}

void CProfileView::OnFileOpen() {
  if (!SaveModified()) return;
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
  std::vector<BYTE> bytes;
  BOOL read = FALSE;
  try {
    read = ReadWholeFile(m_strPathName, &bytes) && m_descTag.Read(bytes, m_strDescription);
  } catch (...) {
    restore();
    throw;
  }
  if (!read) {
    const std::wstring strFailed = m_strPathName;
    restore();
    ReportFileError(strFailed, FileCommand::kOpen);
    return;
  }

  m_stamp = stamp;
  m_fileBytes.swap(bytes);
  SetWrapping(!HasLongLine(m_strDescription.c_str(), kWrapLimit), &m_strDescription);
  // Setting the text raised a change notification; the profile is clean all the same.
  m_bModified = FALSE;
  m_bChanged = FALSE;
  Invalidate(TRUE);
  // A profile with errors says so where the user looks next.
  // The bytes just read are checked: File > Check Profile reads the file as it is then.
  icc::CheckReport report;
  icc::MemoryFile file(m_fileBytes);
  if (doctor::CheckProfile(file, &report).ok()) {
    const std::string message = HealthMessage(report);
    if (auto* pFrame = dynamic_cast<CFrameWnd*>(AfxGetMainWnd()); pFrame && !message.empty())
      pFrame->SetMessageText(message.c_str());
  }
}

void CProfileView::OnFileCheck() {
  icc::CheckReport report;
  if (!CheckProfileFile(m_strPathName, &report)) {
    ReportFileError(m_strPathName, FileCommand::kOpen);  // it could not be read
    return;
  }
  CFindingsDlg dlg(FindingsText(m_strFileName, report), this);
  dlg.DoModal();
}

void CProfileView::OnUpdateFileCheck(CCmdUI* pCmdUI) { pCmdUI->Enable(!m_strFileName.empty()); }

BOOL CProfileView::ConfirmUnchanged(const std::wstring* pstrCopyName) {
  const CFileStamp now = CFileStamp::Of(m_strPathName);
  // A file that is gone is not asked about: Save reports it, Save As uses what Open read.
  if (!now.m_bValid || now == m_stamp) return TRUE;
  if (!pstrCopyName)
    return AfxMessageBox(kChangedQuestion, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
  const std::wstring question =
      m_strFileName +
      L" was changed or replaced by another program since it was opened, and may now hold "
      L"another profile.\n\nSave As will copy the file as it is now, not as it was opened, to " +
      *pstrCopyName + L", with your description. Continue?";
  return AfxMessageBox(question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

BOOL CProfileView::StoreDescription(const std::wstring& strPath) {
  std::wstring strStored;
  return m_descTag.Read(strPath.c_str(), strStored) && m_descTag.Build(m_strDescription.c_str()) &&
         m_descTag.Write(strPath.c_str());
}

// The copy is made in memory from the file as it is now (or, when it is gone, from the
// profile as it was opened), given the description there, and written beside the target
// to replace it in one step: a copy of a read-only profile is a new, writable file.
BOOL CProfileView::StoreCopy(const std::wstring& strTarget, std::wstring* pstrFailed) {
  *pstrFailed = m_strPathName;
  std::vector<BYTE> bytes;
  if (!ReadWholeFile(m_strPathName, &bytes)) {
    const DWORD error = GetLastError();
    if (!IsGone(error) || m_fileBytes.empty()) return Fail(error);
    bytes = m_fileBytes;
  }
  std::unique_ptr<icc::Profile> profile;
  const icc::Result opened = icc::Profile::Open(std::make_unique<icc::MemoryFile>(bytes), &profile);
  if (!opened.ok()) return Fail(colour::ToWin32(opened));
  icc::ProfileTags tags(*profile);
  std::wstring strStored;
  if (!m_descTag.Read(tags, strStored)) return FALSE;

  *pstrFailed = strTarget;
  if (!m_descTag.Build(m_strDescription.c_str()) || !m_descTag.Write(tags)) return FALSE;
  const icc::Result saved = colour::ReplaceProfile(strTarget, *profile);
  return saved.ok() ? TRUE : Fail(colour::ToWin32(saved));
}

void CProfileView::OnFileSave() { DoFileSave(); }
void CProfileView::OnFileSaveAs() { DoFileSaveAs(); }

BOOL CProfileView::DoFileSave() {
  m_strDescription = m_wndEdit.GetWindowTextWide();
  if (!ConfirmUnchanged(nullptr)) return FALSE;
  if (!StoreDescription(m_strPathName)) {
    ReportFileError(m_strPathName, FileCommand::kSave);
    return FALSE;
  }
  m_stamp = CFileStamp::Of(m_strPathName);
  m_bModified = FALSE;
  m_bChanged = FALSE;
  return TRUE;
}

BOOL CProfileView::DoFileSaveAs() {
  CFileDialog dlg(FALSE, "icc", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kFilter);
  if (dlg.DoModal() != IDOK) return FALSE;
  std::wstring strNewPath = dlg.GetPathName();
  std::wstring strNewName = dlg.GetFileName();
  m_strDescription = m_wndEdit.GetWindowTextWide();
  if (!ConfirmUnchanged(&strNewName)) return FALSE;

  const DWORD attributes = GetFileAttributesW(strNewPath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    AfxMessageBox(strNewName +
                      L" is read-only and was not replaced. Save under another name, or clear "
                      L"the file's read-only attribute first.",
                  MB_ICONERROR);
    return FALSE;
  }

  // Another spelling of the current profile names the same file: it is written in place.
  std::wstring strFailed = strNewPath;
  const BOOL bInPlace = IsSameFile(m_strPathName, strNewPath) &&
                        CFileStamp::Of(m_strPathName).m_bValid;
  const BOOL stored = bInPlace ? StoreDescription(strNewPath) : StoreCopy(strNewPath, &strFailed);
  if (!stored) {
    ReportFileError(strFailed, strFailed == strNewPath ? FileCommand::kSaveAs : FileCommand::kSave);
    return FALSE;
  }
  m_bChanged = FALSE;
  m_bModified = FALSE;
  std::swap(m_strPathName, strNewPath);
  std::swap(m_strFileName, strNewName);
  m_stamp = CFileStamp::Of(m_strPathName);
  // What later Save As commands copy when this file goes too.
  std::vector<BYTE> bytes;
  if (ReadWholeFile(m_strPathName, &bytes)) m_fileBytes.swap(bytes);
  Invalidate(TRUE);
  return TRUE;
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
  if (const HFONT hFont = AfxGetTextFont()) m_wndEdit.SendMessage(WM_SETFONT, WPARAM(hFont));
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
  if (const HFONT hFont = AfxGetTextFont()) SelectObject(dc.m_hDC, hFont);
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
