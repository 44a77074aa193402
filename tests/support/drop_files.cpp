#include "drop_files.h"

#include "drop_file_list.h"

#include <shlobj.h>


namespace {

struct Pidl {
    LPITEMIDLIST pidl = nullptr;
    ~Pidl() { CoTaskMemFree(pidl); }
};

}  // namespace

ComPtr<IDataObject> ShellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names)
{
    ComPtr<IShellFolder> desktop;
    ComPtr<IShellFolder> shellFolder;
    Pidl folderPidl;
    std::wstring folderName = folder;
    if (FAILED(SHGetDesktopFolder(desktop.Put())) ||
        FAILED(desktop->ParseDisplayName(nullptr, nullptr, &folderName[0], nullptr, &folderPidl.pidl, nullptr)) ||
        FAILED(desktop->BindToObject(folderPidl.pidl, nullptr, IID_IShellFolder, shellFolder.PutVoid()))) {
        return {};
    }
    std::vector<Pidl> items(names.size());
    std::vector<LPCITEMIDLIST> pidls;
    for (size_t index = 0; index < names.size(); ++index) {
        std::wstring name = names[index];
        if (FAILED(shellFolder->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, &items[index].pidl, nullptr))) {
            return {};
        }
        pidls.push_back(items[index].pidl);
    }
    ComPtr<IDataObject> data;
    shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(pidls.size()), pidls.data(), IID_IDataObject, nullptr,
                               data.PutVoid());
    return data;
}

ComPtr<IDataObject> HandMadeDataObject::Create(Offer offer, std::vector<std::wstring> paths,
                                               HandMadeDataObject** self)
{
    auto* object = new HandMadeDataObject(offer, std::move(paths));
    if (self) {
        *self = object;
    }
    return ComPtr<IDataObject>::Adopt(object);
}

ComPtr<IDataObject> HandMadeDataObject::CreateFromBlock(std::string block)
{
    auto* object = new HandMadeDataObject(Offer::kBlock, {});
    object->block_ = std::move(block);
    return ComPtr<IDataObject>::Adopt(object);
}

HandMadeDataObject::~HandMadeDataObject()
{
    for (HGLOBAL memory : handedOut_) {
        GlobalFree(memory);
    }
}

HRESULT HandMadeDataObject::QueryInterface(REFIID iid, void** object)
{
    *object = iid == IID_IUnknown || iid == IID_IDataObject ? static_cast<IDataObject*>(this) : nullptr;
    if (!*object) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG HandMadeDataObject::Release()
{
    LONG count = --references_;
    if (count == 0) {
        delete this;
    }
    return count;
}

HRESULT HandMadeDataObject::QueryGetData(FORMATETC* format)
{
    bool offered = offer_ != Offer::kNoDropList && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL);
    return offered ? S_OK : DV_E_FORMATETC;
}

HRESULT HandMadeDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    ++getDataCalls_;
    if (QueryGetData(format) != S_OK) {
        return DV_E_FORMATETC;
    }
    HGLOBAL memory = nullptr;
    if (offer_ == Offer::kPaths) {
        memory = MakeDropFiles(paths_);
    } else if (offer_ == Offer::kBlock && (memory = GlobalAlloc(GMEM_MOVEABLE, block_.size()))) {
        CopyMemory(GlobalLock(memory), block_.data(), block_.size());
        GlobalUnlock(memory);
    } else if (offer_ == Offer::kUnlockable) {
        memory = GlobalAlloc(GMEM_MOVEABLE, 0);  // a discarded block: nothing to lock
    }
    if (memory) {
        handedOut_.push_back(memory);
    }
    medium->tymed = offer_ == Offer::kNoGlobalMemory ? TYMED_NULL : TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = &mediumOwner_;
    mediumOwner_.AddRef();
    return S_OK;
}
