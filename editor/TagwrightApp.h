// CTagwrightApp: the application object; start-up creates the main frame.
#pragma once

#include "framework/Framework.h"

class CTagwrightApp : public CWinApp {
 public:
  CTagwrightApp() = default;
  ~CTagwrightApp() override = default;

  BOOL InitInstance() override;
  BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;

  void OnAppAbout();
};

// The About box, dialog resource 100.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override = default;

 protected:
  void DoDataExchange() override {}
};
