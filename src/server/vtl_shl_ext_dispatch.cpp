#include "server/vtl_shl_ext_dispatch.h"

#include "server/type_info_holder.h"

// One type information, whether or not it can be loaded: the count never loads it.
HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfoCount(IDispatch* /*self*/, UINT* count)
{
    if (!count) {
        return E_POINTER;
    }
    *count = 1;
    return S_OK;
}

// Any index gives the one type information.
HRESULT STDMETHODCALLTYPE VTLShlExtGetTypeInfo(IDispatch* /*self*/, UINT /*index*/, LCID locale, ITypeInfo** info)
{
    if (!info) {
        return E_POINTER;
    }
    return vtlShlExtTypeInfo.GetTypeInfo(locale, info);
}

HRESULT STDMETHODCALLTYPE VTLShlExtGetIDsOfNames(IDispatch* /*self*/, REFIID /*iid*/, LPOLESTR* names, UINT count,
                               LCID locale, DISPID* ids)
{
    return vtlShlExtTypeInfo.GetIDsOfNames(names, count, locale, ids);
}

HRESULT STDMETHODCALLTYPE VTLShlExtInvoke(IDispatch* self, DISPID member, REFIID /*iid*/, LCID locale, WORD flags,
                        DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                        UINT* argumentError)
{
    return vtlShlExtTypeInfo.Invoke(self, member, locale, flags, parameters, result, exception, argumentError);
}
