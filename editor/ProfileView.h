// CProfileView: the view of the open profile.  It holds the document state, carries out
// Open, Save and Save As with the description codec, and the edit commands on its edit box.
#pragma once

#include <string>
#include <vector>

#include "DescriptionTag.h"
#include "framework/Framework.h"

// What tells one state of a file on disk from another: its size, its last write and its
// identity (volume and file index).
struct CFileStamp {
  static CFileStamp Of(const std::wstring& strPath);
  bool SameFile(const CFileStamp& other) const;
  bool operator==(const CFileStamp& other) const;
  bool operator!=(const CFileStamp& other) const { return !(*this == other); }

  BOOL m_bValid = FALSE;  // the file could be asked
  ULONGLONG m_cbSize = 0;
  FILETIME m_ftWritten = {};
  DWORD m_dwVolume = 0;
  DWORD m_nIndexHigh = 0;
  DWORD m_nIndexLow = 0;
};

class CProfileView : public CWnd {
 public:
  CProfileView() = default;
  ~CProfileView() override = default;

  BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;

  // Whether the current description may be left behind: when it was changed since the last
  // Open, Save or Save As, asks whether to save it first.  FALSE: the user cancelled, or
  // the save failed or was cancelled; the edit stays.
  BOOL SaveModified();

  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
  void OnFileCheck();
  void OnUpdateFileCheck(CCmdUI* pCmdUI);
  void OnChangeEdit();
  void OnUpdateFileSave(CCmdUI* pCmdUI);
  void OnUpdateFileSaveAs(CCmdUI* pCmdUI);

  void OnEditCopy();
  void OnEditCut();
  void OnEditPaste();
  void OnEditUndo();
  void OnUpdateEditCutCopy(CCmdUI* pCmdUI);
  void OnUpdateEditPaste(CCmdUI* pCmdUI);
  void OnUpdateEditUndo(CCmdUI* pCmdUI);

  BOOL m_bChanged = FALSE;   // text changed since the last Open, Save or Save As
  BOOL m_bReadOnly = FALSE;  // read-only box of the last confirmed Open dialog
  std::wstring m_strFileName;
  CDescriptionTag m_descTag;
  BOOL m_bModified = FALSE;  // changed, and the profile may be written in place
  CEdit m_wndEdit;
  std::wstring m_strDescription;  // as last read or saved, not as typed since
  std::wstring m_strPathName;
  CFileStamp m_stamp;  // the file as last opened or saved
  // The file as Open read it (or as the last Save As made it): Save As still makes a
  // complete profile from it when another program has deleted or moved the file.
  std::vector<BYTE> m_fileBytes;

 protected:
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  int OnCreate(CREATESTRUCTA* pCreate) override;
  void OnPaint() override;
  void OnSetFocus(HWND hOldWnd) override;
  void OnSize(UINT nType, int cx, int cy) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  // The edit box, wrapping its lines or scrolling sideways.
  BOOL CreateEdit(BOOL bWrap);
  // Makes the edit box wrap or not and gives it pstrText (null: the text it has), keeping
  // the document's flags and the selection.
  void SetWrapping(BOOL bWrap, const std::wstring* pstrText);
  // Save and Save As; TRUE when the description was stored.
  BOOL DoFileSave();
  BOOL DoFileSaveAs();
  // Whether the current file is still the one opened or saved last; asks the user before
  // writing into one that another program changed (pstrCopyName: before copying it under
  // that name).  FALSE: the user said no.
  BOOL ConfirmUnchanged(const std::wstring* pstrCopyName);
  // Reads the description tag of the file as it is now, builds the new one from
  // m_strDescription in the same form and writes it into pszPath.
  BOOL StoreDescription(const std::wstring& strPath);
  // Save As to another file: the new content is made beside the target and takes its place
  // only when complete.  It starts from the current file, or from what Open read when that
  // file is gone.  *pstrFailed is the path of the file at fault on failure.
  BOOL StoreCopy(const std::wstring& strTarget, std::wstring* pstrFailed);
};

// Lines longer than this are not wrapped: wrapping one costs time that grows with the
// square of its length.
constexpr std::size_t kWrapLimit = 4096;
// Whether the text has a line of more than cchLimit characters.
template <class Char>
bool HasLongLine(const Char* pszText, std::size_t cchLimit) {
  std::size_t run = 0;
  for (const Char* p = pszText; *p; ++p) {
    run = (*p == '\n' || *p == '\r') ? 0 : run + 1;
    if (run > cchLimit) return true;
  }
  return false;
}

enum class FileCommand { kOpen, kSave, kSaveAs };
// The error box of a failed file command, naming the file at strPath: our words for a damaged profile
// or a missing description; for a save, that the file was not saved, why and what to do;
// else the system's text for the last-error value, else the code.  After Save As, the file
// named is the new one.
void ReportFileError(const std::wstring& strPath, FileCommand command);

// Whether two paths name the same existing file.
bool IsSameFile(const std::wstring& strPath1, const std::wstring& strPath2);
