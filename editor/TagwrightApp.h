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

// The About box, dialog resource 100: the version and the copyright line of the program's
// version resource, centred on the main window.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override = default;

  // "Tagwright 1.0.0.1" and "Copyright ...", from the version resource of the module.
  static std::wstring VersionLine(HMODULE hModule);
  static std::wstring CopyrightLine(HMODULE hModule);

 protected:
  void DoDataExchange() override {}
  BOOL OnInitDialog() override;
};
