// The main window: routing, enable rules of the edit commands, keys, menus, bars, layout.
#include "editor_harness.h"

namespace harness {
namespace {

class WindowTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    GetKeyboardState(keys_);
  }
  void TearDown() override {
    SetKeyboardState(keys_);
    EditorTest::TearDown();
  }

  // A key pressed in the edit box, through the program's own translation and dispatch.
  void Press(UINT vk, bool ctrl = false, bool shift = false, bool alt = false) {
    BYTE state[256];
    memcpy(state, keys_, sizeof state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_MENU] = alt ? 0x80 : 0;
    SetKeyboardState(state);
    MSG msg = {};
    msg.hwnd = View().m_wndEdit.m_hWnd;
    msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    msg.wParam = vk;
    msg.lParam = alt ? LPARAM(1 | (1 << 29)) : 1;
    Dispatch(msg);
    MSG queued;
    while (PeekMessageA(&queued, nullptr, 0, 0, PM_REMOVE)) Dispatch(queued);
    SetKeyboardState(keys_);
  }

  void Dispatch(MSG& msg) {
    if (frame_->PreTranslateMessage(&msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  static void SetClipboard(const char* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (text) {
      const HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
      strcpy(static_cast<char*>(GlobalLock(h)), text);
      GlobalUnlock(h);
      SetClipboardData(CF_TEXT, h);
    }
    CloseClipboard();
  }

  static std::string Clipboard() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    if (const HANDLE h = GetClipboardData(CF_TEXT)) {
      text = static_cast<const char*>(GlobalLock(h));
      GlobalUnlock(h);
    }
    CloseClipboard();
    return text;
  }

  RECT ChildRect(HWND child, HWND parent) {
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  }

  HMENU Popup(int index) {
    const HMENU popup = GetSubMenu(GetMenu(frame_->m_hWnd), index);
    frame_->SendMessage(WM_INITMENUPOPUP, WPARAM(popup), MAKELPARAM(index, FALSE));
    return popup;
  }

  static bool Grayed(HMENU menu, UINT nID) {
    return (GetMenuState(menu, nID, MF_BYCOMMAND) & MF_GRAYED) != 0;
  }

  std::string StatusText(int pane) { return frame_->m_wndStatusBar.GetPaneText(pane); }

  BYTE keys_[256];
};

TEST_F(WindowTest, CommandsReachViewFrameAndApplication) {
  Command(ID_FILE_OPEN);  // the view's
  EXPECT_EQ(prompts_.asked.size(), 1u);
  Command(ID_APP_ABOUT);  // the application's
  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_EQ(prompts_.dialogs[0], UINT(IDD_ABOUTBOX));
  const HWND bar = frame_->m_wndToolBar.m_hWnd;
  Command(ID_VIEW_TOOLBAR);  // the frame's
  EXPECT_FALSE(GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE);
  Command(ID_VIEW_TOOLBAR);
  EXPECT_TRUE(GetWindowLongA(bar, GWL_STYLE) & WS_VISIBLE);

  // Commands nobody handles are disabled and do nothing.
  EXPECT_FALSE(Enabled(ID_NEXT_PANE));
  EXPECT_FALSE(Enabled(ID_PREV_PANE));

  Command(ID_APP_EXIT);  // the application closes the main window
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

TEST_F(WindowTest, EditCommandsFollowTheStoredDescriptionNotTheEditBox) {
  SetClipboard("on the clipboard");
  OpenProfile(NewProfile("empty.icc", ""));
  EXPECT_FALSE(Enabled(ID_EDIT_UNDO));
  Type("typed");
  EXPECT_TRUE(Enabled(ID_EDIT_UNDO));
  EXPECT_FALSE(Enabled(ID_EDIT_CUT));
  EXPECT_FALSE(Enabled(ID_EDIT_COPY));
  EXPECT_FALSE(Enabled(ID_EDIT_PASTE));

  Command(ID_FILE_SAVE);
  EXPECT_TRUE(Enabled(ID_EDIT_CUT));
  EXPECT_TRUE(Enabled(ID_EDIT_COPY));
  EXPECT_TRUE(Enabled(ID_EDIT_PASTE));
  SetClipboard(nullptr);
  EXPECT_FALSE(Enabled(ID_EDIT_PASTE));

  View().m_wndEdit.SetWindowText("");
  EXPECT_TRUE(Enabled(ID_EDIT_COPY));  // still the saved text that counts

  const HMENU edit = Popup(1);
  EXPECT_FALSE(Grayed(edit, ID_EDIT_COPY));
  EXPECT_TRUE(Grayed(edit, ID_EDIT_PASTE));
}

TEST_F(WindowTest, EditKeysAreDroppedWhileTheirCommandIsDisabled) {
  SetClipboard("on the clipboard");
  OpenProfile(NewProfile("empty.icc", ""));
  Type("abc");
  View().m_wndEdit.SendMessage(EM_SETSEL, 0, -1);

  Press('C', true);
  Press(VK_INSERT, true);
  EXPECT_EQ(Clipboard(), "on the clipboard");
  Press('X', true);
  Press(VK_DELETE, false, true);
  Press('V', true);
  Press(VK_INSERT, false, true);
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "abc");

  Command(ID_FILE_SAVE);
  View().m_wndEdit.SendMessage(EM_SETSEL, 0, -1);
  Press('C', true);
  EXPECT_EQ(Clipboard(), "abc");
  Press('X', true);
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "");
  Press('V', true);
  Press('V', true);
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "abcabc");
  Press('Z', true);
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "abc");
}

