// tessary.exe: the viewer's native window on Windows. The first command-line argument is the
// setup cabinet to open; further arguments are ignored.
#include "win/WinCEMain.h"

#include <clocale>
#include <memory>
#include <objbase.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    std::setlocale(LC_ALL, "");
    // The folder dialog of Extract All Files wants a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::wstring> arguments;
    int count = 0;
    if (LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            arguments.emplace_back(list[i]);
        LocalFree(list);
    }
    int status = 1;
    try {
        std::unique_ptr<TfrmWinCEMain> window(TfrmWinCEMain::Create(instance, arguments));
        if (window) {
            ShowWindow(window->Handle(), show);
            UpdateWindow(window->Handle());
            status = RunMessageLoop(*window);
        }
    } catch (...) {
        MessageBoxW(nullptr, L"The window could not be created.", kApplicationTitle,
                    MB_OK | MB_ICONERROR);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
