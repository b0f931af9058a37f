// The published Simple MAPI types, records and constants, as mapi.h has
// them, in their 64-bit (and, for the 32-bit DLL, 32-bit) layout: 8-bit
// texts, and the W records with UTF-16 texts. The exports (mapi/), the
// hand-off (handoff/) and qvmapi-check (check/) all read the records a
// caller hands in from here; the library never changes them. The values are
// macros, as in the SDK header, so that both can meet in one translation
// unit (mapi/sdk_check.cpp).
#ifndef QV_INCLUDE_QVMAPI_MAPI_H
#define QV_INCLUDE_QVMAPI_MAPI_H

#include <stddef.h>

#include "platform/types.h"

typedef ULONG FLAGS;
typedef ULONG *LPULONG;
typedef ULONG_PTR LHANDLE, *LPLHANDLE;

typedef struct {
  ULONG ulReserved;
  ULONG ulRecipClass;
  LPSTR lpszName;
  LPSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
} MapiRecipDesc, *lpMapiRecipDesc;

typedef struct {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;
  LPSTR lpszPathName;
  LPSTR lpszFileName;
  LPVOID lpFileType;
} MapiFileDesc, *lpMapiFileDesc;

typedef struct {
  ULONG ulReserved;
  LPSTR lpszSubject;
  LPSTR lpszNoteText;
  LPSTR lpszMessageType;
  LPSTR lpszDateReceived;
  LPSTR lpszConversationID;
  FLAGS flFlags;
  lpMapiRecipDesc lpOriginator;
  ULONG nRecipCount;
  lpMapiRecipDesc lpRecips;
  ULONG nFileCount;
  lpMapiFileDesc lpFiles;
} MapiMessage, *lpMapiMessage;

// The same records with UTF-16 texts, for MAPISendMailW.
typedef struct {
  ULONG ulReserved;
  ULONG ulRecipClass;
  PWSTR lpszName;
  PWSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
} MapiRecipDescW, *lpMapiRecipDescW;

typedef struct {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;
  PWSTR lpszPathName;
  PWSTR lpszFileName;
  LPVOID lpFileType;
} MapiFileDescW, *lpMapiFileDescW;

typedef struct {
  ULONG ulReserved;
  PWSTR lpszSubject;
  PWSTR lpszNoteText;
  PWSTR lpszMessageType;
  PWSTR lpszDateReceived;
  PWSTR lpszConversationID;
  FLAGS flFlags;
  lpMapiRecipDescW lpOriginator;
  ULONG nRecipCount;
  lpMapiRecipDescW lpRecips;
  ULONG nFileCount;
  lpMapiFileDescW lpFiles;
} MapiMessageW, *lpMapiMessageW;

#ifndef SUCCESS_SUCCESS
#define SUCCESS_SUCCESS 0
#endif
#ifndef MAPI_E_FAILURE
#define MAPI_E_FAILURE 2
#endif
#ifndef MAPI_E_ATTACHMENT_NOT_FOUND
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#endif
#ifndef MAPI_E_ATTACHMENT_OPEN_FAILURE
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
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

// The published layouts the exports are built against: 64-bit, and 32-bit
// for the DLL that 32-bit applications load. QV_AT gives a field's offset
// (or a record's size) in each.
#define QV_AT(at64, at32)                                                      \
  (sizeof(void *) == 8 ? (size_t)(at64) : (size_t)(at32))
static_assert(sizeof(void *) == 8 || sizeof(void *) == 4, "32 or 64 bits");
static_assert(sizeof(ULONG) == 4 && sizeof(FLAGS) == 4, "ULONG is 32 bits");
static_assert(sizeof(LHANDLE) == sizeof(void *), "LHANDLE is pointer-sized");
static_assert(sizeof(WCHAR) == 2, "UTF-16 code units");

// The ANSI and the W records share the layout, text pointers and all.
#define QV_CHECK_RECIP(T)                                                      \
  static_assert(sizeof(T) == QV_AT(40, 24), #T " size");                       \
  static_assert(offsetof(T, ulReserved) == 0, #T);                             \
  static_assert(offsetof(T, ulRecipClass) == 4, #T);                           \
  static_assert(offsetof(T, lpszName) == 8, #T);                               \
  static_assert(offsetof(T, lpszAddress) == QV_AT(16, 12), #T);                \
  static_assert(offsetof(T, ulEIDSize) == QV_AT(24, 16), #T);                  \
  static_assert(offsetof(T, lpEntryID) == QV_AT(32, 20), #T)
#define QV_CHECK_FILE(T)                                                       \
  static_assert(sizeof(T) == QV_AT(40, 24), #T " size");                       \
  static_assert(offsetof(T, ulReserved) == 0, #T);                             \
  static_assert(offsetof(T, flFlags) == 4, #T);                                \
  static_assert(offsetof(T, nPosition) == 8, #T);                              \
  static_assert(offsetof(T, lpszPathName) == QV_AT(16, 12), #T);               \
  static_assert(offsetof(T, lpszFileName) == QV_AT(24, 16), #T);               \
  static_assert(offsetof(T, lpFileType) == QV_AT(32, 20), #T)
#define QV_CHECK_MESSAGE(T)                                                    \
  static_assert(sizeof(T) == QV_AT(96, 48), #T " size");                       \
  static_assert(offsetof(T, ulReserved) == 0, #T);                             \
  static_assert(offsetof(T, lpszSubject) == QV_AT(8, 4), #T);                  \
  static_assert(offsetof(T, lpszNoteText) == QV_AT(16, 8), #T);                \
  static_assert(offsetof(T, lpszMessageType) == QV_AT(24, 12), #T);            \
  static_assert(offsetof(T, lpszDateReceived) == QV_AT(32, 16), #T);           \
  static_assert(offsetof(T, lpszConversationID) == QV_AT(40, 20), #T);         \
  static_assert(offsetof(T, flFlags) == QV_AT(48, 24), #T);                    \
  static_assert(offsetof(T, lpOriginator) == QV_AT(56, 28), #T);               \
  static_assert(offsetof(T, nRecipCount) == QV_AT(64, 32), #T);                \
  static_assert(offsetof(T, lpRecips) == QV_AT(72, 36), #T);                   \
  static_assert(offsetof(T, nFileCount) == QV_AT(80, 40), #T);                 \
  static_assert(offsetof(T, lpFiles) == QV_AT(88, 44), #T)

QV_CHECK_RECIP(MapiRecipDesc);
QV_CHECK_RECIP(MapiRecipDescW);
QV_CHECK_FILE(MapiFileDesc);
QV_CHECK_FILE(MapiFileDescW);
QV_CHECK_MESSAGE(MapiMessage);
QV_CHECK_MESSAGE(MapiMessageW);

#endif
