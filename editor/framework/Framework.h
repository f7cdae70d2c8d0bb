// A small window framework: the application object and its message loop, windows with a
// virtual window procedure, command routing with enable rules, a frame with a dockable
// toolbar and a status bar, modal dialogs, file dialogs and message boxes.
//
// Commands travel as WM_COMMAND to the frame, which asks the command's enable rule first
// and drops a disabled command; enabled ones are offered along OnCmdMsg (the frame's
// override decides the order).  Exceptions never leave a window procedure: an allocation
// failure during a command abandons it with the "Out of memory." box.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "FrameworkIds.h"

// Control bar styles, kept by the bar itself, never given to its window.
constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0004;
constexpr DWORD CBRS_GRIPPER = 0x00400000;
constexpr DWORD CBRS_ALL = 0x0040FFFF;
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;

class CWnd;
class CFrameWnd;
class CDialog;
class CFileDialog;

// The answer of an enable rule.
class CCmdUI {
 public:
  explicit CCmdUI(UINT nID) : m_nID(nID) {}
  void Enable(BOOL bOn = TRUE) {
    m_bEnabled = bOn;
    m_bAnswered = TRUE;
  }
  void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }

  UINT m_nID;
  BOOL m_bEnabled = FALSE;
  BOOL m_bAnswered = FALSE;  // someone along the route knows the command
  int m_nCheck = -1;         // -1: the rule says nothing about a check mark
};

// One row of a class's command table: the handler and the enable rule of a command.
template <class T>
struct CCommandEntry {
  UINT nID;
  void (T::*pfnCommand)();
  void (T::*pfnUpdate)(CCmdUI*);
};

// Runs the command (pCmdUI null) or asks its enable rule.  A command with a handler and
// no rule is enabled.  Returns whether the table knows the command.
template <class T, std::size_t N>
BOOL DispatchCommand(T* pTarget, const CCommandEntry<T> (&table)[N], UINT nID, CCmdUI* pCmdUI) {
  for (const CCommandEntry<T>& entry : table) {
    if (entry.nID != nID) continue;
    if (pCmdUI) {
      if (entry.pfnUpdate)
        (pTarget->*entry.pfnUpdate)(pCmdUI);
      else
        pCmdUI->Enable(entry.pfnCommand != nullptr);
      return TRUE;
    }
    if (!entry.pfnCommand) return FALSE;
    (pTarget->*entry.pfnCommand)();
    return TRUE;
  }
  return FALSE;
}

// Where the program meets the user modally.  The default asks the system; a stand-in
// (AfxSetUserPrompts) answers in place of the user.
class CUserPrompts {
 public:
  virtual ~CUserPrompts() = default;
  virtual int MessageBox(HWND hOwner, const wchar_t* pszText, const wchar_t* pszCaption,
                         UINT nType);
  virtual INT_PTR RunFileDialog(CFileDialog& dlg);
  virtual INT_PTR RunDialog(CDialog& dlg, HWND hOwner);
};

CUserPrompts* AfxSetUserPrompts(CUserPrompts* pPrompts);  // returns the one it replaces
CUserPrompts& AfxGetUserPrompts();

// A message box captioned with the program's title, owned by the main window.  ANSI text is
// in the system's code page.
int AfxMessageBox(const char* pszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(const std::wstring& strText, UINT nType = MB_OK, UINT nIDHelp = 0);

// Text between the ANSI code page and UTF-16.
std::wstring AfxWiden(const std::string& strText);
std::string AfxNarrow(const std::wstring& strText);
// The "Out of memory." box that ends a command abandoned by std::bad_alloc.
void AfxReportOutOfMemory();

std::string AfxLoadString(UINT nID);
// Pixel measures of the layout are given for 96 DPI: this is one at the system's DPI.
int AfxScale(int nPixels);
// The font of the program's own texts and edit box: null (the system's default font, the
// look the layout was drawn in) at 96 DPI; above it the system's message font at the
// system's DPI, as menus and dialogs use.
HFONT AfxGetTextFont();
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
HINSTANCE AfxGetInstanceHandle();
const char* AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                                HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  BOOL CreateEx(DWORD dwExStyle, const char* pszClassName, const char* pszWindowName,
                DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
                HMENU hMenu = nullptr);
  BOOL DestroyWindow();

  // The window's object when the window was made by this framework.
  static CWnd* FromHandlePermanent(HWND hWnd);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  std::string GetWindowText() const;
  void SetWindowText(const char* pszText) { ::SetWindowTextA(m_hWnd, pszText); }
  std::wstring GetWindowTextWide() const;
  void SetWindowTextWide(const std::wstring& strText) { ::SetWindowTextW(m_hWnd, strText.c_str()); }
  void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  void SetFocus() { ::SetFocus(m_hWnd); }
  UINT GetDlgCtrlID() const { return UINT(::GetDlgCtrlID(m_hWnd)); }
  // Centres the window on its owner (else its parent, else the screen), inside the work
  // area of the monitor it lands on.
  void CenterWindow();

  // Command routing: runs the command (pCmdUI null) or asks its enable rule.  Returns
  // whether the command was known here.
  virtual BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI);
  // A queued message before it is dispatched; TRUE when it was handled.
  virtual BOOL PreTranslateMessage(MSG* pMsg);

  HWND m_hWnd = nullptr;

 protected:
  virtual BOOL PreCreateWindow(CREATESTRUCTA& cs);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Called after the window is gone, with m_hWnd already null.
  virtual void PostNcDestroy() {}
  // The platform's handling of the message being processed.
  LRESULT Default();

  virtual int OnCreate(CREATESTRUCTA* pCreate);
  virtual void OnPaint() { Default(); }
  virtual void OnSize(UINT nType, int cx, int cy);
  virtual void OnSetFocus(HWND hOldWnd);
  // WM_COMMAND: a control's notification or a command; TRUE when handled.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

 private:
  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  Message m_current = {};
};

