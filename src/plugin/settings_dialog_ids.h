// Resource and control numbers of the plug-in's settings dialog, shared by
// the resource script and the dialog procedure (and the tests that drive it).
#pragma once

#define PLOTMIRA_IDD_SETTINGS 100
#define PLOTMIRA_IDC_DRAWING_WIDTH 1001
#define PLOTMIRA_IDC_FIGURE_WIDTH 1002
#define PLOTMIRA_IDC_REFERENCE_FILE 1003
#define PLOTMIRA_IDC_BROWSE 1004