TEST_F(WindowTest, F6AndShiftF6DoNothing) {
  OpenProfile(NewProfile("a.icc", "Office"));
  Type("!");
  frame_->ShowWindow(SW_SHOW);
  View().m_wndEdit.SetFocus();
  const HWND focus = GetFocus();
  Press(VK_F6);
  Press(VK_F6, false, true);
  EXPECT_EQ(GetFocus(), focus);
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "Office!");
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_TRUE(prompts_.dialogs.empty());
}

TEST_F(WindowTest, EnterStoresCarriageReturnAndLineFeed) {
  const std::string a = NewProfile("a.icc", "First");
  OpenProfile(a);
  View().m_wndEdit.SendMessage(EM_SETSEL, 5, 5);
  Press(VK_RETURN);
  Type("Second");
  Command(ID_FILE_SAVE);
  EXPECT_EQ(Inspect(a).description, "First\r\nSecond");
}

// Text beyond the edit control's default 30,000 characters is taken whole and saved, long
// lines stop wrapping (wrapping them costs time that grows with their square), and a full
// edit box is reported instead of dropping text in silence.
TEST_F(WindowTest, LongTextIsTakenWholeAndAFullEditBoxIsReported) {
  auto wraps = [&] { return !(GetWindowLongA(View().m_wndEdit.m_hWnd, GWL_STYLE) & ES_AUTOHSCROLL); };
  const std::string longText(30000, 'x');
  const std::string a = NewProfile("a.icc", longText);
  OpenProfile(a);
  EXPECT_FALSE(wraps());
  Type("!");
  Command(ID_FILE_SAVE);
  EXPECT_TRUE(Inspect(a).description == longText + "!");

  OpenProfile(NewProfile("b.icc", "Short"));
  EXPECT_TRUE(wraps());
  SetClipboard(std::string(5000, 'y').c_str());
  View().m_wndEdit.SendMessage(EM_SETSEL, 5, 5);
  Press('V', true);
  EXPECT_FALSE(wraps());
  EXPECT_EQ(View().m_wndEdit.GetWindowText(), "Short" + std::string(5000, 'y'));
  EXPECT_TRUE(Enabled(ID_FILE_SAVE));
  EXPECT_TRUE(prompts_.boxes.empty());

  View().m_wndEdit.SendMessage(EM_SETLIMITTEXT, 10);
  Type("more");
  ASSERT_FALSE(prompts_.boxes.empty());
  EXPECT_EQ(prompts_.boxes[0].type, UINT(MB_ICONWARNING));
}

