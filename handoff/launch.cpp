// Looks up the registered mail client, starts it with the composed line
// and waits for it to exit.
#include <string.h>

#include "handoff/client_path.h"
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

// Waits until the client has exited. Hosts call from their UI thread, and a
// client may send that thread a message before it exits (SendMessage to
// the host's window, a broadcast, a DDE conversation): while the host waits
// for the client and the client for the host, both would hang. So messages
// sent to this thread are serviced during the wait. Posted and input
// messages stay in the queue: nothing the user does re-enters the host
// during the call. A thread without windows is sent nothing and simply
// waits.
static void WaitForClient(HANDLE process) {
  for (;;) {
    DWORD woken =
        MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0 + 1) {
      MSG message;
      PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (woken == WAIT_FAILED)
      WaitForSingleObject(process, INFINITE);
    return;
  }
}

int LaunchMailClient(char *commandLine) {
  char *clientPath = NULL;
  DWORD size = 0, type = 0;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, kClientCommandKey, "", &clientPath,
                         &size, &type) != 1)
    return 0;
  // Only a program file named by its full path is started: a batch file
  // would run the message's text as commands.
  if (CheckClientPath(clientPath) != CLIENT_PATH_OK) {
    QvFree(clientPath);
    return 0;
  }
  PROCESS_INFORMATION process;
  BOOL started = StartProcess(clientPath, commandLine, &process);
  QvFree(clientPath);
  // A client that could not be started has sent nothing: report it.
  if (!started)
    return 0;
  WaitForClient(process.hProcess);
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
