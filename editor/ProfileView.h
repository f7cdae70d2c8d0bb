// CProfileView: the view of the open profile.  It holds the document state, carries out
// Open, Save and Save As with the description codec, and the edit commands on its edit box.
#pragma once

#include <string>

#include "DescriptionTag.h"
#include "framework/Framework.h"

class CProfileView : public CWnd {
 public:
  CProfileView() = default;
  ~CProfileView() override = default;

  BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;

  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
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
  std::string m_strFileName;
  CDescriptionTag m_descTag;
  BOOL m_bModified = FALSE;  // changed, and the profile may be written in place
  CEdit m_wndEdit;
  std::string m_strDescription;  // as last read or saved, not as typed since
  std::string m_strPathName;

 protected:
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  int OnCreate(CREATESTRUCTA* pCreate) override;
  void OnPaint() override;
  void OnSetFocus(HWND hOldWnd) override;
  void OnSize(UINT nType, int cx, int cy) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 private:
  // Builds the tag from m_strDescription and writes it into pszPath.
  BOOL StoreDescription(const char* pszPath);
};

// The error box of a failed file command: the system's text for the last-error value, or,
// where the system has none, pszWhat with the code.
void ReportLastError(const char* pszWhat);

// Whether two paths name the same existing file, by volume and file index.
bool IsSameFile(const char* pszPath1, const char* pszPath2);
