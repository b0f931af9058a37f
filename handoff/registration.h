// The mail-client registration that the installer writes and qvmapi-check
// reads (Windows programs only; the DLL reads the command key through
// handoff/launch.cpp): HKEY_LOCAL_MACHINE, wide names.
#ifndef QV_HANDOFF_REGISTRATION_H
#define QV_HANDOFF_REGISTRATION_H

static const wchar_t kMailKey[] = L"SOFTWARE\\Clients\\Mail";
static const wchar_t kClientKey[] =
    L"SOFTWARE\\Clients\\Mail\\Outlook Web Access";
static const wchar_t kCommandKey[] =
    L"SOFTWARE\\Clients\\Mail\\Outlook Web Access\\shell\\open\\command";
static const wchar_t kClientName[] = L"Outlook Web Access";

#endif
