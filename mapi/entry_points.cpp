// The eleven Simple MAPI entry points that are answered locally: each
// writes its trace frame, then answers at once.
#include <string.h>

#include "mapi/exports.h"
#include "platform/platform.h"
#include "trace/startup.h"
#include "trace/trace.h"

// A password is never written to the log, only the fact that one was given.
static const char kPasswordMask[] = "********";

// Every export opens with its banner; the once-only start-up comes first.
#define TRACE_BEGIN(name)                                                      \
  (StartupOnFirstCall(), TraceWrite(TRACE_INFO, "/***** " name " *****/"))
#define TRACE_END(name) TraceWrite(TRACE_INFO, "/***** " name "(END) ****/")
#define TRACE_TEXT(type_name, text)                                            \
  do {                                                                         \
    if (text)                                                                  \
      TraceWrite(TRACE_INFO, type_name " = '%s'", (text));                     \
  } while (0)

extern "C" ULONG WINAPI MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName,
                                  LPSTR lpszPassword, FLAGS flFlags,
                                  ULONG ulReserved, LPLHANDLE lplhSession) {
  TRACE_BEGIN("MAPILogon");
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TRACE_TEXT("LPTSTR lpszProfileName", lpszProfileName);
  if (lpszPassword)
    TraceWrite(TRACE_INFO, "LPTSTR lpszPassword = '%s'", kPasswordMask);
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TraceWrite(TRACE_INFO, "LPLHANDLE lplhSession = %x", TRACE_HEX(lplhSession));
  if (lplhSession)
    TraceWrite(TRACE_INFO, "*lplhSession = %x", TRACE_HEX(*lplhSession));
  TRACE_END("MAPILogon");
  if (lplhSession)
    *lplhSession = 1;
  return SUCCESS_SUCCESS;
}

extern "C" ULONG WINAPI MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                   FLAGS flFlags, ULONG ulReserved) {
  TRACE_BEGIN("MAPILogoff");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPILogoff");
  return SUCCESS_SUCCESS;
}

extern "C" ULONG WINAPI MAPISendDocuments(ULONG_PTR ulUIParam,
                                          LPSTR lpszDelimChar,
                                          LPSTR lpszFullPaths,
                                          LPSTR lpszFileNames,
                                          ULONG ulReserved) {
  TRACE_BEGIN("MAPISendDocuments");
  TRACE_TEXT("LPTSTR lpszDelimChar", lpszDelimChar);
  TRACE_TEXT("LPTSTR lpszFullPaths", lpszFullPaths);
  TRACE_TEXT("LPTSTR lpszFileNames", lpszFileNames);
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPISendDocuments");
  return MAPI_E_NOT_SUPPORTED;
}

// The caller's result buffer need not hold a terminated text on entry, and
// it is only as large as Simple MAPI asks of the caller: 64 characters, or
// 512 with MAPI_LONG_MSGID. The trace reads no further.
static const int kMessageIdSize = 64;
static const int kLongMessageIdSize = 512;

extern "C" ULONG WINAPI MAPIFindNext(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                     LPSTR lpszMessageType,
                                     LPSTR lpszSeedMessageID, FLAGS flFlags,
                                     ULONG ulReserved, LPSTR lpszMessageID) {
  TRACE_BEGIN("MAPIFindNext");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TRACE_TEXT("LPTSTR lpszMessageType", lpszMessageType);
  TRACE_TEXT("LPTSTR lpszSeedMessageID", lpszSeedMessageID);
  if (lpszMessageID)
    TraceWrite(TRACE_INFO, "LPTSTR lpszMessageID = '%.*s'",
               (flFlags & MAPI_LONG_MSGID) ? kLongMessageIdSize
                                           : kMessageIdSize,
               lpszMessageID);
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPIFindNext");
  return MAPI_E_NOT_SUPPORTED;
}

// MAPIReadMail, MAPISaveMail and MAPIDeleteMail share one frame shape.
static void TraceMessageIdFrame(LHANDLE lhSession, LPSTR lpszMessageID,
                                ULONG_PTR ulUIParam, FLAGS flFlags,
                                ULONG ulReserved) {
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TRACE_TEXT("LPTSTR lpszMessageID", lpszMessageID);
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
}

