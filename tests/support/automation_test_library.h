#pragma once
// The test type library of tests/modules/automation_test.idl: its identifiers and the C++
// form of its dual interface.

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

// {0F4B7D29-5C3E-4A18-B6D0-7A2E9C8F1B53}, version 1.0
inline constexpr GUID kTestLibraryId = {
    0x0F4B7D29, 0x5C3E, 0x4A18, {0xB6, 0xD0, 0x7A, 0x2E, 0x9C, 0x8F, 0x1B, 0x53}};

// {6A0E2F3C-8B41-4D7A-9C25-3E1F0B6D4A81}
inline constexpr IID kTestInterfaceId = {
    0x6A0E2F3C, 0x8B41, 0x4D7A, {0x9C, 0x25, 0x3E, 0x1F, 0x0B, 0x6D, 0x4A, 0x81}};

constexpr DISPID kValueId = 1;
constexpr DISPID kAddId = 2;

struct IAutomationTest : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Value(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Value(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(LONG first, LONG second, LONG* sum) = 0;
};

// The system kind under which this build's libraries are registered ("win32" or "win64").
inline const wchar_t* RegisteredSystemKind()
{
    return sizeof(void*) == 8 ? L"win64" : L"win32";
}

// Removes every registry trace of the test type library, however it was registered: the
// platform's own unregistration gives up on a registered path it cannot load.
inline void RemoveTestTypeLibRegistration()
{
    const SYSKIND systemKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    UnRegisterTypeLib(kTestLibraryId, 1, 0, 0, systemKind);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"TypeLib\\{0F4B7D29-5C3E-4A18-B6D0-7A2E9C8F1B53}");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"TypeLib\\{0F4B7D29-5C3E-4A18-B6D0-7A2E9C8F1B53}");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Interface\\{6A0E2F3C-8B41-4D7A-9C25-3E1F0B6D4A81}");
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Interface\\{6A0E2F3C-8B41-4D7A-9C25-3E1F0B6D4A81}");
}
