// Identifiers of commands, strings and windows that the framework itself knows about.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define ID_FILE_OPEN 0xE101
#define ID_FILE_SAVE 0xE103
#define ID_FILE_SAVE_AS 0xE104
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_CUT 0xE123
#define ID_EDIT_PASTE 0xE125
#define ID_EDIT_UNDO 0xE12B
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151

#define ID_INDICATOR_CAPS 0xE701
#define ID_INDICATOR_NUM 0xE702
#define ID_INDICATOR_SCRL 0xE703

#define ID_VIEW_TOOLBAR 0xE800
#define ID_VIEW_STATUS_BAR 0xE801

#define AFX_IDW_TOOLBAR 0xE800
#define AFX_IDW_STATUS_BAR 0xE801
#define AFX_IDW_PANE_FIRST 0xE900

#define AFX_IDS_APP_TITLE 0xE000
#define AFX_IDS_IDLEMESSAGE 0xE001

// Resource type of a toolbar layout: version, button width, height, count, then the
// command of every button (0 for a separator).
#define RT_TOOLBAR_LAYOUT 241

// Posted to the frame after a command: update the bars from the enable rules.
#define WM_IDLEUPDATECMDUI 0x0364
