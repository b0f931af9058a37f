// Looks up the registered mail client, starts it with the composed line
// and waits for it to exit.
#include <string.h>

#include "handoff/handoff.h"
#include "platform/alloc.h"

static const char kClientCommandKey[] =
    "SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\command";

int ReadRegistryString(HKEY root, const char *subkey, const char *valueName,
                       char **buffer, DWORD *size, DWORD *type) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  *size = 0;
  RegQueryValueExA(key, valueName, NULL, type, NULL, size);
  // One spare byte behind the data, so the text is always terminated.
  char *block = (char *)QvAlloc((size_t)*size + 1);
  *buffer = block;
  if (!block) {
    RegCloseKey(key);
    return -1;
  }
  DWORD room = *size;
  if (RegQueryValueExA(key, valueName, NULL, type, (LPBYTE)block, &room) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  *size = room;
  block[room] = 0;
  if (RegCloseKey(key) != ERROR_SUCCESS) {
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  return 1;
}

BOOL StartProcess(const char *applicationName, char *commandLine,
                  PROCESS_INFORMATION *processInfo) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  memset(processInfo, 0, sizeof *processInfo);
  return CreateProcessA(applicationName, commandLine, NULL, NULL, FALSE,
                        NORMAL_PRIORITY_CLASS, NULL, NULL, &startup,
                        processInfo);
}

int LaunchMailClient(char *commandLine) {
  char *clientPath = NULL;
  DWORD size = 0, type = 0;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, kClientCommandKey, "", &clientPath,
                         &size, &type) != 1)
    return 0;
  PROCESS_INFORMATION process;
  BOOL started = StartProcess(clientPath, commandLine, &process);
  QvFree(clientPath);
  // A client that could not be started has sent nothing: report it.
  if (!started)
    return 0;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 1;
}

int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags) {
  char commandLine[COMMAND_LINE_SIZE];
  memset(commandLine, 0, sizeof commandLine);
  if (ComposeCommandLine(lpMessage, flFlags, commandLine) == COMPOSE_FAILED)
    return 0;
  return LaunchMailClient(commandLine);
}
