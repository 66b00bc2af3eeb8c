#pragma once
// Resource ids shared by the resource script and the code.

#define IDS_APP_NAME 57344
#define IDS_NETWORKING_FAILED 3024
#define IDS_ALREADY_RUNNING 3019

// Texts the code loads by id (the pages' control texts are keyed by control id).
#define IDS_ABOUT_ITEM 16
#define IDS_WIZARD_CAPTION 100
#define IDS_DOWNLOADING 3001
#define IDS_EXTRACTING 3002
#define IDS_INSTALLING 3003
#define IDS_DONE 3004
#define IDS_DOWNLOADED_AT 3005
#define IDS_CANCEL_QUESTION 3015
#define IDS_INTERRUPTED_TITLE 3016
#define IDS_INTERRUPTED_TEXT 3018
#define IDS_ERROR_TITLE 3021
#define IDS_ERROR_TEXT 3022
#define IDS_FIRST_PAGE_TOO_LATE 3025
#define IDS_NO_PAGES 3026
#define IDS_NO_PAGE_ORDER 3027
#define IDS_SCANNING 3037
#define IDS_TRAY_TITLE 3038
#define IDS_TRAY_TEXT 3039
#define IDS_INITIALIZING 3040
#define IDS_DOWNLOAD_UNREACHABLE 3041
#define IDS_DOWNLOAD_NOT_FOUND 3042
#define IDS_DOWNLOAD_INTERRUPTED 3043
#define IDS_DOWNLOAD_NO_ANSWER 3044
#define IDS_STOPPING 3045

#define IDR_BUILD_CONFIG 1
#define RT_BUILD_CONFIG 33

// Custom resource types of the wizard's pages.
#define RT_FONT_STYLE 30        // LOGFONTW per control id, height in points
#define RT_TEXT_COLOUR 31       // COLORREF per static control id
#define RT_RICH_TEXT 32         // RTF per rich edit control id, per language
#define RT_COMPRESSED_IMAGE 34  // bzip2-compressed bitmap file per image id

#define IDI_APPLICATION_ICON 1

// Dialog templates.
#define IDD_MAIN_WINDOW 100
#define IDD_WELCOME 101
#define IDD_LICENSE 102
#define IDD_FINISHED 103
#define IDD_PROGRESS 104
#define IDD_INITIALIZATION 105
#define IDD_ABOUT 106
#define IDD_NOX_OFFER 108
#define IDD_GEARFRESH_OFFER 528
#define IDD_EMPTY_BOX 30734

// Controls with one role on every page.
#define IDC_FINISH 12
#define IDC_BACK 1000
#define IDC_NEXT 1001
#define IDC_AGREE 1002
#define IDC_TITLE 1003
#define IDC_INTRO_TEXT 1005
#define IDC_LICENSE_TEXT 1006
#define IDC_STEP_BAR 1007
#define IDC_STEP_TEXT 1008
#define IDC_TASK_TEXT 1009
#define IDC_TASK_BAR 1010
#define IDC_FINISHED_TITLE 1011
#define IDC_FINISHED_TEXT 1012
#define IDC_LAUNCH_CHECK 1013
#define IDC_DECLINE 1016
#define IDC_ACCEPT 1026
#define IDC_HEADER_MARKER 1028
#define IDC_BANNER 1039
#define IDC_ETCHED_LINE 1057
#define IDC_NOX_HEADER 1038
#define IDC_NOX_LOGO 1073
#define IDC_GEARFRESH_LOGO 1074
#define IDC_NOX_LEAD_IN 1086
#define IDC_NOX_BODY 1087
#define IDC_NOX_LEGAL 1088
#define IDC_GEARFRESH_HEADER 1089
#define IDC_GEARFRESH_LEAD_IN 1090
#define IDC_GEARFRESH_BODY 1091
#define IDC_GEARFRESH_LEGAL 1092
#define IDC_BONUS_CAPTION 1093
#define IDC_ABOUT_CLOSE 8
#define IDC_ABOUT_PRODUCT 1022
#define IDC_ABOUT_COPYRIGHT 1023
#define IDC_ABOUT_FRAMEWORK 1024
#define IDC_ABOUT_BUILD_TIME 1034

// Images (type 34).
#define IDB_BANNER 500
#define IDB_SIDE_PICTURE 501
#define IDB_NOX_LOGO 512
#define IDB_GEARFRESH_LOGO 514
