#pragma once
// What the tests of tessary.exe's windows read back from the controls, through their own
// messages: a caption, a status bar's text, a list's cells; and the wait for the reader.
#include "win/TextWin.h"
#include "win/WinCEMain.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

using TTable = std::vector<std::vector<std::string>>;

inline std::string RightTrimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

inline std::string WindowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return ToUtf8(text);
}

inline std::string StatusText(HWND status) {
    wchar_t text[512] = L"";
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return ToUtf8(text);
}

// Every row's cells, spaces at their ends cut.
inline TTable ListContents(HWND list) {
    TTable rows;
    const int columns = Header_GetItemCount(ListView_GetHeader(list));
    const int count = ListView_GetItemCount(list);
    for (int row = 0; row < count; ++row) {
        auto& cells = rows.emplace_back();
        for (int column = 0; column < columns; ++column) {
            std::vector<wchar_t> text(4096, L'\0');
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text.data();
            item.cchTextMax = static_cast<int>(text.size());
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&item));
            cells.push_back(RightTrimmed(ToUtf8(text.data())));
        }
    }
    return rows;
}

// Runs the window's messages until the background reader has handed everything over.
inline bool WaitForReading(const TfrmWinCEMain& window) {
    const DWORD start = GetTickCount();
    MSG message;
    while (window.Reading() && GetTickCount() - start < 120000) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (window.Reading()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return !window.Reading();
}
