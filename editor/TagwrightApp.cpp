#include "TagwrightApp.h"

#include "MainFrm.h"
#include "Resource.h"

BOOL CTagwrightApp::InitInstance() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  SetRegistryKey("Veltro programs");

  auto* pFrame = new CMainFrame;
  m_pMainWnd = pFrame;
  if (!pFrame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) {
    // A frame whose window was made and failed has already deleted itself.
    delete static_cast<CMainFrame*>(m_pMainWnd);
    m_pMainWnd = nullptr;
    return FALSE;
  }
  pFrame->ShowWindow(SW_SHOW);
  pFrame->UpdateWindow();
  return TRUE;
}

BOOL CTagwrightApp::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
  static const CCommandEntry<CTagwrightApp> kCommands[] = {
      {ID_APP_ABOUT, &CTagwrightApp::OnAppAbout, nullptr},
  };
  return DispatchCommand(this, kCommands, nID, pCmdUI) || CWinApp::OnCmdMsg(nID, pCmdUI);
}

void CTagwrightApp::OnAppAbout() {
  CAboutDlg aboutDlg;
  aboutDlg.DoModal();
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
