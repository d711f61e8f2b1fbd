#pragma once
// The window tests' fixture: tessary.exe's main window made in-process with recording services,
// the tool started as Windows starts programs, and the keys and clicks the tests send to lists.
#include "tests/support/Corpus.h"
#include "tests/windows/WindowControls.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// The user's locale for the whole run, as tessary.exe takes it on when it starts (pages sort
// captions in it); changed while readers run, the C runtime's locale data is not safe to use.
inline const bool kUserLocale = std::setlocale(LC_ALL, "") != nullptr;

// Dialogs answer what the test chose; message boxes and started programs are recorded.
class TRecordingServices : public TWindowServices {
  public:
    std::wstring Chosen;
    std::vector<TFileDialogRequest> Dialogs;
    std::vector<std::pair<std::wstring, UINT>> Messages;
    std::vector<std::pair<std::wstring, std::wstring>> Started;

    std::wstring RunFileDialog(HWND, const TFileDialogRequest& request) override {
        Dialogs.push_back(request);
        return Chosen;
    }
    std::wstring RunFolderDialog(HWND, const std::wstring&) override { return Chosen; }
    void ShowMessage(HWND, const std::wstring&, const std::wstring& text, UINT icon) override {
        Messages.emplace_back(text, icon);
    }
    void StartProcess(const std::wstring& program, const std::wstring& commandLine) override {
        Started.emplace_back(program, commandLine);
    }
    void ShowAbout(HWND) override {}
    // The device profile the window finds remembered.
    std::vector<std::string> Profile;
    std::vector<std::string> LoadDeviceProfile() override { return Profile; }
    // What the window asked to remember; with SaveFails the registry takes nothing.
    std::vector<std::string> Saved;
    bool SaveFails = false;
    bool SaveDeviceProfile(const std::vector<std::string>& sources) override {
        if (SaveFails) return false;
        Saved = sources;
        return true;
    }
    // What the chooser was asked (caption, label, items), and what it answers.
    std::vector<std::tuple<std::wstring, std::wstring, std::vector<std::wstring>>> Choices;
    std::optional<size_t> Choice;
    std::optional<size_t> ChooseItem(HWND, const std::wstring& caption, const std::wstring& label,
                                     const std::vector<std::wstring>& items) override {
        Choices.emplace_back(caption, label, items);
        return Choice;
    }
    // Cancels at this update (counting from 1); 0: never.
    size_t CancelAt = 0;
    std::unique_ptr<TProgress> StartProgress(HWND, const std::wstring&) override {
        struct TCancelling : TProgress {
            size_t Left;
            explicit TCancelling(size_t at) : Left(at) {}
            bool Update(size_t, size_t, const std::wstring&) override {
                return Left == 0 || --Left > 0;
            }
        };
        return std::make_unique<TCancelling>(CancelAt);
    }
};

inline std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

inline std::string NodeCaption(HWND tree, HTREEITEM node) {
    wchar_t text[1024] = L"";
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = text;
    item.cchTextMax = 1024;
    TreeView_GetItem(tree, &item);
    return Utf8(text);
}

// Every node in tree order, with its depth.
inline std::vector<std::pair<HTREEITEM, int>> Nodes(HWND tree) {
    std::vector<std::pair<HTREEITEM, int>> nodes;
    const auto walk = [&](auto& self, HTREEITEM first, int depth) -> void {
        for (HTREEITEM node = first; node; node = TreeView_GetNextSibling(tree, node)) {
            nodes.emplace_back(node, depth);
            self(self, TreeView_GetChild(tree, node), depth + 1);
        }
    };
    walk(walk, TreeView_GetRoot(tree), 0);
    return nodes;
}

