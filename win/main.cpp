// tessary.exe: the viewer's native window on Windows. The first command-line argument is the
// setup cabinet to open; further arguments are ignored.
#include "win/TextWin.h"
#include "win/WinCEMain.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
// For --quit-after-open: messages go to standard error instead of boxes that nobody closes.
class TConsoleMessages : public TSystemServices {
  public:
    void ShowMessage(HWND, const std::wstring& caption, const std::wstring& text, UINT) override {
        std::fprintf(stderr, "%s: %s\n", ToLocalPath(caption).c_str(), Narrow(text).c_str());
    }

  private:
    static std::string Narrow(const std::wstring& text) {
        std::string narrow;
        for (const wchar_t c : text)
            narrow += c < 0x80 ? static_cast<char>(c) : '?';
        return narrow;
    }
};
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    std::setlocale(LC_ALL, "");
    // The arguments as the C runtime split them at the start (by the rules CommandLineToArgvW
    // follows), without loading shell32 for it.
    std::vector<std::wstring> arguments;
    for (int i = 1; i < __argc && __wargv; ++i)
        arguments.emplace_back(__wargv[i]);
    // For checking an installation: open the file, print the caption, quit; the status says
    // whether a setup opened.
    const bool quit = !arguments.empty() && arguments.front() == L"--quit-after-open";
    if (quit) arguments.erase(arguments.begin());
    int status = 1;
    try {
        std::unique_ptr<TfrmWinCEMain> window(TfrmWinCEMain::Create(
            instance, arguments, quit ? std::make_shared<TConsoleMessages>() : nullptr));
        if (window && quit) {
            wchar_t caption[512] = L"";
            GetWindowTextW(window->Handle(), caption, 512);
            std::printf("%s\n", ToLocalPath(caption).c_str());
            status = window->SetupOpen() ? 0 : 1;
        } else if (window) {
            ShowWindow(window->Handle(), show);
            UpdateWindow(window->Handle());
            status = RunMessageLoop(*window);
        }
    } catch (...) {
        MessageBoxW(nullptr, L"The window could not be created.", kApplicationTitle,
                    MB_OK | MB_ICONERROR);
    }
    return status;
}
