#include "MainFrm.h"

#include <utility>

#include "Resource.h"

namespace {

const UINT kIndicators[] = {0, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

}  // namespace

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs) {
  if (!CFrameWnd::PreCreateWindow(cs)) return FALSE;
  cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
  cs.cx = AfxScale(400);
  cs.cy = AfxScale(300);
  cs.lpszClass = AfxRegisterWndClass(0);
  return cs.lpszClass != nullptr;
}

int CMainFrame::OnCreate(CREATESTRUCTA* pCreate) {
  if (CFrameWnd::OnCreate(pCreate) == -1) return -1;

  const RECT none = {};
  if (!m_wndView.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, none, this,
                          AFX_IDW_PANE_FIRST))
    return -1;
  if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT,
                             WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM |
                                 CBRS_GRIPPER | CBRS_TOOLTIPS | CBRS_FLYBY | CBRS_SIZE_DYNAMIC) ||
      !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
    return -1;
  if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP) ||
      !m_wndStatusBar.SetIndicators(kIndicators, sizeof kIndicators / sizeof kIndicators[0]))
    return -1;

  // The program's icon in the title bar, the taskbar and Alt+Tab.
  const HINSTANCE hInst = AfxGetInstanceHandle();
  for (const auto& icon : {std::make_pair(ICON_BIG, SM_CXICON), std::make_pair(ICON_SMALL, SM_CXSMICON)}) {
    const int cx = GetSystemMetrics(icon.second);
    SendMessage(WM_SETICON, icon.first,
                LPARAM(LoadImageA(hInst, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, cx, cx, LR_SHARED)));
  }

  m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
  EnableDocking(CBRS_ALIGN_ANY);
  DockControlBar(&m_wndToolBar);
  return 0;
}

void CMainFrame::OnSetFocus(HWND) {
  if (m_wndView.m_hWnd) m_wndView.SetFocus();
}

BOOL CMainFrame::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
  if (m_wndView.m_hWnd && m_wndView.OnCmdMsg(nID, pCmdUI)) return TRUE;
  return CFrameWnd::OnCmdMsg(nID, pCmdUI);
}

BOOL CMainFrame::CanCloseFrame() { return !m_wndView.m_hWnd || m_wndView.SaveModified(); }
