// MAPISendMail and MAPISendMailW: trace their parameters and hand the
// message to the registered mail client, in the caller's character type.
#include "handoff/handoff.h"
#include "mapi/exports.h"
#include "trace/startup.h"
#include "trace/trace.h"

// What the host is told of a send.
static ULONG ResultOf(int sent) {
  switch (sent) {
  case SEND_DONE:
    return SUCCESS_SUCCESS;
  case SEND_ATTACHMENT_NOT_FOUND:
    return MAPI_E_ATTACHMENT_NOT_FOUND;
  case SEND_ATTACHMENT_OPEN_FAILURE:
    return MAPI_E_ATTACHMENT_OPEN_FAILURE;
  }
  return MAPI_E_FAILURE;
}

static void TraceParameters(LHANDLE lhSession, ULONG_PTR ulUIParam,
                            FLAGS flFlags, ULONG ulReserved) {
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
}

extern "C" ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                     lpMapiMessage lpMessage, FLAGS flFlags,
                                     ULONG ulReserved) {
  StartupOnFirstCall();
  TraceWrite(TRACE_INFO, "/***** MAPISendMail *****/");
  TraceParameters(lhSession, ulUIParam, flFlags, ulReserved);
  // A message whose ulReserved is CP_UTF8 carries UTF-8 texts (Word sends
  // so): they go to the client in UTF-16, as MAPISendMailW's do.
  int sent = lpMessage && lpMessage->ulReserved == CP_UTF8
                 ? SendViaMailClientUtf8(lpMessage, flFlags, ulUIParam)
                 : SendViaMailClient(lpMessage, flFlags, ulUIParam);
  TraceWrite(TRACE_INFO, "/***** MAPISendMail(END) ****/");
  return ResultOf(sent);
}

// MAPI_FORCE_UNICODE, like every flag but MAPI_DIALOG, is only traced: the
// texts are UTF-16 from the caller to the mail client's command line.
extern "C" ULONG WINAPI MAPISendMailW(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                      lpMapiMessageW lpMessage, FLAGS flFlags,
                                      ULONG ulReserved) {
  StartupOnFirstCall();
  TraceWrite(TRACE_INFO, "/***** MAPISendMailW *****/");
  TraceParameters(lhSession, ulUIParam, flFlags, ulReserved);
  int sent = SendViaMailClientW(lpMessage, flFlags, ulUIParam);
  TraceWrite(TRACE_INFO, "/***** MAPISendMailW(END) ****/");
  return ResultOf(sent);
}
