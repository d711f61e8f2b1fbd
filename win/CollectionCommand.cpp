// File > Open Collection...: an index of setups in a window of its own (CollectionWindow.h).
#include "collection/Collection.h"
#include "package/Package.h"
#include "win/CollectionWindow.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"

#include <algorithm>

void TfrmWinCEMain::mnuOpenCollectionClick() {
    TFileDialogRequest request;
    request.Title = L"Open Collection";
    request.Filter = std::wstring(L"Tessary Collections (*.db;*.sqlite;*.sqlite3)") + L'\0' +
                     L"*.db;*.sqlite;*.sqlite3" + L'\0' + L"All Files (*.*)" + L'\0' + L"*.*" +
                     L'\0';
    request.Folder = DialogFolder();
    const std::wstring chosen = FServices->RunFileDialog(FHandle, request);
    // A file that is no index is said by OpenCollection; the window it gives lives on its own.
    if (!chosen.empty()) OpenCollection(chosen);
}

bool TfrmWinCEMain::LooksLikeCollection(const std::wstring& fileName) {
    static const char kMagic[] = "SQLite format 3"; // with its NUL, the file's first 16 bytes
    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char start[sizeof kMagic] = {};
    DWORD got = 0;
    const bool read = ReadFile(file, start, sizeof start, &got, nullptr) && got == sizeof start;
    CloseHandle(file);
    return read && std::equal(start, start + sizeof start, kMagic);
}

// A setup the index found inside a package is opened below the package's node.
void TfrmWinCEMain::OpenIndexedSetup(const std::wstring& path) {
    std::string package, inside;
    if (!collection::SplitPackagePath(ToLocalPath(path), package, inside)) {
        OpenSetup(path);
        return;
    }
    OpenSetup(FromLocalPath(package));
    if (!FPackage) return; // it said why it could not be opened
    for (size_t i = 0; i < FPackage->Setups.size(); ++i)
        if (FPackage->Setups[i].PathInside == inside) {
            OpenContainedSetup(i);
            return;
        }
    ShowError(FromLocalPath(package) + L": no longer holds " + ToDisplay(inside));
}

TfrmCollection* TfrmWinCEMain::OpenCollection(const std::wstring& fileName) {
    if (ToLocalPath(fileName).empty()) {
        ShowError(fileName + L": cannot open the index: its name has no place in this system's "
                             L"code page");
        return nullptr;
    }
    try {
        return TfrmCollection::Create(FInstance, FHandle, fileName,
                                      [this](const std::wstring& path) {
                                          OpenIndexedSetup(path);
                                          SetForegroundWindow(FHandle);
                                      });
    } catch (const std::exception& e) {
        // The tool's own message, which names the index by its desktop path.
        ShowError(FromLocalPath(e.what()));
    }
    return nullptr;
}
