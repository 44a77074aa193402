#pragma once
// The four IDispatch methods of IVTLShlExt, called from the object's interface tables with the
// IVTLShlExt pointer on which the call arrived as self (the contained object's inside an
// aggregate). They answer from the module's TypeInfoHolder of IVTLShlExt; the interface
// identifiers they are given are not examined. The tables point at these functions directly,
// hence their calling convention.

#include <oaidl.h>

HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfoCount(IDispatch* self, UINT* count);
HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfo(IDispatch* self, UINT index, LCID locale, ITypeInfo** info);
HRESULT STDMETHODCALLTYPE VTLShlExtGetIDsOfNames(IDispatch* self, REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids);
HRESULT STDMETHODCALLTYPE VTLShlExtInvoke(IDispatch* self, DISPID member, REFIID iid, LCID locale, WORD flags,
                        DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
