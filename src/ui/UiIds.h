// Control ids of the message window DLG_MESSAGE and of the text query
// DLG_INPUTQUERYSTR. The dialogs themselves are named resources.
#pragma once

#define IDC_MESSAGE_ICON 100
#define IDC_MESSAGE_TEXT 101

#define IDC_QUERY_PROMPT 100
#define IDC_QUERY_EDIT 101
#define IDC_QUERY_OK 102
#define IDC_QUERY_CANCEL 103
