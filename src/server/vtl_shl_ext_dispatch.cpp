#include "server/vtl_shl_ext_dispatch.h"

HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfoCount(IDispatch* /*self*/, UINT* count)
{
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfo(IDispatch* /*self*/, UINT /*index*/, LCID /*locale*/, ITypeInfo** info)
{
    if (!info) {
        return E_POINTER;
    }
    *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE VTLShlExtGetIDsOfNames(IDispatch* /*self*/, REFIID /*iid*/, LPOLESTR* /*names*/, UINT /*count*/,
                               LCID /*locale*/, DISPID* /*ids*/)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE VTLShlExtInvoke(IDispatch* /*self*/, DISPID /*member*/, REFIID /*iid*/, LCID /*locale*/,
                        WORD /*flags*/, DISPPARAMS* /*parameters*/, VARIANT* /*result*/,
                        EXCEPINFO* /*exception*/, UINT* /*argumentError*/)
{
    return E_NOTIMPL;
}
