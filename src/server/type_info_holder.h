#pragma once
// The module-wide cache of a dual interface's type information: loaded once, on first use,
// from the registered type library, together with the member names of the interface so that
// name lookups rarely reach the type information. Shared by every object and thread; emptied
// at module shut-down through the exit-callback list.

#include <windows.h>
#include <oaidl.h>

struct NameCacheEntry {
    BSTR name;        // owned; null when the type information gave no name
    INT32 length;     // SysStringLen(name)
    DISPID memberId;
};

// A plain record, statically initialised; it keeps no reference count of its own.
struct TypeInfoHolder {
    const GUID* interfaceId;
    const GUID* libraryId;
    WORD majorVersion;
    WORD minorVersion;
    // One reference once loaded (on the ITypeInfo2 interface where offered). Written once,
    // under generalLock and after the name cache is complete; read without a lock.
    ITypeInfo* typeInfo;
    NameCacheEntry* nameCache;  // from the module heaps, in the type's function order
    INT32 nameCacheCount;

    // S_OK once the type information is present; otherwise the failure that kept it out.
    HRESULT EnsureTypeInfo(LCID locale);
    HRESULT GetTypeInfo(LCID locale, ITypeInfo** info);
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids);
    HRESULT Invoke(IDispatch* instance, DISPID member, LCID locale, WORD flags,
                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                   UINT* argumentError);
};

// The exit callback (argument: the holder). Releases the type information and frees the name
// cache; harmless when repeated. Takes no lock: at shut-down the locks are already gone.
void ClearTypeInfoHolder(void* holder);

// The holder of IVTLShlExt, shared by every object of the class.
extern TypeInfoHolder vtlShlExtTypeInfo;
