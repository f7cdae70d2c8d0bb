// Windows, the application object, dialogs and message boxes.
#include <deque>
#include <new>

#include "Framework.h"
#include "ansi_code_page.h"
#include "wide_text.h"

namespace {

CWinApp* g_pApp = nullptr;
CUserPrompts g_defaultPrompts;
CUserPrompts* g_pPrompts = &g_defaultPrompts;

// The object whose window is being created; the window procedure attaches it to the
// window at the window's first message.
CWnd* g_pWndInit = nullptr;

// The program's title for message box captions, without allocating: the out-of-memory
// box uses it too.
const char* AppTitle(char (&buffer)[256]) {
  if (g_pApp && !g_pApp->m_strAppName.empty()) return g_pApp->m_strAppName.c_str();
  if (!LoadStringA(AfxGetInstanceHandle(), AFX_IDS_APP_TITLE, buffer, sizeof buffer))
    buffer[0] = '\0';
  return buffer;
}

}  // namespace

HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleA(nullptr); }

std::string AfxLoadString(UINT nID) {
  char buffer[1024];
  const int copied = LoadStringA(AfxGetInstanceHandle(), nID, buffer, sizeof buffer);
  return std::string(buffer, copied > 0 ? std::size_t(copied) : 0);
}

int AfxScale(int nPixels) {
  static const int dpi = [] {
    const HDC hDC = GetDC(nullptr);
    const int logPixels = hDC ? GetDeviceCaps(hDC, LOGPIXELSY) : 0;
    if (hDC) ReleaseDC(nullptr, hDC);
    return logPixels > 0 ? logPixels : 96;
  }();
  return MulDiv(nPixels, dpi, 96);
}

HFONT AfxGetTextFont() {
  static const HFONT font = []() -> HFONT {
    if (AfxScale(96) == 96) return nullptr;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return nullptr;
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }();
  return font;
}

const char* AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground,
                                HICON hIcon) {
  static std::deque<std::string> names;  // registered once, alive for the program's run
  char name[96];
  wsprintfA(name, "Afx:%x:%p:%p:%p", nClassStyle, static_cast<void*>(hCursor),
            static_cast<void*>(hbrBackground), static_cast<void*>(hIcon));
  for (const std::string& known : names)
    if (known == name) return known.c_str();
  WNDCLASSA wc = {};
  wc.style = nClassStyle;
  wc.lpfnWndProc = AfxWndProc;
  wc.hInstance = AfxGetInstanceHandle();
  wc.hCursor = hCursor;
  wc.hbrBackground = hbrBackground;
  wc.hIcon = hIcon;
  wc.lpszClassName = name;
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  names.emplace_back(name);
  return names.back().c_str();
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  if (!pWnd && g_pWndInit) {
    pWnd = g_pWndInit;
    g_pWndInit = nullptr;
    pWnd->m_hWnd = hWnd;
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWnd));
  }
  if (!pWnd) return DefWindowProcA(hWnd, message, wParam, lParam);

  const CWnd::Message outer = pWnd->m_current;
  pWnd->m_current = {message, wParam, lParam};
  LRESULT result = 0;
  try {
    result = pWnd->WindowProc(message, wParam, lParam);
  } catch (const std::bad_alloc&) {
    AfxReportOutOfMemory();
    result = message == WM_CREATE ? -1 : 0;
  } catch (...) {
    result = message == WM_CREATE ? -1 : 0;
  }
  // A window destroyed during the message may have taken its object along (a frame deletes
  // itself): nothing of it is touched again.
  if (message != WM_NCDESTROY && !IsWindow(hWnd)) return result;
  pWnd->m_current = outer;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    pWnd->m_hWnd = nullptr;
    pWnd->PostNcDestroy();
  }
  return result;
}

CWnd::~CWnd() {
  if (m_hWnd && IsWindow(m_hWnd)) {
    if (FromHandlePermanent(m_hWnd) == this)
      SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);  // no more calls into a dying object
    ::DestroyWindow(m_hWnd);
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  if (!hWnd || reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) != AfxWndProc)
    return nullptr;
  return reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
}

BOOL CWnd::CreateEx(DWORD dwExStyle, const char* pszClassName, const char* pszWindowName,
                    DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID, HMENU hMenu) {
  CREATESTRUCTA cs = {};
  cs.dwExStyle = dwExStyle;
  cs.lpszClass = pszClassName;
  cs.lpszName = pszWindowName;
  cs.style = dwStyle;
  cs.x = rect.left;
  cs.y = rect.top;
  cs.cx = rect.right - rect.left;
  cs.cy = rect.bottom - rect.top;
  cs.hwndParent = pParentWnd ? pParentWnd->m_hWnd : nullptr;
  cs.hMenu = (dwStyle & WS_CHILD) ? reinterpret_cast<HMENU>(UINT_PTR(nID)) : hMenu;
  cs.hInstance = AfxGetInstanceHandle();
  if (!PreCreateWindow(cs)) return FALSE;

  g_pWndInit = this;
  const HWND hWnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x,
                                    cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance,
                                    nullptr);
  if (g_pWndInit == this) {
    // A window class of the system: the object only wraps the handle.
    g_pWndInit = nullptr;
    m_hWnd = hWnd;
  }
  return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  const HWND hWnd = m_hWnd;
  if (!FromHandlePermanent(hWnd)) m_hWnd = nullptr;
  return ::DestroyWindow(hWnd);
}

