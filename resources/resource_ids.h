/* Resource names and control ids of the FRONTAL dialog. Plain C macros only:
   the resource compiler reads this file as well as the C++ code. */
#ifndef LOCSTR_RESOURCE_IDS_H
#define LOCSTR_RESOURCE_IDS_H

#define DLG_FRONTAL "FRONTAL"
#define ICON_VARNOK "VARNOK"

#define IDC_CLOSE 2 /* also IDCANCEL: Esc closes the program */
#define IDC_INTERFACE_LIST 1000
#define IDC_OPEN 1001
#define IDC_STATUS 1002
#define IDC_MESSAGE 1003
#define IDC_PELLION_ID 1004
#define IDC_TX_TIMER 1006
#define IDC_TX_TIMER_LABEL 1007
#define IDC_AUTO_EXECUTE 1009
#define IDC_EXECUTE 1010
#define IDC_ASCII 1012
#define IDC_HEX 1013
/* Shared by every label and group box; nothing reacts to it. */
#define IDC_STATIC_ID 65535

#endif
