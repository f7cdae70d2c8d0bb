// The toolbar (a common toolbar control inside a bar window of ours that draws the
// gripper and is dragged by it) and the status bar.
#include "Framework.h"

namespace {

// At 96 DPI; AfxScale gives them at the system's.
constexpr int kGripper = 10;  // room for the gripper before the buttons
constexpr int kBorder = 2;
constexpr int kGap = 6;  // between groups of buttons

bool KeyToggled(int nVirtKey) { return (GetKeyState(nVirtKey) & 1) != 0; }

// The button images at the system's DPI: every pixel repeated, never blended, so that
// they stay sharp (at 96 DPI the bitmap itself).
HBITMAP ScaledBitmap(HBITMAP hBitmap) {
  BITMAP bm;
  if (!hBitmap || !GetObjectA(hBitmap, sizeof bm, &bm)) return hBitmap;
  const int cx = AfxScale(bm.bmWidth);
  const int cy = AfxScale(bm.bmHeight);
  if (cx == bm.bmWidth && cy == bm.bmHeight) return hBitmap;
  const HDC hScreen = GetDC(nullptr);
  const HDC hFrom = CreateCompatibleDC(hScreen);
  const HDC hTo = CreateCompatibleDC(hScreen);
  HBITMAP hScaled = CreateCompatibleBitmap(hScreen, cx, cy);
  if (hFrom && hTo && hScaled) {
    const HGDIOBJ oldFrom = SelectObject(hFrom, hBitmap);
    const HGDIOBJ oldTo = SelectObject(hTo, hScaled);
    SetStretchBltMode(hTo, COLORONCOLOR);
    StretchBlt(hTo, 0, 0, cx, cy, hFrom, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    SelectObject(hFrom, oldFrom);
    SelectObject(hTo, oldTo);
    DeleteObject(hBitmap);
  } else if (hScaled) {
    DeleteObject(hScaled);
    hScaled = hBitmap;
  } else {
    hScaled = hBitmap;
  }
  if (hFrom) DeleteDC(hFrom);
  if (hTo) DeleteDC(hTo);
  ReleaseDC(nullptr, hScreen);
  return hScaled;
}

}  // namespace

BOOL CControlBar::CreateBar(CWnd* pParentWnd, const char* pszClass, DWORD dwStyle, UINT nID) {
  m_dwStyle = dwStyle & CBRS_ALL;
  m_bVisible = (dwStyle & WS_VISIBLE) != 0;
  m_pDockSite = dynamic_cast<CFrameWnd*>(pParentWnd);
  if (!m_pDockSite) return FALSE;
  const RECT none = {};
  if (!CreateEx(0, pszClass, nullptr, (dwStyle & ~CBRS_ALL) | WS_CLIPSIBLINGS, none, pParentWnd,
                nID))
    return FALSE;
  m_pDockSite->AddControlBar(this);
  return TRUE;
}

LRESULT CControlBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // Buttons inside the bar are commands of the frame, wherever the bar is.
  if (message == WM_COMMAND && lParam != 0 && m_pDockSite) {
    m_pDockSite->SendMessage(WM_COMMAND, wParam, 0);
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

// The toolbar.

CToolBar::~CToolBar() {
  if (m_hWnd) DestroyWindow();
  if (m_hBitmap) DeleteObject(m_hBitmap);
}

BOOL CToolBar::CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle, DWORD dwStyle, const RECT&,
                        UINT nID) {
  const char* cls = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  if (!cls || !CreateBar(pParentWnd, cls, dwStyle, nID)) return FALSE;
  DWORD ctrlStyle = WS_CHILD | WS_VISIBLE | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN |
                    dwCtrlStyle;
  if (m_dwStyle & CBRS_TOOLTIPS) ctrlStyle |= TBSTYLE_TOOLTIPS;
  m_hToolBar = CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, ctrlStyle, 0, 0, 0, 0, m_hWnd,
                               reinterpret_cast<HMENU>(UINT_PTR(nID)), AfxGetInstanceHandle(),
                               nullptr);
  if (!m_hToolBar) return FALSE;
  ::SendMessageA(m_hToolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  return TRUE;
}

BOOL CToolBar::LoadToolBar(UINT nIDResource) {
  const HINSTANCE hInst = AfxGetInstanceHandle();
  const HRSRC hRes = FindResourceA(hInst, MAKEINTRESOURCEA(nIDResource),
                                   MAKEINTRESOURCEA(RT_TOOLBAR_LAYOUT));
  if (!hRes || !m_hToolBar) return FALSE;
  const DWORD cb = SizeofResource(hInst, hRes);
  const auto* data = static_cast<const WORD*>(LockResource(LoadResource(hInst, hRes)));
  if (!data || cb < 8 || data[0] != 1 || cb < 8u + 2u * data[3]) return FALSE;
  const int cx = AfxScale(data[1]);
  const int cy = AfxScale(data[2]);
  const int count = data[3];

  m_hBitmap = ScaledBitmap(CreateMappedBitmap(hInst, INT_PTR(nIDResource), 0, nullptr, 0));
  if (!m_hBitmap) return FALSE;
  BITMAP bm;
  GetObjectA(m_hBitmap, sizeof bm, &bm);
  ::SendMessageA(m_hToolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(cx, cy));
  ::SendMessageA(m_hToolBar, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(AfxScale(data[1] + 7), AfxScale(data[2] + 6)));
  TBADDBITMAP bitmap = {nullptr, reinterpret_cast<UINT_PTR>(m_hBitmap)};
  if (::SendMessageA(m_hToolBar, TB_ADDBITMAP, WPARAM(bm.bmWidth / cx),
                     reinterpret_cast<LPARAM>(&bitmap)) == -1)
    return FALSE;

  std::vector<TBBUTTON> buttons(std::size_t(count), TBBUTTON{});
  int image = 0;
  for (int i = 0; i < count; ++i) {
    const UINT nID = data[4 + i];
    m_buttons.push_back(nID);
    TBBUTTON& b = buttons[std::size_t(i)];
    if (nID == 0) {
      b.iBitmap = AfxScale(kGap);  // width of the gap
      b.fsStyle = TBSTYLE_SEP;
    } else {
      b.iBitmap = image++;
      b.idCommand = int(nID);
      b.fsState = TBSTATE_ENABLED;
      b.fsStyle = TBSTYLE_BUTTON;
    }
  }
  if (!::SendMessageA(m_hToolBar, TB_ADDBUTTONSA, WPARAM(count),
                      reinterpret_cast<LPARAM>(buttons.data())))
    return FALSE;
  SetOrientation(Horizontal());
  return TRUE;
}

BOOL CToolBar::Horizontal() const {
  return (m_dwStyle & (CBRS_ALIGN_LEFT | CBRS_ALIGN_RIGHT)) == 0 || IsFloating();
}

void CToolBar::SetOrientation(BOOL bHorz) {
  m_bHorz = bHorz;
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    TBBUTTON b = {};
    ::SendMessageA(m_hToolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b));
    const BYTE state = bHorz ? BYTE(b.fsState & ~TBSTATE_WRAP) : BYTE(b.fsState | TBSTATE_WRAP);
    if (b.idCommand)
      ::SendMessageA(m_hToolBar, TB_SETSTATE, WPARAM(b.idCommand), MAKELPARAM(state, 0));
  }
  // Gaps between buttons only make sense in a row.
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    if (m_buttons[i] != 0) continue;
    TBBUTTONINFOA info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_BYINDEX | TBIF_STATE;
    ::SendMessageA(m_hToolBar, TB_GETBUTTONINFOA, i, reinterpret_cast<LPARAM>(&info));
    info.fsState = bHorz ? BYTE(info.fsState & ~TBSTATE_HIDDEN) : BYTE(info.fsState | TBSTATE_HIDDEN);
    ::SendMessageA(m_hToolBar, TB_SETBUTTONINFOA, i, reinterpret_cast<LPARAM>(&info));
  }
  LayoutControl();
}

