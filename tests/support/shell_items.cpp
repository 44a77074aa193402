#include "shell_items.h"

#include <shlobj.h>

ComPtr<IShellItemArray> ShellItemsFromData(IDataObject* data)
{
    ComPtr<IShellItemArray> items;
    if (!data || FAILED(SHCreateShellItemArrayFromDataObject(data, IID_IShellItemArray, items.PutVoid()))) {
        return {};
    }
    return items;
}

ComPtr<IShellItemArray> ShellItemsFromNames(const std::vector<std::wstring>& names)
{
    std::vector<PIDLIST_ABSOLUTE> pidls;
    bool parsed = true;
    for (const std::wstring& name : names) {
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (FAILED(SHParseDisplayName(name.c_str(), nullptr, &pidl, 0, nullptr))) {
            parsed = false;
            break;
        }
        pidls.push_back(pidl);
    }
    ComPtr<IShellItemArray> items;
    if (parsed && FAILED(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(pidls.size()),
                                                           const_cast<PCIDLIST_ABSOLUTE_ARRAY>(pidls.data()),
                                                           items.Put()))) {
        items.Reset();
    }
    for (PIDLIST_ABSOLUTE pidl : pidls) {
        CoTaskMemFree(pidl);
    }
    return items;
}

namespace {

// Reference counting and QueryInterface for one interface, deleting the object at 0.
template <typename Interface>
class CountedObject : public Interface {
public:
    virtual ~CountedObject() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(Interface)) {
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG count = --references_;
        if (count == 0) {
            delete this;
        }
        return count;
    }

private:
    ULONG references_ = 1;
};

// Answers what a command asks of an item: its file-system path.
class HandMadeItem : public CountedObject<IShellItem> {
public:
    explicit HandMadeItem(std::wstring path) : path_(std::move(path)) {}
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN kind, LPWSTR* name) override
    {
        *name = nullptr;
        if (path_ == L"?") {
            return E_OUTOFMEMORY;
        }
        if (kind != SIGDN_FILESYSPATH || path_.empty()) {
            return E_INVALIDARG;
        }
        SIZE_T bytes = (path_.size() + 1) * sizeof(wchar_t);
        *name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!*name) {
            return E_OUTOFMEMORY;
        }
        CopyMemory(*name, path_.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }

private:
    std::wstring path_;
};

class HandMadeArray : public CountedObject<IShellItemArray> {
public:
    explicit HandMadeArray(std::vector<std::wstring> paths) : paths_(std::move(paths)) {}
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        *count = static_cast<DWORD>(paths_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItemAt(DWORD index, IShellItem** item) override
    {
        *item = index < paths_.size() ? new HandMadeItem(paths_[index]) : nullptr;
        return *item ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE EnumItems(IEnumShellItems**) override { return E_NOTIMPL; }

private:
    std::vector<std::wstring> paths_;
};

}  // namespace

ComPtr<IShellItemArray> HandMadeShellItems(std::vector<std::wstring> paths)
{
    return ComPtr<IShellItemArray>::Adopt(new HandMadeArray(std::move(paths)));
}
