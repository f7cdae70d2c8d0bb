// The frame window: menu, accelerators, command routing with enable rules, the layout of
// its control bars and the small windows that hold floating bars.
#include <new>

#include "Framework.h"

namespace {

constexpr int kDockZone = 40;  // how near a side a dropped bar must be to dock there

bool Horizontal(DWORD dwSide) { return (dwSide & (CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM)) != 0; }

// The small window a floating bar lives in.  Closing it hides the bar; moving it over a
// side of the frame docks the bar there.
class CMiniDockFrameWnd : public CWnd {
 public:
  explicit CMiniDockFrameWnd(CControlBar* pBar) : m_pBar(pBar) {}

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_CLOSE:
        m_pBar->m_pDockSite->ShowControlBar(m_pBar, FALSE);
        return 0;
      case WM_EXITSIZEMOVE: {
        POINT pt;
        GetCursorPos(&pt);
        if (const DWORD side = m_pBar->m_pDockSite->DockSideAt(m_pBar, pt))
          m_pBar->m_pDockSite->DockControlBar(m_pBar, side);
        return 0;
      }
      case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
      default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
  }
  void PostNcDestroy() override { delete this; }

 private:
  CControlBar* m_pBar;
};

}  // namespace

BOOL CFrameWnd::LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd) {
  const HINSTANCE hInst = AfxGetInstanceHandle();
  const std::string title = AfxLoadString(nIDResource);
  m_hAccelTable = LoadAcceleratorsA(hInst, MAKEINTRESOURCEA(nIDResource));
  HMENU hMenu = LoadMenuA(hInst, MAKEINTRESOURCEA(nIDResource));
  const RECT rect = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
  if (CreateEx(0, nullptr, title.c_str(), dwDefaultStyle & ~FWS_ADDTOTITLE, rect, pParentWnd, 0,
               hMenu))
    return TRUE;
  // A window that was made and failed took its menu along.
  if (hMenu && IsMenu(hMenu)) DestroyMenu(hMenu);
  return FALSE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTA& cs) {
  if (!cs.lpszClass)
    cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                                       reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  cs.cx = cs.cy = CW_USEDEFAULT;
  return cs.lpszClass != nullptr;
}

void CFrameWnd::PostNcDestroy() {
  if (CWinApp* pApp = AfxGetApp())
    if (pApp->m_pMainWnd == this) pApp->m_pMainWnd = nullptr;
  delete this;
}

BOOL CFrameWnd::IsCommandEnabled(UINT nID, int* pnCheck) {
  CCmdUI state(nID);
  try {
    OnCmdMsg(nID, &state);
  } catch (const std::bad_alloc&) {
    state.m_bEnabled = FALSE;
  }
  if (pnCheck) *pnCheck = state.m_nCheck;
  return state.m_bAnswered && state.m_bEnabled;
}

BOOL CFrameWnd::ExecuteCommand(UINT nID) {
  if (!IsCommandEnabled(nID)) return FALSE;
  try {
    OnCmdMsg(nID, nullptr);
  } catch (const std::bad_alloc&) {
    AfxReportOutOfMemory();
  }
  return TRUE;
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
  static const CCommandEntry<CFrameWnd> kCommands[] = {
      {ID_VIEW_TOOLBAR, &CFrameWnd::OnViewToolbar, &CFrameWnd::OnUpdateViewToolbar},
      {ID_VIEW_STATUS_BAR, &CFrameWnd::OnViewStatusBar, &CFrameWnd::OnUpdateViewStatusBar},
  };
  if (DispatchCommand(this, kCommands, nID, pCmdUI)) return TRUE;
  CWinApp* pApp = AfxGetApp();
  return pApp && pApp->OnCmdMsg(nID, pCmdUI);
}

BOOL CFrameWnd::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST || !m_hAccelTable) return FALSE;
  return TranslateAcceleratorW(m_hWnd, m_hAccelTable, pMsg);
}

BOOL CFrameWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  // Menu items and accelerator keys come without a control; toolbar buttons are passed
  // on by their bar the same way.
  if (lParam != 0) return FALSE;
  // The bars show the command's effect as soon as it is done, whatever invoked it and
  // whatever the message loop sees meanwhile; posted, so that a command that closed the
  // frame is not followed into it (nor is the frame object, which went with its window).
  const HWND hWnd = m_hWnd;
  if (ExecuteCommand(LOWORD(wParam)) && IsWindow(hWnd)) PostMessageA(hWnd, WM_IDLEUPDATECMDUI, 0, 0);
  return TRUE;
}

