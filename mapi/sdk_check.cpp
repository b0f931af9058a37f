// Windows build only: our records against the platform SDK's mapi.h.
#include "platform/types.h"

#include <stddef.h>

namespace sdk {
#include <mapi.h>
}

#include "include/qvmapi/mapi.h"

#define QV_SAME_FIELD(record, field)                                           \
  static_assert(offsetof(record, field) == offsetof(sdk::record, field) &&     \
                    sizeof(((record *)0)->field) ==                            \
                        sizeof(((sdk::record *)0)->field),                     \
                #record "." #field " differs from mapi.h")

static_assert(sizeof(MapiRecipDesc) == sizeof(sdk::MapiRecipDesc), "size");
QV_SAME_FIELD(MapiRecipDesc, ulReserved);
QV_SAME_FIELD(MapiRecipDesc, ulRecipClass);
QV_SAME_FIELD(MapiRecipDesc, lpszName);
QV_SAME_FIELD(MapiRecipDesc, lpszAddress);
QV_SAME_FIELD(MapiRecipDesc, ulEIDSize);
QV_SAME_FIELD(MapiRecipDesc, lpEntryID);

static_assert(sizeof(MapiFileDesc) == sizeof(sdk::MapiFileDesc), "size");
QV_SAME_FIELD(MapiFileDesc, ulReserved);
QV_SAME_FIELD(MapiFileDesc, flFlags);
QV_SAME_FIELD(MapiFileDesc, nPosition);
QV_SAME_FIELD(MapiFileDesc, lpszPathName);
QV_SAME_FIELD(MapiFileDesc, lpszFileName);
QV_SAME_FIELD(MapiFileDesc, lpFileType);

static_assert(sizeof(MapiMessage) == sizeof(sdk::MapiMessage), "size");
QV_SAME_FIELD(MapiMessage, ulReserved);
QV_SAME_FIELD(MapiMessage, lpszSubject);
QV_SAME_FIELD(MapiMessage, lpszNoteText);
QV_SAME_FIELD(MapiMessage, lpszMessageType);
QV_SAME_FIELD(MapiMessage, lpszDateReceived);
QV_SAME_FIELD(MapiMessage, lpszConversationID);
QV_SAME_FIELD(MapiMessage, flFlags);
QV_SAME_FIELD(MapiMessage, lpOriginator);
QV_SAME_FIELD(MapiMessage, nRecipCount);
QV_SAME_FIELD(MapiMessage, lpRecips);
QV_SAME_FIELD(MapiMessage, nFileCount);
QV_SAME_FIELD(MapiMessage, lpFiles);

static_assert(sizeof(LHANDLE) == sizeof(sdk::LHANDLE), "LHANDLE");
static_assert(sizeof(FLAGS) == sizeof(sdk::FLAGS), "FLAGS");
static_assert(MAPI_TO == 1 && MAPI_CC == 2 && MAPI_BCC == 3 && MAPI_ORIG == 0 &&
                  MAPI_DIALOG == 8,
              "recipient classes and flags");
static_assert(SUCCESS_SUCCESS == 0 && MAPI_E_FAILURE == 2 &&
                  MAPI_E_INVALID_RECIPS == 25 && MAPI_E_NOT_SUPPORTED == 26,
              "result codes");

// The SDK's mapi.h of mingw-w64 has no W records; they are the ANSI records
// with UTF-16 text pointers, so each of their fields must sit where the
// SDK puts the ANSI record's, with the same size.
#define QV_SAME_AS_ANSI(record, field)                                         \
  static_assert(offsetof(record##W, field) == offsetof(sdk::record, field) &&  \
                    sizeof(((record##W *)0)->field) ==                         \
                        sizeof(((sdk::record *)0)->field),                     \
                #record "W." #field " differs from mapi.h's " #record)
static_assert(sizeof(MapiRecipDescW) == sizeof(sdk::MapiRecipDesc), "size");
QV_SAME_AS_ANSI(MapiRecipDesc, ulRecipClass);
QV_SAME_AS_ANSI(MapiRecipDesc, lpszName);
QV_SAME_AS_ANSI(MapiRecipDesc, lpszAddress);
QV_SAME_AS_ANSI(MapiRecipDesc, lpEntryID);
static_assert(sizeof(MapiFileDescW) == sizeof(sdk::MapiFileDesc), "size");
QV_SAME_AS_ANSI(MapiFileDesc, lpszPathName);
QV_SAME_AS_ANSI(MapiFileDesc, lpszFileName);
QV_SAME_AS_ANSI(MapiFileDesc, lpFileType);
static_assert(sizeof(MapiMessageW) == sizeof(sdk::MapiMessage), "size");
QV_SAME_AS_ANSI(MapiMessage, lpszSubject);
QV_SAME_AS_ANSI(MapiMessage, lpszNoteText);
QV_SAME_AS_ANSI(MapiMessage, flFlags);
QV_SAME_AS_ANSI(MapiMessage, lpOriginator);
QV_SAME_AS_ANSI(MapiMessage, nRecipCount);
QV_SAME_AS_ANSI(MapiMessage, lpRecips);
QV_SAME_AS_ANSI(MapiMessage, nFileCount);
QV_SAME_AS_ANSI(MapiMessage, lpFiles);
