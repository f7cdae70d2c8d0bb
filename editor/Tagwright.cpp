// The program's entry: the one application object, then start-up and the message loop.
#include "TagwrightApp.h"

CTagwrightApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CWinApp* pApp = AfxGetApp();
  if (!pApp->InitInstance()) {
    if (pApp->m_pMainWnd) pApp->m_pMainWnd->DestroyWindow();
    return pApp->ExitInstance();
  }
  return pApp->Run();
}
