// The trace frame MAPILogon must write for a call with a profile name and a
// password: the lines' messages, without their 32-character prefixes.
#ifndef QV_TESTS_SUPPORT_LOGON_FRAME_H
#define QV_TESTS_SUPPORT_LOGON_FRAME_H

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

inline std::vector<std::string>
ExpectedLogonFrame(unsigned uiParam, const char *profile, unsigned flags,
                   const void *sessionPointer, unsigned sessionOnEntry) {
  char buf[64];
  std::vector<std::string> lines = {"/***** MAPILogon *****/"};
  snprintf(buf, sizeof buf, "ULONG ulUIParam = %x", uiParam);
  lines.push_back(buf);
  lines.push_back(std::string("LPTSTR lpszProfileName = '") + profile + "'");
  lines.push_back("LPTSTR lpszPassword = '********'");
  snprintf(buf, sizeof buf, "FLAGS flFlags = %x", flags);
  lines.push_back(buf);
  lines.push_back("ULONG ulReserved = 0");
  snprintf(buf, sizeof buf, "LPLHANDLE lplhSession = %x",
           (unsigned)(uintptr_t)sessionPointer);
  lines.push_back(buf);
  snprintf(buf, sizeof buf, "*lplhSession = %x", sessionOnEntry);
  lines.push_back(buf);
  lines.push_back("/***** MAPILogon(END) ****/");
  return lines;
}

#endif
