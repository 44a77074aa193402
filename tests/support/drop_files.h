#pragma once
// Selections as the shell hands them to a handler: the shell's own data object for real files,
// and a small hand-written one for what the shell cannot produce.

#include <objidl.h>

#include <string>
#include <vector>

#include "drop_file_list.h"
#include "runtime/com_ptr.h"

// The shell's data object for files of one folder, made as Explorer makes it:
// IShellFolder::GetUIObjectOf with IID_IDataObject. Null on failure.
ComPtr<IDataObject> ShellDataObject(const std::wstring& folder, const std::vector<std::wstring>& names);

// A data object that offers a dropped-file list in ways the shell never would. Every medium
// it hands out names it as pUnkForRelease, so that it can count the media not yet released.
class HandMadeDataObject final : public IDataObject {
public:
    enum class Offer {
        kPaths,          // the given paths, a fresh copy for every GetData
        kNoDropList,     // GetData refuses CF_HDROP
        kUnlockable,     // global memory that GlobalLock cannot lock
        kNoGlobalMemory, // GetData succeeds with a medium that is not global memory
        kBlock           // global memory holding exactly the given bytes
    };

    // Starts with one reference, which the returned pointer owns; self (if given) receives the
    // object for the counters below.
    static ComPtr<IDataObject> Create(Offer offer, std::vector<std::wstring> paths = {},
                                      HandMadeDataObject** self = nullptr);
    static ComPtr<IDataObject> CreateFromBlock(std::string block);

    LONG OutstandingMedia() const { return outstanding_; }
    int GetDataCalls() const { return getDataCalls_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    struct MediumOwner : IUnknown {
        explicit MediumOwner(LONG& count) : count_(count) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&count_); }
        ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&count_); }
        LONG& count_;
    };

    HandMadeDataObject(Offer offer, std::vector<std::wstring> paths) : offer_(offer), paths_(std::move(paths)) {}
    ~HandMadeDataObject();

    LONG references_ = 1;
    LONG outstanding_ = 0;
    int getDataCalls_ = 0;
    Offer offer_;
    std::vector<std::wstring> paths_;
    std::string block_;
    std::vector<HGLOBAL> handedOut_;  // freed here, not by ReleaseStgMedium
    MediumOwner mediumOwner_{outstanding_};
};
