// The process environment, for the client command's expansion. Apart from
// the rest, as the installer's actions and qvmapi-check judge client
// commands by the same rule.
#include "platform/platform.h"

DWORD ExpandCommand(const WCHAR *command, WCHAR *out, DWORD room) {
  return ExpandEnvironmentStringsW(command, out, room);
}

int EnvironmentHas(const WCHAR *name) {
  return GetEnvironmentVariableW(name, NULL, 0) > 0;
}
