// The ids of the resource script: the control ids that the dialog templates and the code
// share, and the menu command.
#ifndef ARMLINK_RESOURCES_RESOURCE_H
#define ARMLINK_RESOURCES_RESOURCE_H

// Controls never addressed by the code.
#define IDC_UNUSED 65535

// Every dialog: its button (1), the cancel command (2) and the status line.
#define IDC_BUTTON 1
#define IDC_CANCEL_BUTTON 2
#define IDC_STATUS_TEXT 1028

// VOLUME_DLG: where the log was saved.
#define IDC_LOG_PATH_TEXT 1030
#define IDC_LOG_PATH_LABEL 1031

// STATS_DLG: current values, logged count, last error numbers, changes, point rates.
#define IDC_CAPTURES 1032
#define IDC_ASYNC_CAPTURES 1033
#define IDC_CRC_ERRORS 1034
#define IDC_STALL_COUNT 1035
#define IDC_RETRY_COUNT 1036
#define IDC_BOUNCES 1037
#define IDC_SDA_SCL_ERRORS 1038
#define IDC_ADDRESS_ERRORS 1039
#define IDC_POINTS_PER_SECOND 1040
#define IDC_ERRORS_LOGGED 1041
#define IDC_LAST_ERROR 1042
#define IDC_LAST_EXTENDED 1043
#define IDC_CHANGE_CAPTURES 1044
#define IDC_CHANGE_ASYNC_CAPTURES 1045
#define IDC_CHANGE_CRC_ERRORS 1046
#define IDC_CHANGE_STALL_COUNT 1047
#define IDC_CHANGE_RETRY_COUNT 1048
#define IDC_CHANGE_BOUNCES 1049
#define IDC_CHANGE_SDA_SCL_ERRORS 1050
#define IDC_CHANGE_ADDRESS_ERRORS 1051
#define IDC_MIN_POINTS 1052
#define IDC_MAX_POINTS 1053

// ERROR_DISPLAY_DLG: the report and the save button.
#define IDC_REPORT_TEXT 1053
#define IDC_SAVE_BUTTON 1054

// ExampleMenu: File, Exit.
#define IDM_EXIT 40001

#endif
