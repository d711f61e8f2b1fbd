#include "win/AboutBox.h"

#include "win/resource.h"

#include <vector>

namespace {
struct TAboutFonts {
    HFONT Normal = nullptr, Title = nullptr, Credits = nullptr;
    ~TAboutFonts() {
        for (HFONT font : {Normal, Title, Credits})
            if (font) DeleteObject(font);
    }
};

HFONT ArialFont(int dpi, int points, bool bold, bool italic) {
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, 0, 0,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Arial");
}

int Dpi(HWND window) {
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window, dc);
    return dpi > 0 ? dpi : 96;
}

// Places a control at the design's pixel position, as wide as its text.
void Place(HWND box, int id, int left, int top, HFONT font, int dpi) {
    HWND control = GetDlgItem(box, id);
    if (!control) return;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    wchar_t text[256] = L"";
    GetWindowTextW(control, text, 256);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    // Italic letters lean past their advance: a few pixels more keep the last one whole.
    MoveWindow(control, MulDiv(left, dpi, 96), MulDiv(top, dpi, 96), extent.cx + MulDiv(6, dpi, 96),
               extent.cy, FALSE);
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_INITDIALOG: {
            auto* fonts = reinterpret_cast<TAboutFonts*>(lParam);
            const int dpi = Dpi(box);
            fonts->Normal = ArialFont(dpi, 8, false, false);
            fonts->Title = ArialFont(dpi, 10, true, false);
            fonts->Credits = ArialFont(dpi, 8, false, true);
            const std::wstring version = ProductVersion();
            SetDlgItemTextW(box, lblCESetup, (L"Tessary " + version).c_str());
            Place(box, lblCESetup, 64, 16, fonts->Title, dpi);
            Place(box, lblNotice, 16, 68, fonts->Normal, dpi);
            Place(box, lblThanks, 16, 100, fonts->Normal, dpi);
            Place(box, lblThank1, 32, 116, fonts->Credits, dpi);
            Place(box, lblThank2, 32, 132, fonts->Credits, dpi);
            HWND icon = GetDlgItem(box, imgIcon);
            MoveWindow(icon, MulDiv(16, dpi, 96), MulDiv(16, dpi, 96), MulDiv(32, dpi, 96),
                       MulDiv(32, dpi, 96), FALSE);
            HWND ok = GetDlgItem(box, IDOK);
            SendMessageW(ok, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->Normal), FALSE);
            MoveWindow(ok, MulDiv(149, dpi, 96), MulDiv(168, dpi, 96), MulDiv(75, dpi, 96),
                       MulDiv(23, dpi, 96), FALSE);
            // A client area of 373 by 205 pixels, centred on the screen.
            RECT frame{0, 0, MulDiv(373, dpi, 96), MulDiv(205, dpi, 96)};
            AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), FALSE,
                               static_cast<DWORD>(GetWindowLongPtrW(box, GWL_EXSTYLE)));
            const int width = frame.right - frame.left, height = frame.bottom - frame.top;
            RECT work{};
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            MoveWindow(box, work.left + (work.right - work.left - width) / 2,
                       work.top + (work.bottom - work.top - height) / 2, width, height, FALSE);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, IDOK);
                return TRUE;
            }
            break;
        }
    } catch (...) {
        EndDialog(box, IDCANCEL);
    }
    return FALSE;
}
} // namespace

std::wstring ProductVersion() {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return {};
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return {};
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data())) return {};
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                        reinterpret_cast<void**>(&value), &chars) ||
        !value || chars == 0)
        return {};
    return std::wstring(value, wcsnlen(value, chars));
}

void ShowAboutBox(HWND owner) {
    TAboutFonts fonts;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutProc,
                    reinterpret_cast<LPARAM>(&fonts));
}
