#include "TagwrightApp.h"

#include <vector>

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

namespace {

// The module's version resource, empty when it has none.
std::vector<BYTE> VersionResource(HMODULE hModule) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(hModule, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return {};
  DWORD ignored = 0;
  std::vector<BYTE> version(GetFileVersionInfoSizeW(path, &ignored));
  if (version.empty() || !GetFileVersionInfoW(path, 0, DWORD(version.size()), version.data()))
    return {};
  return version;
}

}  // namespace

std::wstring CAboutDlg::VersionLine(HMODULE hModule) {
  std::vector<BYTE> version = VersionResource(hModule);
  void* pValue = nullptr;
  UINT cbValue = 0;
  std::wstring line = AfxWiden(AfxLoadString(AFX_IDS_APP_TITLE));
  if (!version.empty() && VerQueryValueW(version.data(), L"\\", &pValue, &cbValue) &&
      cbValue >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* pInfo = static_cast<const VS_FIXEDFILEINFO*>(pValue);
    line += L" " + std::to_wstring(HIWORD(pInfo->dwFileVersionMS)) + L"." +
            std::to_wstring(LOWORD(pInfo->dwFileVersionMS)) + L"." +
            std::to_wstring(HIWORD(pInfo->dwFileVersionLS)) + L"." +
            std::to_wstring(LOWORD(pInfo->dwFileVersionLS));
  }
  return line;
}

std::wstring CAboutDlg::CopyrightLine(HMODULE hModule) {
  std::vector<BYTE> version = VersionResource(hModule);
  void* pValue = nullptr;
  UINT cchValue = 0;
  if (version.empty() ||
      !VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\LegalCopyright", &pValue,
                      &cchValue) ||
      cchValue == 0)
    return {};
  return static_cast<const wchar_t*>(pValue);
}

BOOL CAboutDlg::OnInitDialog() {
  const HMODULE hModule = AfxGetInstanceHandle();
  SetDlgItemTextW(m_hWnd, IDC_ABOUT_VERSION, VersionLine(hModule).c_str());
  SetDlgItemTextW(m_hWnd, IDC_ABOUT_COPYRIGHT, CopyrightLine(hModule).c_str());
  CenterWindow();
  return TRUE;
}