// A Unicode edit control: its text never passes through a code page.
class CEdit : public CWnd {
 public:
  BOOL Create(DWORD dwExStyle, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
};

// BeginPaint and EndPaint around one WM_PAINT.
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  int SetBkMode(int nMode) { return ::SetBkMode(m_hDC, nMode); }
  BOOL TextOut(int x, int y, const std::string& text) {
    return ::TextOutA(m_hDC, x, y, text.c_str(), int(text.size()));
  }
  BOOL TextOut(int x, int y, const std::wstring& text) {
    return ::TextOutW(m_hDC, x, y, text.c_str(), int(text.size()));
  }

  HDC m_hDC;
  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
};

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
      : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}
  virtual INT_PTR DoModal();
  void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 protected:
  friend class CUserPrompts;
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void DoDataExchange() {}
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK StaticDialogProc(HWND hDlg, UINT message, WPARAM wParam,
                                           LPARAM lParam);
};

// The system's open and save dialogs, in UTF-16: any path Windows accepts, however long.
// The filter uses '|' between label and patterns.
class CFileDialog : public CDialog {
 public:
  CFileDialog(BOOL bOpenFileDialog, const char* pszDefExt = nullptr,
              const char* pszFileName = nullptr, DWORD dwFlags = 0,
              const char* pszFilter = nullptr, CWnd* pParentWnd = nullptr);
  INT_PTR DoModal() override;

  std::wstring GetPathName() const { return m_ofn.lpstrFile; }
  std::wstring GetFileName() const;
  BOOL GetReadOnlyPref() const { return (m_ofn.Flags & OFN_READONLY) != 0; }

  BOOL m_bOpenFileDialog;
  OPENFILENAMEW m_ofn;

 private:
  std::wstring m_strDefExt;
  std::wstring m_strFilter;
  std::vector<wchar_t> m_file;  // the chosen path: room for the longest path Windows takes
};

class CWinApp {
 public:
  explicit CWinApp(const char* pszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  virtual int Run();
  virtual BOOL OnIdle(LONG lCount);
  virtual int ExitInstance() { return m_nExitCode; }
  virtual BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI);
  // One queued message through the main window's translation and dispatch; FALSE at
  // WM_QUIT.
  BOOL PumpMessage();

  void SetRegistryKey(const char* pszRegistryKey) { m_strRegistryKey = pszRegistryKey; }
  void OnAppExit();

  CWnd* m_pMainWnd = nullptr;
  std::string m_strAppName;
  std::string m_strRegistryKey;
  int m_nExitCode = 0;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();

class CControlBar : public CWnd {
 public:
  // Size of the bar docked horizontally (bHorz) or vertically.
  virtual SIZE CalcFixedLayout(BOOL bHorz) = 0;
  // Idle update of buttons and indicators from the frame's enable rules.
  virtual void OnUpdateCmdUI(CFrameWnd* pTarget) = 0;
  BOOL IsFloating() const { return m_hFloatWnd != nullptr; }
  BOOL IsVisible() const { return m_bVisible; }
  DWORD GetBarStyle() const { return m_dwStyle; }
  void EnableDocking(DWORD dwDockStyle) { m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY; }

  DWORD m_dwStyle = 0;      // CBRS_ bits, the current alignment included
  DWORD m_dwDockStyle = 0;  // sides the bar may dock on
  CFrameWnd* m_pDockSite = nullptr;
  HWND m_hFloatWnd = nullptr;  // the small window that holds the bar while it floats
  BOOL m_bVisible = TRUE;

