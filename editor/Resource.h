// Resource numbers of Tagwright.  The command identifiers are the framework's.
#pragma once

#include "framework/FrameworkIds.h"

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDC_DESCRIPTION 101
#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_TEXT 1002
#define IDC_ABOUT_COPYRIGHT 1003
#define IDD_FINDINGS 102
#define IDC_FINDINGS_LIST 1004
#define IDC_FINDINGS_COPY 1005
#define ID_FILE_CHECK 0x8001
