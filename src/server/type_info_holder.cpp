#include "server/type_info_holder.h"

#include "runtime/com_ptr.h"
#include "runtime/critical_section_lock.h"
#include "runtime/module_block.h"
#include "runtime/module_state.h"
#include "server/vtl_guids.h"

TypeInfoHolder vtlShlExtTypeInfo = {&IID_IVTLShlExt, &LIBID_VTLMENULib, 1, 0, nullptr, nullptr, 0};

namespace {

// The stored type information is published after the name cache is complete; a reader that
// sees it sees the whole cache.
ITypeInfo* PublishedTypeInfo(const TypeInfoHolder& holder)
{
    return __atomic_load_n(&holder.typeInfo, __ATOMIC_ACQUIRE);
}

void Publish(TypeInfoHolder& holder, ITypeInfo* info)
{
    __atomic_store_n(&holder.typeInfo, info, __ATOMIC_RELEASE);
}

// The names of the type's functions, in function order. A function whose description or
// name cannot be read keeps an unfilled entry; a cache that cannot be allocated stays empty.
void BuildNameCache(TypeInfoHolder& holder, ITypeInfo* info)
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return;
    }
    INT32 count = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    if (count <= 0) {
        return;
    }
    ModuleBlock<NameCacheEntry> cache = ModuleBlock<NameCacheEntry>::Allocate(count);
    if (!cache) {
        return;
    }
    for (INT32 index = 0; index < count; ++index) {
        cache.Get()[index] = NameCacheEntry{nullptr, 0, DISPID_UNKNOWN};
    }
    for (INT32 index = 0; index < count; ++index) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(index, &function))) {
            continue;
        }
        BSTR name = nullptr;
        if (SUCCEEDED(info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
            NameCacheEntry& entry = cache.Get()[index];
            entry.name = name;
            entry.length = static_cast<INT32>(SysStringLen(name));
            entry.memberId = function->memid;
        }
        info->ReleaseFuncDesc(function);
    }
    holder.nameCache = cache.Detach();
    holder.nameCacheCount = count;
}

// Runs under generalLock, only while no type information is stored.
HRESULT LoadTypeInfo(TypeInfoHolder& holder, LCID locale)
{
    ComPtr<ITypeLib> library;
    HRESULT result = LoadRegTypeLib(*holder.libraryId, holder.majorVersion, holder.minorVersion,
                                    locale, library.Put());
    if (FAILED(result)) {
        return result;
    }
    ComPtr<ITypeInfo> info;
    result = library->GetTypeInfoOfGuid(*holder.interfaceId, info.Put());
    if (FAILED(result)) {
        return result;
    }

    ComPtr<ITypeInfo> candidate;
    ComPtr<ITypeInfo2> info2;
    if (SUCCEEDED(info.QueryInterface(IID_ITypeInfo2, info2))) {
        candidate = ComPtr<ITypeInfo>::Adopt(info2.Detach());
    } else {
        candidate = info;
    }
    BuildNameCache(holder, candidate.Get());
    Publish(holder, candidate.Detach());
    return S_OK;
}

// The cached entry answering `name`: the last one of the same length and the same units.
// Unfilled entries never answer.
const NameCacheEntry* FindCachedName(const TypeInfoHolder& holder, const WCHAR* name, int length)
{
    if (!holder.nameCache) {
        return nullptr;
    }
    for (INT32 index = holder.nameCacheCount - 1; index >= 0; --index) {
        const NameCacheEntry& entry = holder.nameCache[index];
        if (entry.name && entry.length == length &&
            memcmp(entry.name, name, static_cast<size_t>(length) * sizeof(WCHAR)) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// The stored type information, loaded first when needed. Null when it cannot be had, with
// the load's failure code in `failure`.
ITypeInfo* LoadedTypeInfo(TypeInfoHolder& holder, LCID locale, HRESULT& failure)
{
    ITypeInfo* loaded = PublishedTypeInfo(holder);
    if (!loaded) {
        failure = holder.EnsureTypeInfo(locale);
        loaded = PublishedTypeInfo(holder);
    }
    return loaded;
}

}  // namespace

HRESULT TypeInfoHolder::EnsureTypeInfo(LCID locale)
{
    if (PublishedTypeInfo(*this)) {
        return S_OK;
    }
    HRESULT result = S_OK;
    {
        CriticalSectionLock lock(theModule->generalLock);
        if (!typeInfo) {
            result = LoadTypeInfo(*this, locale);
        }
    }
    // Registered by every call that took the lock, whatever the result; a holder already on
    // the list is not added again. A node that cannot be allocated is not reported.
    (void)AddExitCallbackOnce(theModule, ClearTypeInfoHolder, this);
    return result;
}

HRESULT TypeInfoHolder::GetTypeInfo(LCID locale, ITypeInfo** info)
{
    if (!info) {
        return E_POINTER;
    }
    HRESULT failure = S_OK;
    ITypeInfo* loaded = LoadedTypeInfo(*this, locale, failure);
    *info = loaded;
    if (!loaded) {
        return failure;
    }
    loaded->AddRef();
    return S_OK;
}

HRESULT TypeInfoHolder::GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids)
{
    if (count > 0 && (!names || !ids)) {
        return E_INVALIDARG;
    }
    for (UINT index = 0; index < count; ++index) {
        if (!names[index]) {
            return E_INVALIDARG;
        }
    }
    HRESULT result = S_OK;
    ITypeInfo* loaded = LoadedTypeInfo(*this, locale, result);
    if (!loaded) {
        return result;
    }
    result = S_OK;
    for (UINT index = 0; index < count; ++index) {
        const NameCacheEntry* cached = FindCachedName(*this, names[index], lstrlenW(names[index]));
        if (cached) {
            ids[index] = cached->memberId;
            continue;
        }
        // A miss hands the whole request to the type information, which fills every element
        // (parameter names included); later cache hits then overwrite theirs.
        result = loaded->GetIDsOfNames(names, count, ids);
        if (FAILED(result)) {
            return result;
        }
    }
    return result;
}

HRESULT TypeInfoHolder::Invoke(IDispatch* instance, DISPID member, LCID locale, WORD flags,
                               DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                               UINT* argumentError)
{
    HRESULT failure = S_OK;
    ITypeInfo* loaded = LoadedTypeInfo(*this, locale, failure);
    if (!loaded) {
        return failure;
    }
    return loaded->Invoke(instance, member, flags, parameters, result, exception, argumentError);
}

void ClearTypeInfoHolder(void* argument)
{
    auto* holder = static_cast<TypeInfoHolder*>(argument);
    if (holder->typeInfo) {
        holder->typeInfo->Release();
        holder->typeInfo = nullptr;
    }
    if (holder->nameCache) {
        for (INT32 index = holder->nameCacheCount - 1; index >= 0; --index) {
            SysFreeString(holder->nameCache[index].name);
        }
        ModuleFree(holder->nameCache);
        holder->nameCache = nullptr;
    }
    holder->nameCacheCount = 0;
}
