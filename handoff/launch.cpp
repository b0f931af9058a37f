// Looks up the registered mail client, starts it with the composed line
// and waits for it to exit: with the ANSI calls for MAPISendMail, with the
// wide calls for MAPISendMailW (so that a client installed under a folder
// name outside the ANSI code page starts), one body for both.
#include <string.h>

#include "handoff/client_path.h"
#include "handoff/handoff.h"
#include "handoff/text.h"
#include "platform/alloc.h"

static const char kClientCommandKey[] =
    "SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\command";

// The platform calls of each character type.
template <typename Char> struct Win32;

template <> struct Win32<char> {
  typedef STARTUPINFOA StartupInfo;
  static LONG OpenKey(HKEY root, const char *subkey, HKEY *key) {
    return RegOpenKeyExA(root, subkey, 0, KEY_READ, key);
  }
  static LONG QueryValue(HKEY key, const char *name, DWORD *type, BYTE *data,
                         DWORD *size) {
    return RegQueryValueExA(key, name, NULL, type, data, size);
  }
  static BOOL Start(const char *app, char *line, StartupInfo *startup,
                    PROCESS_INFORMATION *process) {
    return CreateProcessA(app, line, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS,
                          NULL, NULL, startup, process);
  }
};

template <> struct Win32<WCHAR> {
  typedef STARTUPINFOW StartupInfo;
  static LONG OpenKey(HKEY root, const WCHAR *subkey, HKEY *key) {
    return RegOpenKeyExW(root, subkey, 0, KEY_READ, key);
  }
  static LONG QueryValue(HKEY key, const WCHAR *name, DWORD *type, BYTE *data,
                         DWORD *size) {
    return RegQueryValueExW(key, name, NULL, type, data, size);
  }
  static BOOL Start(const WCHAR *app, WCHAR *line, StartupInfo *startup,
                    PROCESS_INFORMATION *process) {
    return CreateProcessW(app, line, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS,
                          NULL, NULL, startup, process);
  }
};

template <typename Char>
static int ReadString(HKEY root, const Char *subkey, const Char *valueName,
                      Char **buffer, DWORD *size, DWORD *type) {
  HKEY key;
  if (Win32<Char>::OpenKey(root, subkey, &key) != ERROR_SUCCESS)
    return 0;
  *size = 0;
  Win32<Char>::QueryValue(key, valueName, type, NULL, size);
  // One spare character behind the data (a partial one rounded up), so the
  // text is always terminated.
  size_t units = ((size_t)*size + sizeof(Char) - 1) / sizeof(Char) + 1;
  Char *block = (Char *)QvAlloc(units * sizeof(Char));
  *buffer = block;
  if (!block) {
    RegCloseKey(key);
    return -1;
  }
  DWORD room = *size;
  if (Win32<Char>::QueryValue(key, valueName, type, (LPBYTE)block, &room) !=
      ERROR_SUCCESS) {
    RegCloseKey(key);
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  *size = room;
  if (room % sizeof(Char))
    ((BYTE *)block)[room] = 0;
  block[(room + sizeof(Char) - 1) / sizeof(Char)] = 0;
  if (RegCloseKey(key) != ERROR_SUCCESS) {
    QvFree(block);
    *buffer = NULL;
    return 0;
  }
  return 1;
}

int ReadRegistryString(HKEY root, const char *subkey, const char *valueName,
                       char **buffer, DWORD *size, DWORD *type) {
  return ReadString(root, subkey, valueName, buffer, size, type);
}

int ReadRegistryStringW(HKEY root, const WCHAR *subkey, const WCHAR *valueName,
                        WCHAR **buffer, DWORD *size, DWORD *type) {
  return ReadString(root, subkey, valueName, buffer, size, type);
}

template <typename Char>
static BOOL Start(const Char *applicationName, Char *commandLine,
                  PROCESS_INFORMATION *processInfo) {
  typename Win32<Char>::StartupInfo startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWDEFAULT;
  memset(processInfo, 0, sizeof *processInfo);
  return Win32<Char>::Start(applicationName, commandLine, &startup,
                            processInfo);
}

BOOL StartProcess(const char *applicationName, char *commandLine,
                  PROCESS_INFORMATION *processInfo) {
  return Start(applicationName, commandLine, processInfo);
}

BOOL StartProcessW(const WCHAR *applicationName, WCHAR *commandLine,
                   PROCESS_INFORMATION *processInfo) {
  return Start(applicationName, commandLine, processInfo);
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

template <typename Char> static int Launch(Char *commandLine) {
  Char subkey[sizeof kClientCommandKey];
  Char noName[1] = {0};
  TextFromAscii(subkey, sizeof kClientCommandKey, kClientCommandKey);
  Char *clientPath = NULL;
  DWORD size = 0, type = 0;
  if (ReadString(HKEY_LOCAL_MACHINE, subkey, noName, &clientPath, &size,
                 &type) != 1)
    return 0;
  // Only a program file named by its full path is started: a batch file
  // would run the message's text as commands.
  if (CheckClientPath(clientPath) != CLIENT_PATH_OK) {
    QvFree(clientPath);
    return 0;
  }
  PROCESS_INFORMATION process;
  BOOL started = Start(clientPath, commandLine, &process);
  QvFree(clientPath);
  // A client that could not be started has sent nothing: report it.
  if (!started)
    return 0;
  WaitForClient(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 1;
}

int LaunchMailClient(char *commandLine) { return Launch(commandLine); }

int LaunchMailClientW(WCHAR *commandLine) { return Launch(commandLine); }

int SendViaMailClient(const MapiMessage *lpMessage, FLAGS flFlags) {
  char commandLine[COMMAND_LINE_SIZE];
  memset(commandLine, 0, sizeof commandLine);
  if (ComposeCommandLine(lpMessage, flFlags, commandLine) == COMPOSE_FAILED)
    return 0;
  return LaunchMailClient(commandLine);
}

int SendViaMailClientW(const MapiMessageW *lpMessage, FLAGS flFlags) {
  WCHAR commandLine[WIDE_COMMAND_LINE_SIZE];
  memset(commandLine, 0, sizeof commandLine);
  if (ComposeCommandLineW(lpMessage, flFlags, commandLine) == COMPOSE_FAILED)
    return 0;
  return LaunchMailClientW(commandLine);
}
