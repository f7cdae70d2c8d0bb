// File > Check Profile: the profile doctor's findings on the open profile in a dialog whose
// list can be selected and copied, and the status bar's word on a profile opened with errors.
#pragma once

#include <string>

#include "framework/Framework.h"
#include "profile_check.h"

// Checks the file as it is stored now.  FALSE with the last-error value set when the file
// cannot be read.
BOOL CheckProfileFile(const std::wstring& strPath, icc::CheckReport* pReport);

// The status bar's message for a profile just opened: empty when it has no errors.
std::string HealthMessage(const icc::CheckReport& report);

// The findings, one per line, under a line with the file's name and the verdict.
std::wstring FindingsText(const std::wstring& strFileName, const icc::CheckReport& report);

class CFindingsDlg : public CDialog {
 public:
  CFindingsDlg(std::wstring strText, CWnd* pParentWnd);

 protected:
  BOOL OnInitDialog() override;
  INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring m_strText;
};