inline std::wstring WindowsPath(const std::string& path) {
    std::wstring wide = FromLocalPath(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

// Runs tessary-info.exe with the arguments and gives its standard output (and its standard
// error after it, when asked) and exit status.
inline std::pair<std::string, DWORD> RunTool(const std::vector<std::wstring>& arguments,
                                             bool withErrors = false) {
    const std::wstring tool = WindowsPath(TESSARY_INFO_EXE);
    std::wstring commandLine = QuoteArgument(tool);
    for (const std::wstring& argument : arguments)
        commandLine += L" " + QuoteArgument(argument);
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {"", 255};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = withErrors ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            output.append(buffer, got);
        WaitForSingleObject(process.hProcess, 120000);
    }
    CloseHandle(readEnd);
    DWORD status = 255;
    if (started) {
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return {output, status};
}

// A key pressed in a list, as the keyboard sends it.
inline void PressKey(HWND list, WPARAM key) {
    SendMessageW(list, WM_KEYDOWN, key, 0);
}

inline void FocusRow(HWND list, int row) {
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

inline int FocusedRow(HWND list) {
    return ListView_GetNextItem(list, -1, LVNI_FOCUSED);
}

// Opens every row of a tree list with "+", top to bottom: what opens shows below it.
inline void OpenEveryRow(HWND list) {
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        FocusRow(list, row);
        PressKey(list, VK_ADD);
    }
}

// A row's glyph, as the list paints it: its state image, 0 for none.
inline int GlyphOf(HWND list, int row) {
    return static_cast<int>(ListView_GetItemState(list, row, LVIS_STATEIMAGEMASK) >> 12);
}

// Sends the list's notification of a mouse action at the point to the window.
inline void NotifyMouse(HWND window, HWND list, UINT code, int row, POINT at) {
    NMITEMACTIVATE click{};
    click.hdr = {list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), code};
    click.iItem = row;
    click.ptAction = at;
    SendMessageW(window, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Services = std::make_shared<TRecordingServices>();
        Window.reset(TfrmWinCEMain::Create(GetModuleHandleW(nullptr), {}, Services));
        if (!Window && !std::getenv("DISPLAY")) GTEST_SKIP() << "no X display for Wine";
        ASSERT_TRUE(Window) << "the window could not be created";
    }

    // Wine's cabinet library now and then refuses a cabinet it reads on the next try.
    void Open(const std::string& path) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            Services->Messages.clear();
            Window->OpenSetup(WindowsPath(path));
            if (Window->SetupOpen()) {
                EXPECT_TRUE(WaitForReading(*Window));
                return;
            }
        }
    }

    HWND Control(int id) const { return Window->Control(id); }

    // Selects the project tree's node of the caption.
    void SelectNodeNamed(const std::string& caption) {
        for (const auto& [node, depth] : Nodes(Control(tvProject)))
            if (NodeCaption(Control(tvProject), node) == caption) {
                TreeView_SelectItem(Control(tvProject), node);
                return;
            }
        ADD_FAILURE() << "no node " << caption;
    }

    void SelectProjectNode(int index) {
        const auto nodes = Nodes(Control(tvProject));
        ASSERT_LT(static_cast<size_t>(index), nodes.size());
        TreeView_SelectItem(Control(tvProject), nodes[static_cast<size_t>(index)].first);
    }

    std::shared_ptr<TRecordingServices> Services;
    std::unique_ptr<TfrmWinCEMain> Window;
};

// The selected row of a list, or none.
inline std::vector<std::string> SelectedRow(HWND list) {
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    const TTable rows = ListContents(list);
    return row >= 0 && static_cast<size_t>(row) < rows.size() ? rows[static_cast<size_t>(row)]
                                                              : std::vector<std::string>{};
}

inline const TViewerPage& ViewerPageNamed(const TfrmWinCEMain& window, const std::string& node) {
    const auto found = std::find_if(window.Pages().begin(), window.Pages().end(),
                                    [&node](const TViewerPage& page) { return page.Node == node; });
    if (found == window.Pages().end()) throw std::runtime_error("no page " + node);
    return *found;
}