extern "C" ULONG WINAPI MAPIReadMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                     LPSTR lpszMessageID, FLAGS flFlags,
                                     ULONG ulReserved,
                                     lpMapiMessage *lppMessage) {
  (void)lppMessage;
  TRACE_BEGIN("MAPIReadMail");
  TraceMessageIdFrame(lhSession, lpszMessageID, ulUIParam, flFlags, ulReserved);
  TRACE_END("MAPIReadMail");
  return MAPI_E_NOT_SUPPORTED;
}

extern "C" ULONG WINAPI MAPISaveMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                     lpMapiMessage lpMessage, FLAGS flFlags,
                                     ULONG ulReserved, LPSTR lpszMessageID) {
  (void)lpMessage;
  TRACE_BEGIN("MAPISaveMail");
  TraceMessageIdFrame(lhSession, lpszMessageID, ulUIParam, flFlags, ulReserved);
  TRACE_END("MAPISaveMail");
  return MAPI_E_NOT_SUPPORTED;
}

extern "C" ULONG WINAPI MAPIDeleteMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                       LPSTR lpszMessageID, FLAGS flFlags,
                                       ULONG ulReserved) {
  TRACE_BEGIN("MAPIDeleteMail");
  TraceMessageIdFrame(lhSession, lpszMessageID, ulUIParam, flFlags, ulReserved);
  TRACE_END("MAPIDeleteMail");
  return MAPI_E_NOT_SUPPORTED;
}

extern "C" ULONG WINAPI MAPIFreeBuffer(LPVOID pv) {
  TRACE_BEGIN("MAPIFreeBuffer");
  TraceWrite(TRACE_INFO, "LPVOID pv  = %x", TRACE_HEX(pv));
  TRACE_END("MAPIFreeBuffer");
  QvFree(pv);
  return SUCCESS_SUCCESS;
}

extern "C" ULONG WINAPI MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                    LPSTR lpszCaption, ULONG nEditFields,
                                    LPSTR lpszLabels, ULONG nRecips,
                                    lpMapiRecipDesc lpRecips, FLAGS flFlags,
                                    ULONG ulReserved, LPULONG lpnNewRecips,
                                    lpMapiRecipDesc *lppNewRecips) {
  (void)nEditFields;
  (void)lpszLabels;
  (void)nRecips;
  (void)lpRecips;
  TRACE_BEGIN("MAPIAddress");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TRACE_TEXT("LPTSTR lpszCaption", lpszCaption);
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPIAddress");
  if (lpnNewRecips)
    *lpnNewRecips = 0;
  if (lppNewRecips)
    *lppNewRecips = NULL;
  return MAPI_E_NOT_SUPPORTED;
}

extern "C" ULONG WINAPI MAPIDetails(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                    lpMapiRecipDesc lpRecip, FLAGS flFlags,
                                    ULONG ulReserved) {
  (void)lpRecip;
  TRACE_BEGIN("MAPIDetails");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPIDetails");
  return MAPI_E_NOT_SUPPORTED;
}

extern "C" ULONG WINAPI MAPIResolveName(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                        LPSTR lpszName, FLAGS flFlags,
                                        ULONG ulReserved,
                                        lpMapiRecipDesc *lppRecip) {
  TRACE_BEGIN("MAPIResolveName");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TRACE_TEXT("LPTSTR lpszName", lpszName);
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  TRACE_END("MAPIResolveName");
  if (!lpszName)
    return MAPI_E_INVALID_RECIPS;
  // One block: the record, then the name copy right behind it, so that a
  // single MAPIFreeBuffer releases both.
  size_t n = strlen(lpszName);
  MapiRecipDesc *recip =
      (MapiRecipDesc *)QvAlloc(sizeof(MapiRecipDesc) + n + 1);
  if (lppRecip)
    *lppRecip = recip;
  if (!recip)
    return MAPI_E_FAILURE;
  char *name = (char *)(recip + 1);
  memcpy(name, lpszName, n + 1);
  recip->ulReserved = 0;
  recip->ulRecipClass = MAPI_TO;
  recip->lpszName = name;
  recip->lpszAddress = name;
  recip->ulEIDSize = 0;
  recip->lpEntryID = NULL;
  if (!lppRecip) {
    // Nowhere to hand the block to: keep nothing allocated.
    QvFree(recip);
  }
  return SUCCESS_SUCCESS;
}
