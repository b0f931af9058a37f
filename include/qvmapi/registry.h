// The registry paths and folder names of the product, spelled once: the
// DLL, qvmapi-check, the installer's actions and the tests take them from
// here. Narrow literals; QV_WIDE (platform/types.h) makes the UTF-16 form
// of one.
#ifndef QV_INCLUDE_REGISTRY_H
#define QV_INCLUDE_REGISTRY_H

#include "platform/types.h"

// The machine's mail clients, and the one this product registers.
#define QV_MAIL_KEY "SOFTWARE\\Clients\\Mail"
#define QV_CLIENT_NAME "Outlook Web Access"
#define QV_CLIENT_KEY QV_MAIL_KEY "\\" QV_CLIENT_NAME
// HKEY_LOCAL_MACHINE: the client command, a full path to a program file.
#define QV_COMMAND_KEY QV_CLIENT_KEY "\\shell\\open\\command"

// The company's and the product's folder, under %APPDATA% (the trace log)
// and under SOFTWARE (the settings, per user).
#define QV_COMPANY_NAME "Quorvantile Incorporated"
#define QV_PRODUCT_FOLDER QV_COMPANY_NAME "\\Quorvantile Brindleway"
#define QV_SETTINGS_KEY "SOFTWARE\\" QV_PRODUCT_FOLDER
// HKEY_CURRENT_USER, under QV_SETTINGS_KEY: the trace log's level.
#define QV_LEVEL_VALUE "FileLoggingLevel"

#endif