TEST_F(WindowTest, LayoutStaysAndTitleNeverChanges) {
  frame_->ShowWindow(SW_SHOW);
  RECT frameRect;
  GetWindowRect(frame_->m_hWnd, &frameRect);
  EXPECT_EQ(frameRect.right - frameRect.left, 400);
  EXPECT_EQ(frameRect.bottom - frameRect.top, 300);

  auto editRect = [&] {
    RECT rc;
    GetWindowRect(View().m_wndEdit.m_hWnd, &rc);
    RECT client = {0, 0, 0, 0};
    MapWindowPoints(View().m_hWnd, nullptr, reinterpret_cast<POINT*>(&client), 1);
    OffsetRect(&rc, -client.left, -client.top);
    return rc;
  };
  // The label "Filename: " is painted at (20, 14) in the view, in the text colour.
  auto labelPainted = [&] {
    frame_->UpdateWindow();
    const HDC dc = GetDC(View().m_hWnd);
    int dark = 0;
    for (int y = 14; y < 28; ++y)
      for (int x = 20; x < 60; ++x)
        if (GetPixel(dc, x, y) == GetSysColor(COLOR_WINDOWTEXT)) ++dark;
    ReleaseDC(View().m_hWnd, dc);
    return dark > 10;
  };
  RECT rc = editRect();
  EXPECT_EQ(rc.left, 20);
  EXPECT_EQ(rc.top, 60);
  EXPECT_EQ(rc.right, 360);
  EXPECT_EQ(rc.bottom, 160);
  EXPECT_TRUE(labelPainted());

  for (SIZE size : {SIZE{700, 520}, SIZE{260, 180}}) {
    SetWindowPos(frame_->m_hWnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
    rc = editRect();
    EXPECT_EQ(rc.left, 20);
    EXPECT_EQ(rc.top, 60);
    EXPECT_EQ(rc.right, 360);
    EXPECT_EQ(rc.bottom, 160);
  }
  SetWindowPos(frame_->m_hWnd, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(labelPainted());

  EXPECT_EQ(frame_->GetWindowText(), "Tagwright");
  OpenProfile(NewProfile("a.icc", "Office"));
  Type("!");
  SaveAs(Path("b.icc"));
  EXPECT_EQ(AfxNarrow(View().m_strFileName), "b.icc");
  EXPECT_EQ(frame_->GetWindowText(), "Tagwright");
}

TEST_F(WindowTest, MenusAreEnabledAndCheckedFromTheRules) {
  HMENU file = Popup(0);
  EXPECT_FALSE(Grayed(file, ID_FILE_OPEN));
  EXPECT_TRUE(Grayed(file, ID_FILE_SAVE));
  EXPECT_TRUE(Grayed(file, ID_FILE_SAVE_AS));
  EXPECT_FALSE(Grayed(file, ID_APP_EXIT));
  OpenProfile(NewProfile("a.icc", "Office"));
  Type("!");
  file = Popup(0);
  EXPECT_FALSE(Grayed(file, ID_FILE_SAVE));

  HMENU view = Popup(2);
  EXPECT_TRUE(GetMenuState(view, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_TRUE(GetMenuState(view, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED);
  const RECT before = ChildRect(View().m_hWnd, frame_->m_hWnd);
  Command(ID_VIEW_STATUS_BAR);
  Command(ID_VIEW_TOOLBAR);
  view = Popup(2);
  EXPECT_FALSE(GetMenuState(view, ID_VIEW_TOOLBAR, MF_BYCOMMAND) & MF_CHECKED);
  EXPECT_FALSE(GetMenuState(view, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED);
  const RECT after = ChildRect(View().m_hWnd, frame_->m_hWnd);
  EXPECT_LT(after.top, before.top);        // the view takes the room of both bars
  EXPECT_GT(after.bottom, before.bottom);
}

TEST_F(WindowTest, StatusBarShowsPromptsReadyAndKeyIndicators) {
  EXPECT_EQ(StatusText(0), "Ready");
  frame_->SendMessage(WM_MENUSELECT, MAKEWPARAM(ID_FILE_OPEN, MF_STRING), 0);
  EXPECT_EQ(StatusText(0), "Open existing color profile");
  frame_->SendMessage(WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
  EXPECT_EQ(StatusText(0), "Ready");

  NMTBHOTITEM hot = {};
  hot.hdr = {frame_->m_wndToolBar.m_hToolBar, AFX_IDW_TOOLBAR, UINT(TBN_HOTITEMCHANGE)};
  hot.idNew = ID_EDIT_PASTE;
  frame_->m_wndToolBar.SendMessage(WM_NOTIFY, AFX_IDW_TOOLBAR, LPARAM(&hot));
  EXPECT_EQ(StatusText(0), "Insert Clipboard contents");
  hot.dwFlags = HICF_LEAVING;
  frame_->m_wndToolBar.SendMessage(WM_NOTIFY, AFX_IDW_TOOLBAR, LPARAM(&hot));
  EXPECT_EQ(StatusText(0), "Ready");
  // Left without a word from the control: the idle update notices.
  hot.dwFlags = 0;
  frame_->m_wndToolBar.SendMessage(WM_NOTIFY, AFX_IDW_TOOLBAR, LPARAM(&hot));
  SendMessageA(frame_->m_wndToolBar.m_hToolBar, TB_SETHOTITEM, WPARAM(-1), 0);
  frame_->OnIdleUpdate();
  EXPECT_EQ(StatusText(0), "Ready");

  BYTE state[256];
  memcpy(state, keys_, sizeof state);
  state[VK_CAPITAL] = 1;
  state[VK_NUMLOCK] = 0;
  state[VK_SCROLL] = 1;
  SetKeyboardState(state);
  frame_->OnIdleUpdate();
  EXPECT_EQ(StatusText(1), "CAP");
  EXPECT_EQ(StatusText(2), "");
  EXPECT_EQ(StatusText(3), "SCRL");
  state[VK_CAPITAL] = 0;
  state[VK_NUMLOCK] = 1;
  SetKeyboardState(state);
  frame_->OnIdleUpdate();
  EXPECT_EQ(StatusText(1), "");
  EXPECT_EQ(StatusText(2), "NUM");
}

TEST_F(WindowTest, ToolbarButtonsTipsAndIdleEnabling) {
  const HWND tb = frame_->m_wndToolBar.m_hToolBar;
  EXPECT_EQ(SendMessageA(tb, TB_BUTTONCOUNT, 0, 0), 6);
  const UINT order[] = {ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE};
  for (int i = 0; i < 6; ++i) {
    TBBUTTON b = {};
    SendMessageA(tb, TB_GETBUTTON, i, LPARAM(&b));
    EXPECT_EQ(UINT(b.idCommand), order[i]);
  }
  EXPECT_EQ(LOWORD(SendMessageA(tb, TB_GETBUTTONSIZE, 0, 0)), 27);

  frame_->OnIdleUpdate();
  EXPECT_TRUE(SendMessageA(tb, TB_ISBUTTONENABLED, ID_FILE_OPEN, 0));
  EXPECT_FALSE(SendMessageA(tb, TB_ISBUTTONENABLED, ID_FILE_SAVE, 0));
  OpenProfile(NewProfile("a.icc", "Office"));
  Type("!");
  frame_->OnIdleUpdate();
  EXPECT_TRUE(SendMessageA(tb, TB_ISBUTTONENABLED, ID_FILE_SAVE, 0));
  EXPECT_TRUE(SendMessageA(tb, TB_ISBUTTONENABLED, ID_EDIT_COPY, 0));

  const std::pair<UINT, const char*> tips[] = {{ID_FILE_OPEN, "Open"}, {ID_FILE_SAVE, "Save"},
      {ID_EDIT_CUT, "Cut"}, {ID_EDIT_COPY, "Copy"}, {ID_EDIT_PASTE, "Paste"}};
  for (const auto& tip : tips) {
    NMTTDISPINFOA info = {};
    info.hdr = {tb, tip.first, UINT(TTN_GETDISPINFOA)};
    frame_->m_wndToolBar.SendMessage(WM_NOTIFY, 0, LPARAM(&info));
    EXPECT_STREQ(info.lpszText, tip.second);
  }

  // A click on a button is the frame's command, dropped while disabled.
  prompts_.box_answers = {IDNO};  // not saved before Open
  frame_->m_wndToolBar.SendMessage(WM_COMMAND, ID_FILE_OPEN, LPARAM(tb));
  EXPECT_EQ(prompts_.asked.size(), 2u);
  Command(ID_FILE_SAVE);  // clean again: Save and Save As are disabled
  frame_->m_wndToolBar.SendMessage(WM_COMMAND, ID_FILE_SAVE, LPARAM(tb));
  frame_->m_wndToolBar.SendMessage(WM_COMMAND, ID_FILE_SAVE_AS, LPARAM(tb));
  EXPECT_EQ(prompts_.asked.size(), 2u);
  EXPECT_EQ(prompts_.boxes.size(), 1u);
}

TEST_F(WindowTest, ToolbarDocksOnEverySideAndFloats) {
  frame_->ShowWindow(SW_SHOW);
  CToolBar& bar = frame_->m_wndToolBar;
  const HWND view = View().m_hWnd;
  RECT client;
  GetClientRect(frame_->m_hWnd, &client);

  // Dragged by its gripper to the left side of the frame.
  bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
  POINT drop = {5, client.bottom / 2};
  MapWindowPoints(frame_->m_hWnd, bar.m_hWnd, &drop, 1);
  bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(drop.x, drop.y));
  EXPECT_EQ(bar.GetBarStyle() & CBRS_ALIGN_ANY, CBRS_ALIGN_LEFT);
  RECT rb = ChildRect(bar.m_hWnd, frame_->m_hWnd);
  RECT rv = ChildRect(view, frame_->m_hWnd);
  EXPECT_EQ(rb.left, 0);
  EXPECT_EQ(rb.top, 0);
  EXPECT_GT(rb.bottom - rb.top, rb.right - rb.left);  // a column of buttons
  EXPECT_EQ(rv.left, rb.right);
  EXPECT_EQ(rv.top, 0);

  frame_->DockControlBar(&bar, CBRS_ALIGN_RIGHT);
  rb = ChildRect(bar.m_hWnd, frame_->m_hWnd);
  rv = ChildRect(view, frame_->m_hWnd);
  EXPECT_EQ(rb.right, client.right);
  EXPECT_EQ(rv.right, rb.left);

  frame_->DockControlBar(&bar, CBRS_ALIGN_BOTTOM);
  rb = ChildRect(bar.m_hWnd, frame_->m_hWnd);
  rv = ChildRect(view, frame_->m_hWnd);
  EXPECT_EQ(rv.bottom, rb.top);
  EXPECT_GT(rb.right - rb.left, rb.bottom - rb.top);

  // Dropped away from every side it floats in a small window of its own...
  bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
  POINT away = {client.right / 2, client.bottom / 2};
  MapWindowPoints(frame_->m_hWnd, bar.m_hWnd, &away, 1);
  bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(away.x, away.y));
  ASSERT_TRUE(bar.IsFloating());
  EXPECT_TRUE(IsWindowVisible(bar.m_hFloatWnd));
  EXPECT_EQ(GetParent(bar.m_hWnd), bar.m_hFloatWnd);
  EXPECT_EQ(GetWindow(bar.m_hFloatWnd, GW_OWNER), frame_->m_hWnd);
  rv = ChildRect(view, frame_->m_hWnd);
  EXPECT_EQ(rv.top, 0);
  // ...hidden and shown with it from the View menu...
  Command(ID_VIEW_TOOLBAR);
  EXPECT_FALSE(IsWindowVisible(bar.m_hFloatWnd));
  Command(ID_VIEW_TOOLBAR);
  EXPECT_TRUE(IsWindowVisible(bar.m_hFloatWnd));
  // ...and docks again when dragged back over a side.
  POINT top = {client.right / 2, 3};
  MapWindowPoints(frame_->m_hWnd, bar.m_hWnd, &top, 1);
  bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
  bar.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(top.x, top.y));
  EXPECT_FALSE(bar.IsFloating());
  EXPECT_EQ(GetParent(bar.m_hWnd), frame_->m_hWnd);
  EXPECT_EQ(bar.GetBarStyle() & CBRS_ALIGN_ANY, CBRS_ALIGN_TOP);
  rb = ChildRect(bar.m_hWnd, frame_->m_hWnd);
  rv = ChildRect(view, frame_->m_hWnd);
  EXPECT_EQ(rv.top, rb.bottom);
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(WindowTest, AboutBoxFromItsResource) {
  const HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX),
                                        nullptr, IgnoreMessages, 0);
  ASSERT_NE(about, nullptr);
  char text[64];
  GetWindowTextA(about, text, sizeof text);
  EXPECT_STREQ(text, "About Tagwright");
  // The version and the copyright come from the version resource of the program.
  EXPECT_EQ(CAboutDlg::VersionLine(nullptr), L"Tagwright 1.0.0.1");
  EXPECT_EQ(CAboutDlg::CopyrightLine(nullptr), L"Copyright \u00a9 2026 Veltro programs");
  GetDlgItemTextA(about, IDOK, text, sizeof text);
  EXPECT_STREQ(text, "OK");
  EXPECT_TRUE(GetWindowLongA(GetDlgItem(about, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
  DestroyWindow(about);
}

}  // namespace
}  // namespace harness
