// MAPISendMail: traces its parameters and hands the message to the
// registered mail client.
#include "handoff/handoff.h"
#include "mapi/exports.h"
#include "trace/trace.h"

extern "C" ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                     lpMapiMessage lpMessage, FLAGS flFlags,
                                     ULONG ulReserved) {
  TraceWrite(TRACE_INFO, "/***** MAPISendMail *****/");
  TraceWrite(TRACE_INFO, "LHANDLE lhSession = %x", TRACE_HEX(lhSession));
  TraceWrite(TRACE_INFO, "ULONG ulUIParam = %x", TRACE_HEX(ulUIParam));
  TraceWrite(TRACE_INFO, "FLAGS flFlags = %x", TRACE_HEX(flFlags));
  TraceWrite(TRACE_INFO, "ULONG ulReserved = %x", TRACE_HEX(ulReserved));
  int sent = SendViaMailClient(lpMessage, flFlags);
  TraceWrite(TRACE_INFO, "/***** MAPISendMail(END) ****/");
  return sent ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}