void CFrameWnd::OnInitMenuPopup(HMENU hMenu) {
  const int count = GetMenuItemCount(hMenu);
  for (int i = 0; i < count; ++i) {
    const UINT nID = GetMenuItemID(hMenu, i);
    if (nID == 0 || nID == UINT(-1)) continue;  // a separator or a submenu
    int check = -1;
    const BOOL enabled = IsCommandEnabled(nID, &check);
    EnableMenuItem(hMenu, UINT(i), MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    if (check >= 0) CheckMenuItem(hMenu, UINT(i), MF_BYPOSITION | (check ? MF_CHECKED : MF_UNCHECKED));
  }
}

LRESULT CFrameWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITMENUPOPUP:
      if (!HIWORD(lParam)) OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
      return 0;
    case WM_MENUSELECT: {
      const UINT item = LOWORD(wParam);
      const UINT flags = HIWORD(wParam);
      if (flags == 0xFFFF && lParam == 0) {
        m_nIDTracking = 0;
        SetMessageText(AFX_IDS_IDLEMESSAGE);
      } else if (flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) {
        m_nIDTracking = 0;
        SetMessageText("");
      } else {
        m_nIDTracking = item;
        SetMessageText(CommandPrompt(item, FALSE).c_str());
      }
      return 0;
    }
    case WM_IDLEUPDATECMDUI:
      OnIdleUpdate();
      return 0;
    case WM_EXITMENULOOP:
      m_nIDTracking = 0;
      SetMessageText(AFX_IDS_IDLEMESSAGE);
      return 0;
    case WM_CLOSE:
      if (!CanCloseFrame()) return 0;
      return Default();
    case WM_QUERYENDSESSION:
      return CanCloseFrame();
    case WM_DESTROY:
      if (AfxGetMainWnd() == this) PostQuitMessage(0);
      return 0;
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

void CFrameWnd::OnSize(UINT, int, int) {
  Default();
  RecalcLayout();
}

// Control bars.

CControlBar* CFrameWnd::GetControlBar(UINT nID) const {
  for (CControlBar* pBar : m_bars)
    if (pBar->m_hWnd && pBar->GetDlgCtrlID() == nID) return pBar;
  return nullptr;
}

void CFrameWnd::ToggleBar(UINT nID) {
  if (CControlBar* pBar = GetControlBar(nID)) ShowControlBar(pBar, !pBar->IsVisible());
}

void CFrameWnd::UpdateBarCheck(CCmdUI* pCmdUI) {
  CControlBar* pBar = GetControlBar(pCmdUI->m_nID);
  pCmdUI->Enable(pBar != nullptr);
  pCmdUI->SetCheck(pBar && pBar->IsVisible());
}

void CFrameWnd::ShowControlBar(CControlBar* pBar, BOOL bShow) {
  pBar->m_bVisible = bShow;
  if (pBar->m_hFloatWnd) {
    ::ShowWindow(pBar->m_hFloatWnd, bShow ? SW_SHOWNA : SW_HIDE);
  } else {
    pBar->ShowWindow(bShow ? SW_SHOWNA : SW_HIDE);
    RecalcLayout();
  }
}

void CFrameWnd::RecalcLayout() {
  if (!m_hWnd) return;
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  // The bar created last is laid out first: the status bar spans the whole width below
  // a toolbar docked on a side.
  for (auto it = m_bars.rbegin(); it != m_bars.rend(); ++it) {
    CControlBar* pBar = *it;
    if (!pBar->m_hWnd || pBar->IsFloating() || !pBar->IsVisible()) continue;
    const DWORD side = pBar->m_dwStyle & CBRS_ALIGN_ANY;
    const SIZE size = pBar->CalcFixedLayout(Horizontal(side));
    RECT bar = rc;
    if (side & CBRS_ALIGN_BOTTOM) {
      bar.top = rc.bottom - size.cy > rc.top ? rc.bottom - size.cy : rc.top;
      rc.bottom = bar.top;
    } else if (side & CBRS_ALIGN_LEFT) {
      bar.right = rc.left + size.cx < rc.right ? rc.left + size.cx : rc.right;
      rc.left = bar.right;
    } else if (side & CBRS_ALIGN_RIGHT) {
      bar.left = rc.right - size.cx > rc.left ? rc.right - size.cx : rc.left;
      rc.right = bar.left;
    } else {
      bar.bottom = rc.top + size.cy < rc.bottom ? rc.top + size.cy : rc.bottom;
      rc.top = bar.bottom;
    }
    MoveWindow(pBar->m_hWnd, bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top, TRUE);
  }
  if (HWND hView = GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST))
    MoveWindow(hView, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void CFrameWnd::DockControlBar(CControlBar* pBar, DWORD dwSide) {
  if (!dwSide) dwSide = pBar->m_dwStyle & CBRS_ALIGN_ANY;
  if (!(dwSide & pBar->m_dwDockStyle & m_dwDockStyle)) dwSide = CBRS_ALIGN_TOP;
  if (dwSide & CBRS_ALIGN_TOP) dwSide = CBRS_ALIGN_TOP;
  else if (dwSide & CBRS_ALIGN_BOTTOM) dwSide = CBRS_ALIGN_BOTTOM;
  else if (dwSide & CBRS_ALIGN_LEFT) dwSide = CBRS_ALIGN_LEFT;
  else dwSide = CBRS_ALIGN_RIGHT;

  pBar->m_dwStyle = (pBar->m_dwStyle & ~CBRS_ALIGN_ANY) | dwSide;
  if (const HWND hFloat = pBar->m_hFloatWnd) {
    pBar->m_hFloatWnd = nullptr;
    SetParent(pBar->m_hWnd, m_hWnd);
    ::DestroyWindow(hFloat);
  }
  if (auto* pToolBar = dynamic_cast<CToolBar*>(pBar)) pToolBar->SetOrientation(Horizontal(dwSide));
  pBar->ShowWindow(pBar->IsVisible() ? SW_SHOWNA : SW_HIDE);
  RecalcLayout();
  InvalidateRect(pBar->m_hWnd, nullptr, TRUE);
}

void CFrameWnd::FloatControlBar(CControlBar* pBar, POINT ptScreen) {
  if (auto* pToolBar = dynamic_cast<CToolBar*>(pBar)) pToolBar->SetOrientation(TRUE);
  const SIZE size = pBar->CalcFixedLayout(TRUE);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const DWORD exStyle = WS_EX_TOOLWINDOW;
  RECT rc = {0, 0, size.cx, size.cy};
  AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  const int cx = rc.right - rc.left;
  const int cy = rc.bottom - rc.top;

  if (!pBar->m_hFloatWnd) {
    auto* pFloat = new CMiniDockFrameWnd(pBar);
    const RECT at = {ptScreen.x, ptScreen.y, ptScreen.x + cx, ptScreen.y + cy};
    if (!pFloat->CreateEx(exStyle, nullptr, "",
                          style, at, this, 0)) {
      delete pFloat;
      return;
    }
    // The owner of a popup is the window given as its parent.
    pBar->m_hFloatWnd = pFloat->m_hWnd;
    SetParent(pBar->m_hWnd, pBar->m_hFloatWnd);
  }
  SetWindowPos(pBar->m_hFloatWnd, nullptr, ptScreen.x, ptScreen.y, cx, cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(pBar->m_hWnd, 0, 0, size.cx, size.cy, TRUE);
  pBar->ShowWindow(SW_SHOWNA);
  ::ShowWindow(pBar->m_hFloatWnd, pBar->IsVisible() ? SW_SHOWNA : SW_HIDE);
  RecalcLayout();
}

DWORD CFrameWnd::DockSideAt(const CControlBar* pBar, POINT ptScreen) const {
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  if (!PtInRect(&rc, ptScreen)) return 0;
  const DWORD allowed = pBar->m_dwDockStyle & m_dwDockStyle;
  const struct {
    DWORD side;
    LONG distance;
  } sides[] = {
      {CBRS_ALIGN_TOP, ptScreen.y - rc.top},
      {CBRS_ALIGN_BOTTOM, rc.bottom - ptScreen.y},
      {CBRS_ALIGN_LEFT, ptScreen.x - rc.left},
      {CBRS_ALIGN_RIGHT, rc.right - ptScreen.x},
  };
  DWORD best = 0;
  LONG nearest = AfxScale(kDockZone);
  for (const auto& s : sides) {
    if ((allowed & s.side) && s.distance < nearest) {
      best = s.side;
      nearest = s.distance;
    }
  }
  return best;
}

// Prompts.

std::string CFrameWnd::CommandPrompt(UINT nID, BOOL bToolTip) {
  const std::string text = AfxLoadString(nID);
  const std::size_t cut = text.find('\n');
  if (bToolTip) return cut == std::string::npos ? std::string() : text.substr(cut + 1);
  return text.substr(0, cut);
}

void CFrameWnd::SetMessageText(const char* pszText) {
  if (auto* pStatus = dynamic_cast<CStatusBar*>(GetControlBar(AFX_IDW_STATUS_BAR)))
    pStatus->SetPaneText(0, pszText);
}

void CFrameWnd::SetMessageText(UINT nID) { SetMessageText(AfxLoadString(nID).c_str()); }

void CFrameWnd::OnIdleUpdate() {
  for (CControlBar* pBar : m_bars)
    if (pBar->m_hWnd) pBar->OnUpdateCmdUI(this);
}
