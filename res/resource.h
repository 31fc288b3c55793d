// Resource ids shared by the resource script and the code.
#pragma once

#define IDS_APP_TITLE 103
#define IDS_HELLO 106
#define IDC_STAGERUN 109
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDD_INSTALL_ENGLISH 103
#define IDD_INSTALL_KOREAN 132
#define IDI_STAGERUN 162
#define IDB_SETUP 171
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