SIZE CToolBar::ButtonsExtent() const {
  SIZE extent = {0, 0};
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    RECT rc;
    if (!::SendMessageA(m_hToolBar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rc))) continue;
    if (rc.right > extent.cx) extent.cx = rc.right;
    if (rc.bottom > extent.cy) extent.cy = rc.bottom;
  }
  return extent;
}

SIZE CToolBar::CalcFixedLayout(BOOL bHorz) {
  if (bHorz != m_bHorz) SetOrientation(bHorz);
  const SIZE extent = ButtonsExtent();
  const int gripper = AfxScale(kGripper);
  const int border = AfxScale(kBorder);
  if (bHorz) return SIZE{gripper + extent.cx + border, extent.cy + 2 * border};
  return SIZE{extent.cx + 2 * border, gripper + extent.cy + border};
}

void CToolBar::LayoutControl() {
  if (!m_hWnd || !m_hToolBar) return;
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  const int gripper = AfxScale(kGripper);
  const int border = AfxScale(kBorder);
  if (m_bHorz)
    MoveWindow(m_hToolBar, gripper, border, rc.right - gripper, rc.bottom - 2 * border, TRUE);
  else
    MoveWindow(m_hToolBar, border, gripper, rc.right - 2 * border, rc.bottom - gripper, TRUE);
}

