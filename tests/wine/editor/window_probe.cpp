// Writes where Tagwright's frame, view and toolbar are on the screen, for the end-to-end
// test that drives the program with the mouse.  Runs in the program's Wine desktop.
//
//   window_probe OUTPUT
//
// Lines: "frame L T R B", "client L T R B", "view L T R B", "edit L T R B LENGTH",
// "toolbar L T R B docked|floating", "save enabled|disabled" (the toolbar's Save button);
// with the About box open "about L T R B", "aboutversion TEXT", "aboutcopyright TEXT".
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

constexpr int kToolBarId = 0xE800;
constexpr int kViewId = 0xE900;
constexpr int kEditId = 101;
constexpr int kSaveCommand = 0xE103;
constexpr int kAboutVersionId = 1001;
constexpr int kAboutCopyrightId = 1003;

struct Search {
  HWND frame;
  HWND bar;
};

BOOL CALLBACK FindFloatingBar(HWND hWnd, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  if (GetWindow(hWnd, GW_OWNER) != search->frame) return TRUE;
  if (HWND bar = GetDlgItem(hWnd, kToolBarId)) {
    search->bar = bar;
    return FALSE;
  }
  return TRUE;
}

void Print(FILE* out, const char* name, RECT rc, const char* extra = "") {
  fprintf(out, "%s %ld %ld %ld %ld%s\n", name, rc.left, rc.top, rc.right, rc.bottom, extra);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const HWND frame = FindWindowA(nullptr, "Tagwright");
  if (!frame) return 1;
  FILE* out = fopen(argv[1], "w");
  if (!out) return 1;

  RECT rc;
  GetWindowRect(frame, &rc);
  Print(out, "frame", rc);
  GetClientRect(frame, &rc);
  MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&rc), 2);
  Print(out, "client", rc);
  if (HWND view = GetDlgItem(frame, kViewId)) {
    GetWindowRect(view, &rc);
    Print(out, "view", rc);
    if (HWND edit = GetDlgItem(view, kEditId)) {
      GetWindowRect(edit, &rc);
      char length[32];
      sprintf(length, " %ld", long(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0)));
      Print(out, "edit", rc, length);
    }
  }
  Search search = {frame, GetDlgItem(frame, kToolBarId)};
  const bool docked = search.bar != nullptr;
  if (!docked) EnumWindows(FindFloatingBar, reinterpret_cast<LPARAM>(&search));
  if (search.bar) {
    GetWindowRect(search.bar, &rc);
    Print(out, "toolbar", rc, docked ? " docked" : " floating");
    const HWND buttons = GetDlgItem(search.bar, kToolBarId);
    const bool enabled = buttons && SendMessageA(buttons, TB_ISBUTTONENABLED, kSaveCommand, 0);
    fprintf(out, "save %s\n", enabled ? "enabled" : "disabled");
  }
  if (const HWND about = FindWindowA(nullptr, "About Tagwright")) {
    GetWindowRect(about, &rc);
    Print(out, "about", rc);
    char text[256];
    GetDlgItemTextA(about, kAboutVersionId, text, sizeof text);
    fprintf(out, "aboutversion %s\n", text);
    GetDlgItemTextA(about, kAboutCopyrightId, text, sizeof text);
    fprintf(out, "aboutcopyright %s\n", text);
  }
  fclose(out);
  return 0;
}
