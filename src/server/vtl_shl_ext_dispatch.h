#pragma once
// The four IDispatch methods of IVTLShlExt, called from the object's interface tables with the
// object's IVTLShlExt pointer (its identity) as self. For now the object offers no type
// information: GetTypeInfoCount answers 0 and the other three E_NOTIMPL. The tables point at
// these functions directly, hence their calling convention.

#include <oaidl.h>

HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfoCount(IDispatch* self, UINT* count);
HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfo(IDispatch* self, UINT index, LCID locale, ITypeInfo** info);
HRESULT STDMETHODCALLTYPE VTLShlExtGetIDsOfNames(IDispatch* self, REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids);
HRESULT STDMETHODCALLTYPE VTLShlExtInvoke(IDispatch* self, DISPID member, REFIID iid, LCID locale, WORD flags,
                        DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
