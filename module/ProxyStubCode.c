/* The widl-generated proxy/stub code of ICalsPreview, ICalsFormat and ICalsFile.
   Compiled as C; the interface identifiers it names are defined by host/VorHost.h. */
#define USE_COMPILER_EXCEPTIONS
#include <unknwn.h>

/* mingw declares these IUnknown proxies (in librpcrt4.a) only for C++. */
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** ppvObject);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);

#include "Scanleaf_p.c"