void CWnd::CenterWindow() {
  HWND hCentre = GetWindow(m_hWnd, GW_OWNER);
  if (!hCentre) hCentre = GetParent(m_hWnd);
  RECT rcWindow;
  RECT rcCentre;
  GetWindowRect(m_hWnd, &rcWindow);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromWindow(hCentre ? hCentre : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
  if (!hCentre || !IsWindowVisible(hCentre) || IsIconic(hCentre) || !GetWindowRect(hCentre, &rcCentre))
    rcCentre = monitor.rcWork;
  const LONG cx = rcWindow.right - rcWindow.left;
  const LONG cy = rcWindow.bottom - rcWindow.top;
  LONG x = (rcCentre.left + rcCentre.right - cx) / 2;
  LONG y = (rcCentre.top + rcCentre.bottom - cy) / 2;
  const RECT& work = monitor.rcWork;
  if (x + cx > work.right) x = work.right - cx;
  if (y + cy > work.bottom) y = work.bottom - cy;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTA& cs) {
  if (!cs.lpszClass)
    cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                                       reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  return cs.lpszClass != nullptr;
}

std::wstring CWnd::GetWindowTextWide() const {
  const int length = GetWindowTextLengthW(m_hWnd);
  std::wstring text(std::size_t(length) + 1, L'\0');
  const int copied = ::GetWindowTextW(m_hWnd, &text[0], length + 1);
  text.resize(copied > 0 ? std::size_t(copied) : 0);
  return text;
}

std::string CWnd::GetWindowText() const {
  const int length = GetWindowTextLengthA(m_hWnd);
  std::string text(std::size_t(length) + 1, '\0');
  const int copied = ::GetWindowTextA(m_hWnd, &text[0], length + 1);
  text.resize(copied > 0 ? std::size_t(copied) : 0);
  return text;
}

BOOL CWnd::OnCmdMsg(UINT, CCmdUI*) { return FALSE; }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

LRESULT CWnd::Default() {
  return DefWindowProcA(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(reinterpret_cast<CREATESTRUCTA*>(lParam));
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_SIZE:
      OnSize(UINT(wParam), LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETFOCUS:
      OnSetFocus(reinterpret_cast<HWND>(wParam));
      return 0;
    case WM_COMMAND:
      if (OnCommand(wParam, lParam)) return 0;
      break;
    default:
      break;
  }
  return Default();
}

int CWnd::OnCreate(CREATESTRUCTA*) { return int(Default()); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnSetFocus(HWND) { Default(); }
BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }

BOOL CEdit::Create(DWORD dwExStyle, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                   UINT nID) {
  m_hWnd = CreateWindowExW(dwExStyle, L"EDIT", L"", dwStyle, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top,
                           pParentWnd ? pParentWnd->m_hWnd : nullptr,
                           reinterpret_cast<HMENU>(UINT_PTR(nID)), AfxGetInstanceHandle(), nullptr);
  return m_hWnd != nullptr;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = BeginPaint(m_hWnd, &m_ps); }
CPaintDC::~CPaintDC() { EndPaint(m_hWnd, &m_ps); }

// Dialogs.

INT_PTR CDialog::DoModal() {
  const HWND hOwner = m_pParentWnd ? m_pParentWnd->m_hWnd
                                   : (AfxGetMainWnd() ? AfxGetMainWnd()->m_hWnd : nullptr);
  return AfxGetUserPrompts().RunDialog(*this, hOwner);
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hDlg, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  CDialog* pDlg = nullptr;
  if (message == WM_INITDIALOG) {
    pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->m_hWnd = hDlg;
    SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
  } else {
    pDlg = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hDlg, DWLP_USER));
  }
  if (!pDlg) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = pDlg->DialogProc(message, wParam, lParam);
  } catch (const std::bad_alloc&) {
    AfxReportOutOfMemory();
  } catch (...) {
  }
  if (message == WM_NCDESTROY) pDlg->m_hWnd = nullptr;
  return result;
}

INT_PTR CDialog::DialogProc(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      DoDataExchange();
      return OnInitDialog();
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* pszDefExt, const char* pszFileName,
                         DWORD dwFlags, const char* pszFilter, CWnd* pParentWnd)
    : CDialog(0, pParentWnd), m_bOpenFileDialog(bOpenFileDialog), m_ofn(), m_file(32768, L'\0') {
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hInstance = AfxGetInstanceHandle();
  m_ofn.lpstrFile = m_file.data();
  m_ofn.nMaxFile = DWORD(m_file.size());
  m_ofn.Flags = dwFlags | OFN_EXPLORER;
  if (pszFileName) lstrcpynW(m_file.data(), AfxWiden(pszFileName).c_str(), int(m_file.size()));
  if (pszDefExt) {
    m_strDefExt = AfxWiden(pszDefExt);
    m_ofn.lpstrDefExt = m_strDefExt.c_str();
  }
  if (pszFilter) {
    // "label|patterns|" becomes "label\0patterns\0" with the string's own terminator
    // closing the list.
    m_strFilter = AfxWiden(pszFilter);
    for (wchar_t& c : m_strFilter)
      if (c == L'|') c = L'\0';
    m_ofn.lpstrFilter = m_strFilter.c_str();
  }
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = m_pParentWnd ? m_pParentWnd->m_hWnd
                                 : (AfxGetMainWnd() ? AfxGetMainWnd()->m_hWnd : nullptr);
  return AfxGetUserPrompts().RunFileDialog(*this);
}