 protected:
  BOOL CreateBar(CWnd* pParentWnd, const char* pszClass, DWORD dwStyle, UINT nID);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CToolBar : public CControlBar {
 public:
  ~CToolBar() override;
  BOOL CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle, DWORD dwStyle,
                const RECT& rcBorders = RECT{}, UINT nID = AFX_IDW_TOOLBAR);
  BOOL LoadToolBar(UINT nIDResource);
  SIZE CalcFixedLayout(BOOL bHorz) override;
  void OnUpdateCmdUI(CFrameWnd* pTarget) override;
  // Lays the buttons out in a row or a column.
  void SetOrientation(BOOL bHorz);

  HWND m_hToolBar = nullptr;  // the common toolbar control inside the bar

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  BOOL Horizontal() const;
  SIZE ButtonsExtent() const;
  void LayoutControl();
  RECT GripperRect() const;
  void PaintGripper();
  void EndDrag(POINT ptScreen);
  void EndPrompt();

  std::vector<UINT> m_buttons;  // command of every button, 0 for a gap
  HBITMAP m_hBitmap = nullptr;
  BOOL m_bHorz = TRUE;
  BOOL m_bDragging = FALSE;
  BOOL m_bPrompting = FALSE;  // the status bar shows a button's prompt
  POINT m_ptGrab = {};  // where the gripper was taken, in the bar's coordinates
  std::string m_strTip;
  std::wstring m_wstrTip;
};

class CStatusBar : public CControlBar {
 public:
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID = AFX_IDW_STATUS_BAR);
  BOOL SetIndicators(const UINT* pIDArray, int nIDCount);
  void SetPaneText(int nIndex, const char* pszText);
  std::string GetPaneText(int nIndex) const;
  SIZE CalcFixedLayout(BOOL bHorz) override;
  void OnUpdateCmdUI(CFrameWnd* pTarget) override;
  void Reposition();

 private:
  std::vector<UINT> m_indicators;
  std::vector<std::string> m_indicatorText;
};

class CFrameWnd : public CWnd {
 public:
  // Creates the window with menu, accelerators and title from the resources nIDResource.
  BOOL LoadFrame(UINT nIDResource, DWORD dwDefaultStyle, CWnd* pParentWnd = nullptr);

  // The one place where enable rules are asked: for a menu about to open, the toolbar
  // while idle and a command about to run.
  BOOL IsCommandEnabled(UINT nID, int* pnCheck = nullptr);
  // Runs the command when its enable rule allows; FALSE when it was dropped.
  BOOL ExecuteCommand(UINT nID);

  BOOL OnCmdMsg(UINT nID, CCmdUI* pCmdUI) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;

  void EnableDocking(DWORD dwDockStyle) { m_dwDockStyle = dwDockStyle & CBRS_ALIGN_ANY; }
  // Docks the bar on a side (CBRS_ALIGN_...), or on its own alignment when 0.
  void DockControlBar(CControlBar* pBar, DWORD dwSide = 0);
  // Puts the bar into a small window of its own with its top left at ptScreen.
  void FloatControlBar(CControlBar* pBar, POINT ptScreen);
  void ShowControlBar(CControlBar* pBar, BOOL bShow);
  // Where a bar dropped at ptScreen docks: a side, or 0 to float.
  DWORD DockSideAt(const CControlBar* pBar, POINT ptScreen) const;
  void RecalcLayout();

  void SetMessageText(const char* pszText);
  void SetMessageText(UINT nID);
  // Prompt of a command (text before "\n"), or its tool tip (text after it).
  static std::string CommandPrompt(UINT nID, BOOL bToolTip);
  void OnIdleUpdate();
  // Whether the frame may close (the close box, Alt+F4, Exit, the end of the session).
  virtual BOOL CanCloseFrame() { return TRUE; }

  void AddControlBar(CControlBar* pBar) { m_bars.push_back(pBar); }
  CControlBar* GetControlBar(UINT nID) const;

  HACCEL m_hAccelTable = nullptr;
  UINT m_nIDTracking = 0;  // prompt shown for a menu item or button, 0 when idle
  DWORD m_dwDockStyle = 0;

 protected:
  BOOL PreCreateWindow(CREATESTRUCTA& cs) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnSize(UINT nType, int cx, int cy) override;
  void PostNcDestroy() override;

  void OnViewToolbar() { ToggleBar(ID_VIEW_TOOLBAR); }
  void OnViewStatusBar() { ToggleBar(ID_VIEW_STATUS_BAR); }
  void OnUpdateViewToolbar(CCmdUI* pCmdUI) { UpdateBarCheck(pCmdUI); }
  void OnUpdateViewStatusBar(CCmdUI* pCmdUI) { UpdateBarCheck(pCmdUI); }

 private:
  void ToggleBar(UINT nID);
  void UpdateBarCheck(CCmdUI* pCmdUI);
  void OnInitMenuPopup(HMENU hMenu);

  std::vector<CControlBar*> m_bars;
};