RECT CToolBar::GripperRect() const {
  RECT rc;
  GetClientRect(m_hWnd, &rc);
  if (m_bHorz)
    rc.right = AfxScale(kGripper);
  else
    rc.bottom = AfxScale(kGripper);
  return rc;
}

void CToolBar::PaintGripper() {
  PAINTSTRUCT ps;
  const HDC hDC = BeginPaint(m_hWnd, &ps);
  RECT rc = GripperRect();
  RECT grip = rc;
  if (m_bHorz) {
    grip.left = AfxScale(3);
    grip.right = AfxScale(6);
    grip.top += AfxScale(2);
    grip.bottom -= AfxScale(2);
  } else {
    grip.top = AfxScale(3);
    grip.bottom = AfxScale(6);
    grip.left += AfxScale(2);
    grip.right -= AfxScale(2);
  }
  DrawEdge(hDC, &grip, BDR_RAISEDINNER, BF_RECT);
  EndPaint(m_hWnd, &ps);
}

void CToolBar::EndDrag(POINT ptScreen) {
  const DWORD side = m_pDockSite->DockSideAt(this, ptScreen);
  if (side) {
    m_pDockSite->DockControlBar(this, side);
    return;
  }
  // Keep the gripper under the pointer.
  const POINT at = {ptScreen.x - m_ptGrab.x - GetSystemMetrics(SM_CXFIXEDFRAME),
                    ptScreen.y - m_ptGrab.y - GetSystemMetrics(SM_CYSMCAPTION) -
                        GetSystemMetrics(SM_CYFIXEDFRAME)};
  m_pDockSite->FloatControlBar(this, at);
}

void CToolBar::EndPrompt() {
  m_bPrompting = FALSE;
  m_pDockSite->m_nIDTracking = 0;
  m_pDockSite->SetMessageText(AFX_IDS_IDLEMESSAGE);
}

void CToolBar::OnUpdateCmdUI(CFrameWnd* pTarget) {
  // The pointer may leave the buttons without the control saying so.
  if (m_bPrompting && ::SendMessageA(m_hToolBar, TB_GETHOTITEM, 0, 0) < 0) EndPrompt();
  for (const UINT nID : m_buttons) {
    if (nID == 0) continue;
    const BOOL enabled = pTarget->IsCommandEnabled(nID);
    const BOOL shown = ::SendMessageA(m_hToolBar, TB_ISBUTTONENABLED, nID, 0) != 0;
    if (enabled != shown) ::SendMessageA(m_hToolBar, TB_ENABLEBUTTON, nID, MAKELPARAM(enabled, 0));
  }
}

LRESULT CToolBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintGripper();
      return 0;
    case WM_SIZE:
      LayoutControl();
      return 0;
    case WM_LBUTTONDOWN: {
      const POINT pt = {short(LOWORD(lParam)), short(HIWORD(lParam))};
      const RECT grip = GripperRect();
      if (!PtInRect(&grip, pt)) break;
      m_ptGrab = pt;
      m_bDragging = TRUE;
      SetCapture(m_hWnd);
      SetCursor(LoadCursorA(nullptr, IDC_SIZEALL));
      return 0;
    }
    case WM_MOUSEMOVE:
      if (m_bDragging) {
        SetCursor(LoadCursorA(nullptr, IDC_SIZEALL));
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      if (m_bDragging) {
        m_bDragging = FALSE;
        ReleaseCapture();
        POINT pt = {short(LOWORD(lParam)), short(HIWORD(lParam))};
        ClientToScreen(m_hWnd, &pt);
        EndDrag(pt);
        return 0;
      }
      break;
    case WM_CAPTURECHANGED:
      m_bDragging = FALSE;
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
        m_strTip = CFrameWnd::CommandPrompt(UINT(header->idFrom), TRUE);
        info->hinst = nullptr;
        info->lpszText = &m_strTip[0];
        return 0;
      }
      if (header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        const std::string tip = CFrameWnd::CommandPrompt(UINT(header->idFrom), TRUE);
        m_wstrTip.assign(tip.size() + 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, tip.c_str(), -1, &m_wstrTip[0], int(m_wstrTip.size()));
        info->hinst = nullptr;
        info->lpszText = &m_wstrTip[0];
        return 0;
      }
      if (header->code == TBN_HOTITEMCHANGE && (m_dwStyle & CBRS_FLYBY)) {
        const auto* hot = reinterpret_cast<const NMTBHOTITEM*>(lParam);
        if ((hot->dwFlags & HICF_LEAVING) || hot->idNew == 0) {
          EndPrompt();
        } else {
          m_bPrompting = TRUE;
          m_pDockSite->m_nIDTracking = UINT(hot->idNew);
          m_pDockSite->SetMessageText(CFrameWnd::CommandPrompt(UINT(hot->idNew), FALSE).c_str());
        }
        return 0;
      }
      break;
    }
    default:
      break;
  }
  return CControlBar::WindowProc(message, wParam, lParam);
}

