// Simple MAPI records and constants, as published in mapi.h, for 64-bit
// Windows. The values are macros, as in the SDK header, so both can meet
// in one translation unit.
#ifndef QV_MAPI_TYPES_H
#define QV_MAPI_TYPES_H

#include <stddef.h>

#include "mapi/mapi_records.h"

#ifndef SUCCESS_SUCCESS
#define SUCCESS_SUCCESS 0
#endif
#ifndef MAPI_E_FAILURE
#define MAPI_E_FAILURE 2
#endif
#ifndef MAPI_E_INVALID_RECIPS
#define MAPI_E_INVALID_RECIPS 25
#endif
#ifndef MAPI_E_NOT_SUPPORTED
#define MAPI_E_NOT_SUPPORTED 26
#endif

#ifndef MAPI_ORIG
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3
#endif

#ifndef MAPI_DIALOG
#define MAPI_DIALOG 0x00000008
#endif
#ifndef MAPI_LOGON_UI
#define MAPI_LOGON_UI 0x00000001
#endif
#ifndef MAPI_LONG_MSGID
#define MAPI_LONG_MSGID 0x00004000
#endif
#ifndef MAPI_FORCE_UNICODE
#define MAPI_FORCE_UNICODE 0x00040000
#endif
#ifndef MAPI_NEW_SESSION
#define MAPI_NEW_SESSION 0x00000002
#endif

// The 64-bit layout the exports are built against.
static_assert(sizeof(void *) == 8, "qvmapi is a 64-bit library");
static_assert(sizeof(ULONG) == 4 && sizeof(FLAGS) == 4, "ULONG is 32 bits");
static_assert(sizeof(LHANDLE) == 8, "LHANDLE is pointer-sized");

static_assert(sizeof(MapiRecipDesc) == 40, "MapiRecipDesc size");
static_assert(offsetof(MapiRecipDesc, ulReserved) == 0, "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, ulRecipClass) == 4, "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, lpszName) == 8, "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, lpszAddress) == 16, "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, ulEIDSize) == 24, "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, lpEntryID) == 32, "MapiRecipDesc");

static_assert(sizeof(MapiFileDesc) == 40, "MapiFileDesc size");
static_assert(offsetof(MapiFileDesc, ulReserved) == 0, "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, flFlags) == 4, "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, nPosition) == 8, "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, lpszPathName) == 16, "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, lpszFileName) == 24, "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, lpFileType) == 32, "MapiFileDesc");

static_assert(sizeof(MapiMessage) == 96, "MapiMessage size");
static_assert(offsetof(MapiMessage, ulReserved) == 0, "MapiMessage");
static_assert(offsetof(MapiMessage, lpszSubject) == 8, "MapiMessage");
static_assert(offsetof(MapiMessage, lpszNoteText) == 16, "MapiMessage");
static_assert(offsetof(MapiMessage, lpszMessageType) == 24, "MapiMessage");
static_assert(offsetof(MapiMessage, lpszDateReceived) == 32, "MapiMessage");
static_assert(offsetof(MapiMessage, lpszConversationID) == 40, "MapiMessage");
static_assert(offsetof(MapiMessage, flFlags) == 48, "MapiMessage");
static_assert(offsetof(MapiMessage, lpOriginator) == 56, "MapiMessage");
static_assert(offsetof(MapiMessage, nRecipCount) == 64, "MapiMessage");
static_assert(offsetof(MapiMessage, lpRecips) == 72, "MapiMessage");
static_assert(offsetof(MapiMessage, nFileCount) == 80, "MapiMessage");
static_assert(offsetof(MapiMessage, lpFiles) == 88, "MapiMessage");

// The W records share the layout, text pointers and all.
static_assert(sizeof(WCHAR) == 2, "UTF-16 code units");
static_assert(sizeof(MapiRecipDescW) == 40, "MapiRecipDescW size");
static_assert(offsetof(MapiRecipDescW, ulRecipClass) == 4, "MapiRecipDescW");
static_assert(offsetof(MapiRecipDescW, lpszName) == 8, "MapiRecipDescW");
static_assert(offsetof(MapiRecipDescW, lpszAddress) == 16, "MapiRecipDescW");
static_assert(offsetof(MapiRecipDescW, ulEIDSize) == 24, "MapiRecipDescW");
static_assert(offsetof(MapiRecipDescW, lpEntryID) == 32, "MapiRecipDescW");
static_assert(sizeof(MapiFileDescW) == 40, "MapiFileDescW size");
static_assert(offsetof(MapiFileDescW, nPosition) == 8, "MapiFileDescW");
static_assert(offsetof(MapiFileDescW, lpszPathName) == 16, "MapiFileDescW");
static_assert(offsetof(MapiFileDescW, lpszFileName) == 24, "MapiFileDescW");
static_assert(offsetof(MapiFileDescW, lpFileType) == 32, "MapiFileDescW");
static_assert(sizeof(MapiMessageW) == 96, "MapiMessageW size");
static_assert(offsetof(MapiMessageW, lpszSubject) == 8, "MapiMessageW");
static_assert(offsetof(MapiMessageW, lpszNoteText) == 16, "MapiMessageW");
static_assert(offsetof(MapiMessageW, lpszConversationID) == 40, "MapiMessageW");
static_assert(offsetof(MapiMessageW, flFlags) == 48, "MapiMessageW");
static_assert(offsetof(MapiMessageW, lpOriginator) == 56, "MapiMessageW");
static_assert(offsetof(MapiMessageW, nRecipCount) == 64, "MapiMessageW");
static_assert(offsetof(MapiMessageW, lpRecips) == 72, "MapiMessageW");
static_assert(offsetof(MapiMessageW, nFileCount) == 80, "MapiMessageW");
static_assert(offsetof(MapiMessageW, lpFiles) == 88, "MapiMessageW");

#endif
