// Ids of the test dialog; the driver test refers to them by number.
#pragma once

#define IDD_TESTDLG 100
#define IDC_PROMPT 101
#define IDC_TEXT 102
#define IDC_SHOW 103
