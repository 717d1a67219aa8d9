// Resource and control identifiers of the main dialog.
#pragma once

#define IDD_MAIN 101
#define IDI_VELMORA 102

#define IDC_SETTINGS_GROUP 1001
#define IDC_CHAR_COMMAND_CHECK 1002
#define IDC_PORT_COMBO 1003
#define IDC_PORT_LABEL 1011
#define IDC_FILE_NAME 1016
#define IDC_BROWSE 1021
#define IDC_WRITE 1022
#define IDC_STATUS 1023
#define IDC_LOG 1026
#define IDC_PROGRESS 1027
