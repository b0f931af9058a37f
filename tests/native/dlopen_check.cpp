// Loads the native shared library as a host would, calls a few exports and
// unloads it: the load and unload hooks must run cleanly with no settings.
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

typedef uint32_t (*LogonFn)(uintptr_t, char *, char *, uint32_t, uint32_t,
                            uintptr_t *);
typedef uint32_t (*LogoffFn)(uintptr_t, uintptr_t, uint32_t, uint32_t);

int main(int argc, char **argv) {
  if (argc < 2)
    return 2;
  void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 1;
  }
  LogonFn logon = (LogonFn)dlsym(lib, "MAPILogon");
  LogoffFn logoff = (LogoffFn)dlsym(lib, "MAPILogoff");
  if (!logon || !logoff || !dlsym(lib, "MAPISendMail") ||
      !dlsym(lib, "MAPIFreeBuffer")) {
    fprintf(stderr, "missing export\n");
    return 1;
  }
  uintptr_t session = 0;
  if (logon(0, NULL, NULL, 0, 0, &session) != 0 || session != 1 ||
      logoff(session, 0, 0, 0) != 0) {
    fprintf(stderr, "MAPILogon/MAPILogoff gave wrong results\n");
    return 1;
  }
  if (dlclose(lib) != 0) {
    fprintf(stderr, "dlclose failed\n");
    return 1;
  }
  printf("native shared library: load, logon, logoff, unload: 1 passed, 0 "
         "failed\n");
  return 0;
}
