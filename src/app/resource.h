// Resource identifiers of Tolvane, grouped by dialog.
#pragma once

// Main dialog (template 101) and its controls.
#define IDD_MAIN     101
#define IDC_JOB_LIST 102
#define IDC_ADD      103
#define IDC_REMOVE   104
#define IDC_STATUS   105
#define IDC_START    106
#define IDC_STOP     107
// <winuser.h> uses IDC_HELP for a system cursor; here it is the Help button.
#ifdef IDC_HELP
#undef IDC_HELP
#endif
#define IDC_HELP                108
#define IDC_PROGRESS            110
#define IDC_IDLE_PRIORITY       111
#define IDC_OUTPUT_FORMAT       112
#define IDC_OUTPUT_FORMAT_LABEL 113
#define IDC_CONTINUE_ON_FAILURE 114
#define IDC_FAST_PACING         115
#define IDC_WHEN_DONE           116
#define IDC_WHEN_DONE_LABEL     117

// The countdown before the PC sleeps or shuts down after a run (template 130).
#define IDD_COUNTDOWN      130
#define IDC_COUNTDOWN_TEXT 131

// The job list's context menu; automation may send these commands too.
#define IDC_OPEN_JOB_LIST    120
#define IDC_SAVE_JOB_LIST    121
#define IDC_REMOVE_DONE_JOBS 122
#define IDC_SHOW_OUTPUT      123

// Application icon.
#define IDI_APP 109
