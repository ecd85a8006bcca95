#pragma once

// Resource and item ids shared by the resource script and the code.
#define IDD_QUALITY 104
#define QUALITY_DIALOG_CAPTION "VireoPlugin Properties"
#define IDC_ABOUT_TEXT 1001
#define IDC_REALTIME 1002
#define IDC_EVERY_FRAME 1003
#define IDS_PLUGIN_NAME 102
#define IDS_PLUGIN_DESCRIPTION 103
