#include "menu_picture.h"

#include <wincodec.h>

#include "runtime/com_ptr.h"
#include "runtime/unique_resource.h"

namespace {

constexpr int kMargin = 12;  // screen around the menu, so its shadow and border show
constexpr UINT_PTR kGiveUpTimer = 1;
constexpr UINT kGiveUpMilliseconds = 10000;

struct PictureJob {
    const wchar_t* pngPath;
    HRESULT result;
    bool taken;
};

struct ScreenDc {
    HDC dc = GetDC(nullptr);
    ~ScreenDc() { ReleaseDC(nullptr, dc); }
};

HRESULT SavePng(HBITMAP bitmap, UINT width, UINT height, const wchar_t* path)
{
    ComPtr<IWICImagingFactory> factory;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory, factory.PutVoid());
    if (FAILED(result)) {
        return result;
    }
    ComPtr<IWICBitmap> picture;
    result = factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, picture.Put());
    ComPtr<IWICStream> stream;
    if (SUCCEEDED(result)) {
        result = factory->CreateStream(stream.Put());
    }
    if (SUCCEEDED(result)) {
        result = stream->InitializeFromFilename(path, GENERIC_WRITE);
    }
    ComPtr<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(result)) {
        result = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
    }
    if (SUCCEEDED(result)) {
        result = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    }
    ComPtr<IWICBitmapFrameEncode> frame;
    if (SUCCEEDED(result)) {
        result = encoder->CreateNewFrame(frame.Put(), nullptr);
    }
    if (SUCCEEDED(result)) {
        result = frame->Initialize(nullptr);
    }
    if (SUCCEEDED(result)) {
        result = frame->SetSize(width, height);
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(result)) {
        result = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(result)) {
        result = frame->WriteSource(picture.Get(), nullptr);
    }
    if (SUCCEEDED(result)) {
        result = frame->Commit();
    }
    if (SUCCEEDED(result)) {
        result = encoder->Commit();
    }
    return result;
}

HRESULT PhotographScreen(const RECT& area, const wchar_t* path)
{
    ScreenDc screen;
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    UniqueMemoryDc memory(CreateCompatibleDC(screen.dc));
    UniqueGdiObject bitmap(CreateCompatibleBitmap(screen.dc, width, height));
    if (!memory || !bitmap) {
        return E_FAIL;
    }
    HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
    BOOL copied = BitBlt(memory.Get(), 0, 0, width, height, screen.dc, area.left, area.top, SRCCOPY);
    SelectObject(memory.Get(), previous);
    if (!copied) {
        return E_FAIL;
    }
    return SavePng(static_cast<HBITMAP>(bitmap.Get()), width, height, path);
}

// The menu window the platform opened for TrackPopupMenu.
HWND OpenMenuWindow()
{
    return FindWindowW(L"#32768", nullptr);
}

LRESULT CALLBACK OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* job = reinterpret_cast<PictureJob*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_ENTERIDLE:
        // The menu is on the screen and waiting for the user: photograph it once, then close it.
        if (wParam == MSGF_MENU && job && !job->taken) {
            HWND menuWindow = OpenMenuWindow();
            RECT area = {};
            if (menuWindow && GetWindowRect(menuWindow, &area)) {
                GdiFlush();
                InflateRect(&area, kMargin, kMargin);
                RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
                IntersectRect(&area, &area, &screen);
                job->result = PhotographScreen(area, job->pngPath);
            } else {
                job->result = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
            }
            job->taken = true;
            EndMenu();
        }
        return 0;
    case WM_TIMER:
        if (wParam == kGiveUpTimer) {
            EndMenu();
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

HRESULT PhotographMenu(HMENU menu, const wchar_t* pngPath)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = OwnerProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"vtlshell menu owner";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);

    // A desktop-coloured window under the menu, as the folder window would be.
    HWND owner = CreateWindowExW(0, windowClass.lpszClassName, L"vtlshell", WS_POPUP | WS_VISIBLE,
                                 0, 0, 360, 160, nullptr, nullptr, instance, nullptr);
    if (!owner) {
        DWORD error = GetLastError();  // the platform may fail without saying why
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    PictureJob job = {pngPath, E_FAIL, false};
    SetWindowLongPtrW(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&job));
    SetTimer(owner, kGiveUpTimer, kGiveUpMilliseconds, nullptr);
    SetForegroundWindow(owner);
    UpdateWindow(owner);

    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, 40, 30, 0, owner, nullptr);

    KillTimer(owner, kGiveUpTimer);
    DestroyWindow(owner);
    UnregisterClassW(windowClass.lpszClassName, instance);
    return job.taken ? job.result : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}