std::wstring CFileDialog::GetFileName() const {
  const std::wstring path = GetPathName();
  const std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The user.

int CUserPrompts::MessageBox(HWND hOwner, const wchar_t* pszText, const wchar_t* pszCaption,
                             UINT nType) {
  return ::MessageBoxW(hOwner, pszText, pszCaption, nType);
}

INT_PTR CUserPrompts::RunFileDialog(CFileDialog& dlg) {
  const BOOL ok = dlg.m_bOpenFileDialog ? GetOpenFileNameW(&dlg.m_ofn) : GetSaveFileNameW(&dlg.m_ofn);
  return ok ? IDOK : IDCANCEL;
}

INT_PTR CUserPrompts::RunDialog(CDialog& dlg, HWND hOwner) {
  return DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(dlg.m_nIDTemplate), hOwner,
                         CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(&dlg));
}

CUserPrompts* AfxSetUserPrompts(CUserPrompts* pPrompts) {
  CUserPrompts* previous = g_pPrompts;
  g_pPrompts = pPrompts ? pPrompts : &g_defaultPrompts;
  return previous;
}

CUserPrompts& AfxGetUserPrompts() { return *g_pPrompts; }

// The one ANSI conversion of every Windows program here (no best-fit characters).
std::wstring AfxWiden(const std::string& strText) {
  return colour::Wide(colour::AnsiCodePage().Decode(strText));
}

std::string AfxNarrow(const std::wstring& strText) {
  return colour::AnsiCodePage().Encode(colour::Utf16(strText));
}

namespace {

// Without allocating: the out-of-memory box uses it too.
int ShowBox(const wchar_t* pszText, UINT nType) {
  char buffer[256];
  wchar_t caption[256];
  if (!MultiByteToWideChar(CP_ACP, 0, AppTitle(buffer), -1, caption, 256)) caption[0] = L'\0';
  const CWnd* pMain = AfxGetMainWnd();
  return AfxGetUserPrompts().MessageBox(pMain ? pMain->m_hWnd : nullptr, pszText, caption, nType);
}

}  // namespace

int AfxMessageBox(const std::wstring& strText, UINT nType, UINT) {
  return ShowBox(strText.c_str(), nType);
}

int AfxMessageBox(const char* pszText, UINT nType, UINT nIDHelp) {
  return AfxMessageBox(AfxWiden(pszText), nType, nIDHelp);
}

void AfxReportOutOfMemory() {
  ShowBox(L"Out of memory.", MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
}

// The application.

CWinApp::CWinApp(const char* pszAppName) {
  if (pszAppName) m_strAppName = pszAppName;
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }
CWnd* AfxGetMainWnd() { return g_pApp ? g_pApp->m_pMainWnd : nullptr; }

BOOL CWinApp::PumpMessage() {
  // In UTF-16, so that characters typed into the Unicode edit box reach it whole.
  MSG msg;
  const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    m_nExitCode = got == 0 ? int(msg.wParam) : -1;
    return FALSE;
  }
  CWnd* pMain = m_pMainWnd;
  const bool forMain =
      pMain && pMain->m_hWnd && (msg.hwnd == pMain->m_hWnd || IsChild(pMain->m_hWnd, msg.hwnd));
  if (!forMain || !pMain->PreTranslateMessage(&msg)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return TRUE;
}

int CWinApp::Run() {
  bool idle = true;
  LONG count = 0;
  MSG msg;
  for (;;) {
    while (idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle(count++)) idle = false;
    }
    do {
      if (!PumpMessage()) return ExitInstance();
      // Painting and the caret's blinking do not count as the user's doing.
      if (msg.message != WM_PAINT && msg.message != 0x0118) {
        idle = true;
        count = 0;
      }
    } while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  }
}

BOOL CWinApp::OnIdle(LONG lCount) {
  if (lCount == 0) {
    if (auto* pFrame = dynamic_cast<CFrameWnd*>(m_pMainWnd))
      if (pFrame->m_hWnd) pFrame->OnIdleUpdate();
  }
  return FALSE;
}

void CWinApp::OnAppExit() {
  if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->SendMessage(WM_CLOSE);
}

BOOL CWinApp::OnCmdMsg(UINT nID, CCmdUI* pCmdUI) {
  static const CCommandEntry<CWinApp> kCommands[] = {
      {ID_APP_EXIT, &CWinApp::OnAppExit, nullptr},
  };
  return DispatchCommand(this, kCommands, nID, pCmdUI);
}