// The status bar.

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
  return CreateBar(pParentWnd, STATUSCLASSNAMEA, dwStyle, nID);
}

BOOL CStatusBar::SetIndicators(const UINT* pIDArray, int nIDCount) {
  m_indicators.clear();
  m_indicatorText.clear();
  for (int i = 0; i < nIDCount; ++i) {
    m_indicators.push_back(pIDArray[i]);
    m_indicatorText.push_back(pIDArray[i] ? AfxLoadString(pIDArray[i]) : std::string());
    if (pIDArray[i] && m_indicatorText.back().empty()) return FALSE;
  }
  Reposition();
  SetPaneText(0, AfxLoadString(AFX_IDS_IDLEMESSAGE).c_str());
  return TRUE;
}

void CStatusBar::Reposition() {
  if (!m_hWnd || m_indicators.empty()) return;
  const HDC hDC = GetDC(m_hWnd);
  const HGDIOBJ old = SelectObject(hDC, reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
  std::vector<int> widths;
  for (const std::string& text : m_indicatorText) {
    SIZE size = {0, 0};
    if (!text.empty()) GetTextExtentPoint32A(hDC, text.c_str(), int(text.size()), &size);
    widths.push_back(size.cx + AfxScale(12));
  }
  SelectObject(hDC, old);
  ReleaseDC(m_hWnd, hDC);

  RECT rc;
  GetClientRect(m_hWnd, &rc);
  // The first pane stretches; the indicators keep their widths at the right, clear of
  // the size grip.
  std::vector<int> edges(m_indicators.size());
  int right = rc.right - GetSystemMetrics(SM_CXVSCROLL);
  for (std::size_t i = edges.size(); i-- > 1;) {
    edges[i] = right;
    right -= widths[i];
  }
  edges[0] = right > 0 ? right : 0;
  edges.back() = -1;
  SendMessage(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void CStatusBar::SetPaneText(int nIndex, const char* pszText) {
  if (GetPaneText(nIndex) == pszText) return;
  SendMessage(SB_SETTEXTA, WPARAM(nIndex), reinterpret_cast<LPARAM>(pszText));
}

std::string CStatusBar::GetPaneText(int nIndex) const {
  const int length = LOWORD(SendMessage(SB_GETTEXTLENGTHA, WPARAM(nIndex)));
  std::string text(std::size_t(length) + 1, '\0');
  SendMessage(SB_GETTEXTA, WPARAM(nIndex), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(std::size_t(length));
  return text;
}

SIZE CStatusBar::CalcFixedLayout(BOOL) {
  // The control sizes itself to the frame's width and the height that suits its font.
  SendMessage(WM_SIZE);
  Reposition();
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd*) {
  for (std::size_t i = 0; i < m_indicators.size(); ++i) {
    int key = 0;
    switch (m_indicators[i]) {
      case ID_INDICATOR_CAPS: key = VK_CAPITAL; break;
      case ID_INDICATOR_NUM: key = VK_NUMLOCK; break;
      case ID_INDICATOR_SCRL: key = VK_SCROLL; break;
      default: continue;
    }
    SetPaneText(int(i), KeyToggled(key) ? m_indicatorText[i].c_str() : "");
  }
}
