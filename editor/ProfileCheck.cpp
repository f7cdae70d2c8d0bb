#include "ProfileCheck.h"

#include <memory>

#include "Resource.h"
#include "colour_service.h"
#include "doctor.h"

BOOL CheckProfileFile(const std::wstring& strPath, icc::CheckReport* pReport) {
  std::unique_ptr<icc::SourceFile> file;
  icc::Result r = colour::OpenFileForReading(strPath.c_str(), &file);
  if (r.ok()) r = doctor::CheckProfile(*file, pReport);
  if (r.ok()) return TRUE;
  SetLastError(r.status == icc::Status::Io ? r.os_error : ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

std::string HealthMessage(const icc::CheckReport& report) {
  const std::size_t errors = report.Count(icc::Severity::Error);
  if (errors == 0) return std::string();
  return "This profile has " + std::to_string(errors) + (errors == 1 ? " error" : " errors") +
         " (" + icc::HealthText(report) + "): File > Check Profile lists them.";
}

std::wstring FindingsText(const std::wstring& strFileName, const icc::CheckReport& report) {
  std::string text = ": " + icc::HealthText(report) + "\r\n";
  for (const icc::Finding& f : report.findings) text += icc::FindingLine(f) + "\r\n";
  return strFileName + AfxWiden(text);
}

CFindingsDlg::CFindingsDlg(std::wstring strText, CWnd* pParentWnd)
    : CDialog(IDD_FINDINGS, pParentWnd), m_strText(std::move(strText)) {}

BOOL CFindingsDlg::OnInitDialog() {
  SetDlgItemTextW(m_hWnd, IDC_FINDINGS_LIST, m_strText.c_str());
  return TRUE;
}

INT_PTR CFindingsDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COMMAND || LOWORD(wParam) != IDC_FINDINGS_COPY)
    return CDialog::DialogProc(message, wParam, lParam);
  // The whole list onto the clipboard as text.
  if (!OpenClipboard(m_hWnd)) return TRUE;
  EmptyClipboard();
  const SIZE_T bytes = (m_strText.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* p = GlobalLock(memory)) {
      memcpy(p, m_strText.c_str(), bytes);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
  return TRUE;
}
