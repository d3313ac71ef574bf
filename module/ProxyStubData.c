/* The proxy/stub entry points (PrxDllMain, PrxDllGetClassObject, PrxDllCanUnloadNow,
   PrxDllRegisterServer, PrxDllUnregisterServer) from widl's dlldata table. The factory's
   class identifier is that of ICalsPreview; widl's table is sorted by identifier, so the
   default (its first entry) would be another interface. */
#define ENTRY_PREFIX Prx
#define REGISTER_PROXY_DLL
#define PROXY_CLSID_IS {0x777ACCEA, 0x0227, 0x4B1A, {0x9B, 0x53, 0xF0, 0x5B, 0xC7, 0x50, 0xDF, 0x20}}

#include "dlldata.c"
