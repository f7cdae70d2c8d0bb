// CMainFrame: the main window with the toolbar, the status bar and the view between them.
#pragma once

#include "ProfileView.h"
#include "framework/Framework.h"

class CMainFrame : public CFrameWnd {
 public:
  CMainFrame() = default;
  ~CMainFrame() override = default;

  // The view first, then the frame's own commands and the application's.
  BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;
  // Asks to save a changed description first.
  BOOL CanCloseFrame() override;

  CStatusBar m_wndStatusBar;
  CToolBar m_wndToolBar;
  CProfileView m_wndView;

 protected:
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  int OnCreate(CREATESTRUCTA* pCreate) override;
  void OnSetFocus(HWND hOldWnd) override;
};
