// The thirteen Simple MAPI exports, with their published prototypes.
#ifndef QV_MAPI_EXPORTS_H
#define QV_MAPI_EXPORTS_H

#include "include/qvmapi/mapi.h"

#ifdef __cplusplus
extern "C" {
#endif

ULONG WINAPI MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName,
                       LPSTR lpszPassword, FLAGS flFlags, ULONG ulReserved,
                       LPLHANDLE lplhSession);
ULONG WINAPI MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags,
                        ULONG ulReserved);
ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                          lpMapiMessage lpMessage, FLAGS flFlags,
                          ULONG ulReserved);
ULONG WINAPI MAPISendMailW(LHANDLE lhSession, ULONG_PTR ulUIParam,
                           lpMapiMessageW lpMessage, FLAGS flFlags,
                           ULONG ulReserved);
ULONG WINAPI MAPISendDocuments(ULONG_PTR ulUIParam, LPSTR lpszDelimChar,
                               LPSTR lpszFullPaths, LPSTR lpszFileNames,
                               ULONG ulReserved);
ULONG WINAPI MAPIFindNext(LHANDLE lhSession, ULONG_PTR ulUIParam,
                          LPSTR lpszMessageType, LPSTR lpszSeedMessageID,
                          FLAGS flFlags, ULONG ulReserved, LPSTR lpszMessageID);
ULONG WINAPI MAPIReadMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                          LPSTR lpszMessageID, FLAGS flFlags, ULONG ulReserved,
                          lpMapiMessage *lppMessage);
ULONG WINAPI MAPISaveMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                          lpMapiMessage lpMessage, FLAGS flFlags,
                          ULONG ulReserved, LPSTR lpszMessageID);
ULONG WINAPI MAPIDeleteMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                            LPSTR lpszMessageID, FLAGS flFlags,
                            ULONG ulReserved);
ULONG WINAPI MAPIFreeBuffer(LPVOID pv);
ULONG WINAPI MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam,
                         LPSTR lpszCaption, ULONG nEditFields, LPSTR lpszLabels,
                         ULONG nRecips, lpMapiRecipDesc lpRecips, FLAGS flFlags,
                         ULONG ulReserved, LPULONG lpnNewRecips,
                         lpMapiRecipDesc *lppNewRecips);
ULONG WINAPI MAPIDetails(LHANDLE lhSession, ULONG_PTR ulUIParam,
                         lpMapiRecipDesc lpRecip, FLAGS flFlags,
                         ULONG ulReserved);
ULONG WINAPI MAPIResolveName(LHANDLE lhSession, ULONG_PTR ulUIParam,
                             LPSTR lpszName, FLAGS flFlags, ULONG ulReserved,
                             lpMapiRecipDesc *lppRecip);

#ifdef __cplusplus
}
#endif

#endif
