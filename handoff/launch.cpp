// Looks up the registered mail client, starts it with the composed line
// and waits for it to exit. Both entries read the client path as UTF-16 and
// start it with CreateProcessW: the path is checked and started exactly as
// the registry holds it, so no conversion can turn one file name into
// another (RegQueryValueExA would give "C:\Apps\Lukasz Mail\..." for
// "Łukasz Mail", and start whatever that folder holds). The ANSI line goes
// to the client converted from the ANSI code page as CreateProcessA would
// convert it, so the client receives what it always did.
#include <string.h>

#include "handoff/ansi_view.h"
#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "handoff/text.h"
#include "platform/alloc.h"
#include "platform/file_redirection.h"
#include "platform/modal_wait.h"

static const char kClientCommandKey[] =
    "SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\command";

int ReadRegistryString(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                       WCHAR **buffer, DWORD *size, DWORD *type) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  *size = 0;
  RegQueryValueExW(key, valueName, NULL, type, NULL, size);
  // One spare unit behind the data (a partial one rounded up), so the text
  // is always terminated.
  size_t units = ((size_t)*size + sizeof(WCHAR) - 1) / sizeof(WCHAR) + 1;
  WCHAR *block = (WCHAR *)QvAlloc(units * sizeof(WCHAR));
  *buffer = block;
  if (!block) {
    RegCloseKey(key);
    return -1;
  }
  DWORD room = *size;
  if (RegQueryValueExW(key, valueName, NULL, type, (LPBYTE)block, &room) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  *size = room;
  if (room % sizeof(WCHAR))
    ((BYTE *)block)[room] = 0;
  block[(room + sizeof(WCHAR) - 1) / sizeof(WCHAR)] = 0;
  if (RegCloseKey(key) != ERROR_SUCCESS) {
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  return 1;
}

BOOL StartProcess(const WCHAR *applicationName, WCHAR *commandLine,
                  PROCESS_INFORMATION *processInfo) {
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  memset(processInfo, 0, sizeof *processInfo);
  FileRedirection redirection;
  FileRedirectionOff(&redirection);
  BOOL started =
      CreateProcessW(applicationName, commandLine, NULL, NULL, FALSE,
                     NORMAL_PRIORITY_CLASS, NULL, NULL, &startup, processInfo);
  FileRedirectionRestore(&redirection);
  return started;
}

int LaunchMailClientW(WCHAR *commandLine, ULONG_PTR ulUIParam) {
  WCHAR subkey[sizeof kClientCommandKey];
  WCHAR noName[1] = {0};
  TextFromAscii(subkey, sizeof kClientCommandKey, kClientCommandKey);
  WCHAR *value = NULL;
  DWORD size = 0, type = 0;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, subkey, noName, &value, &size,
                         &type) != 1)
    return 0;
  // Only a program file named by its full path is started: a batch file
  // would run the message's text as commands.
  WCHAR clientPath[MAX_PATH];
  ClientPathVerdict verdict = CheckClientCommand(type, value, clientPath);
  QvFree(value);
  if (verdict != CLIENT_PATH_OK)
    return 0;
  // The host's windows are disabled before the client can take input.
  ModalWait modal;
  ModalWaitBegin(&modal, ulUIParam);
  PROCESS_INFORMATION process;
  // A client that could not be started has sent nothing: report it.
  int started = StartProcess(clientPath, commandLine, &process) != 0;
  if (started) {
    ModalWaitForProcess(&modal, process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  ModalWaitEnd(&modal);
  return started;
}

int LaunchMailClient(char *commandLine, ULONG_PTR ulUIParam) {
  // A line the platform cannot take (more than 32,766 units) fails here,
  // before anything is looked up, as CreateProcessA would fail on it.
  WCHAR *wide = (WCHAR *)QvAlloc(WIDE_COMMAND_LINE_SIZE * sizeof(WCHAR));
  if (!wide)
    return 0;
  int sent = MultiByteToWideChar(CP_ACP, 0, commandLine, -1, wide,
                                 WIDE_COMMAND_LINE_SIZE) > 0 &&
             LaunchMailClientW(wide, ulUIParam);
  QvFree(wide);
  return sent;
}

// The lines are taken from the heap: a host thread with a small stack (64 KB
// reserves are common) would overflow on them.
int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags,
                      ULONG_PTR ulUIParam) {
  // The ANSI line is the client's ANSI view only when both use one code
  // page; a host's other code page (a manifest's UTF-8) is not the client's.
  if (lpMessage && AnsiViewCodePages().differ)
    return SendViaMailClientAcp(lpMessage, flFlags, ulUIParam);
  char *commandLine = (char *)QvAlloc(COMMAND_LINE_SIZE);
  if (!commandLine)
    return 0;
  memset(commandLine, 0, COMMAND_LINE_SIZE);
  int sent =
      ComposeCommandLine(lpMessage, flFlags, commandLine) != COMPOSE_FAILED &&
      LaunchMailClient(commandLine, ulUIParam);
  QvFree(commandLine);
  return sent;
}

int SendViaMailClientW(const MapiMessageW *lpMessage, FLAGS flFlags,
                       ULONG_PTR ulUIParam) {
  WCHAR *commandLine = (WCHAR *)QvAlloc(WIDE_COMMAND_LINE_SIZE * sizeof(WCHAR));
  if (!commandLine)
    return 0;
  memset(commandLine, 0, WIDE_COMMAND_LINE_SIZE * sizeof(WCHAR));
  int sent =
      ComposeCommandLineW(lpMessage, flFlags, commandLine) != COMPOSE_FAILED &&
      LaunchMailClientW(commandLine, ulUIParam);
  QvFree(commandLine);
  return sent;
}
