// tessary.exe's window under test: each real cabinet is opened in the window and its tree and
// lists, read back through the controls' own messages, must show what tessary-info.exe prints
// for the same cabinet. Needs an X display under Wine (scripts/test.sh starts Xvfb).
#include "cab/FileSystem.h"
#include "device/DevicePage.h"
#include "programs/PEImage.h"
#include "setup/ExtractAll.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/Corpus.h"
#include "tests/support/HostileFixtures.h"
#include "tests/support/PackageBuilder.h"
#include "tests/window/WindowFixture.h"
#include "tests/windows/FixtureStore.h"
#include "tests/windows/WindowControls.h"
#include "win/TextWin.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace {

// The tool's text cuts a cell past 200 bytes, with "... (N bytes)"; the window shows it whole.
TTable AsTheToolShows(TTable table) {
    for (auto& row : table)
        for (auto& cell : row) {
            if (cell.size() <= 200) continue;
            size_t cut = 200;
            while (cut > 0 && (static_cast<unsigned char>(cell[cut]) & 0xC0) == 0x80)
                --cut;
            cell = cell.substr(0, cut) + "... (" + std::to_string(cell.size()) + " bytes)";
        }
    return table;
}

// The tables of tessary-info's text report by caption (without the row count): columns start
// where the header's captions start, each cell padded to its column. A section's headline
// ("Findings: 1 warning, 0 notices") before its header goes to headlines, by caption.
std::map<std::string, TTable>
ReportTables(const std::string& report, std::map<std::string, std::string>* headlines = nullptr) {
    std::map<std::string, TTable> tables;
    std::istringstream lines(report);
    std::string line, caption;
    std::vector<size_t> starts;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.rfind("  ", 0) != 0) {
            caption = line.substr(0, line.rfind(" (") == std::string::npos ? line.size()
                                                                           : line.rfind(" ("));
            starts.clear();
            continue;
        }
        if (starts.empty() && line.rfind("  " + caption.substr(0, caption.find(' ')), 0) == 0 &&
            line.find(": ") != std::string::npos) {
            if (headlines) (*headlines)[caption] = line.substr(2);
            continue;
        }
        if (starts.empty()) {
            for (size_t i = 2; i < line.size(); ++i)
                if (line[i] != ' ' && (i == 2 || (line[i - 1] == ' ' && line[i - 2] == ' ')))
                    starts.push_back(i);
            tables[caption];
            continue;
        }
        auto& cells = tables[caption].emplace_back();
        for (size_t c = 0; c < starts.size(); ++c) {
            const size_t from = std::min(starts[c], line.size());
            const size_t to =
                c + 1 < starts.size() ? std::min(starts[c + 1], line.size()) : line.size();
            cells.push_back(RightTrimmed(line.substr(from, to - from)));
        }
    }
    return tables;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The provisioning rows as the window and the tool's text both show them whole: the first column
// without the depth the tool's text steps it in by, and without the values, which the text cuts
// shorter and prints line breaks of as spaces. The last column both show whole.
TTable ProvisioningColumns(TTable table) {
    for (auto& row : table) {
        if (!row.empty()) row[0].erase(0, row[0].find_first_not_of(' '));
        if (row.size() > 2) row.erase(row.begin() + 2);
    }
    return table;
}

// The registry page as the report prints it: key, value name, type and value of every value,
// gathered by selecting each key; sorted, since the report follows the model's order.
TTable RegistryRows(HWND keys, HWND values) {
    TTable rows;
    for (const auto& [node, depth] : Nodes(keys)) {
        if (depth == 0) continue; // "Device Registry" lists nothing of its own
        TreeView_SelectItem(keys, node);
        std::string path = NodeCaption(keys, node);
        for (HTREEITEM up = TreeView_GetParent(keys, node); up && TreeView_GetParent(keys, up);
             up = TreeView_GetParent(keys, up))
            path = NodeCaption(keys, up) + "\\" + path;
        for (auto& row : ListContents(values)) {
            row.insert(row.begin(), path);
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}
} // namespace

TEST_F(WindowTest, EveryRealCabinetShowsTheRowsOfTheTool) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    int compared = 0;
    for (const std::string& cabinet : CorpusFiles("real")) {
        SCOPED_TRACE(cabinet);
        auto [report, status] = RunTool({L"--audit", WindowsPath(cabinet)});
        // Wine's cabinet library now and then refuses a cabinet it reads on the next start.
        if (status == 1) std::tie(report, status) = RunTool({L"--audit", WindowsPath(cabinet)});
        Open(cabinet);
        if (status == 1) {
            // Not a setup: the one message, and the window stays empty.
            EXPECT_FALSE(Window->SetupOpen());
            ASSERT_EQ(Services->Messages.size(), 1u);
            EXPECT_EQ(Services->Messages[0].first,
                      L"Invalid Windows CE Setup file, Tessary cannot read this file.");
            EXPECT_EQ(Services->Messages[0].second, static_cast<UINT>(MB_ICONERROR));
            EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
            // The status bar keeps saying why, once the box has gone.
            EXPECT_EQ(StatusText(Control(sbStatus)),
                      cabinet.substr(cabinet.find_last_of("/\\") + 1) +
                          ": Invalid Windows CE Setup file, Tessary cannot read this file.");
            continue;
        }
        ASSERT_EQ(status, 0u) << report;
        ASSERT_TRUE(Window->SetupOpen());
        std::map<std::string, std::string> headlines;
        const auto tables = ReportTables(report, &headlines);
        const TTable properties = tables.at("Windows CE Setup Properties");
        // The Project page adds the findings' counts, as the Qt viewer does.
        TTable project = properties;
        const std::string& headline = headlines.at("Findings");
        project.push_back({"Findings", headline.substr(headline.find(": ") + 2)});
        EXPECT_EQ(ListContents(Control(lvProject)), project);
        // The Files rows are made when their page is first shown.
        EXPECT_EQ(ListView_GetItemCount(Control(lvFiles)), 0);
        SelectProjectNode(1);
        EXPECT_EQ(ListContents(Control(lvFiles)), tables.at("Device Files"));
        EXPECT_EQ(ListContents(Control(lvShortcuts)), tables.at("Device Shortcuts"));
        TTable registry = tables.at("Device Registry Entries");
        std::sort(registry.begin(), registry.end());
        EXPECT_EQ(RegistryRows(Control(tvRegistry), Control(lvRegistry)), registry);

        // The programs, as --audit lists them, under a node of their own.
        const auto programs =
            std::find_if(Window->Pages().begin(), Window->Pages().end(),
                         [](const TViewerPage& page) { return page.Node == "Programs"; });
        ASSERT_NE(programs, Window->Pages().end());
        EXPECT_EQ(programs->Present, !tables.at("Device Files").empty());
        if (programs->Present) {
            EXPECT_EQ(AsTheToolShows(ListContents(Control(programs->List->Id))),
                      tables.at("Programs"));
        }

        const auto findings =
            std::find_if(Window->Pages().begin(), Window->Pages().end(),
                         [](const TViewerPage& page) { return page.Node == "Findings"; });
        ASSERT_NE(findings, Window->Pages().end());
        EXPECT_TRUE(findings->Present);
        // Groups open into their places: all open, the rows the tool prints.
        OpenEveryRow(Control(findings->List->Id));
        EXPECT_EQ(AsTheToolShows(ListContents(Control(findings->List->Id))), tables.at("Findings"));
        EXPECT_EQ(Utf8(findings->Status), headline);
        const auto provisioning =
            std::find_if(Window->Pages().begin(), Window->Pages().end(),
                         [](const TViewerPage& page) { return page.Node == "Provisioning"; });
        ASSERT_NE(provisioning, Window->Pages().end());
        EXPECT_EQ(provisioning->Present, tables.count("Provisioning") > 0);
        if (provisioning->Present && tables.count("Provisioning")) {
            OpenEveryRow(Control(provisioning->List->Id));
            EXPECT_EQ(ProvisioningColumns(ListContents(Control(provisioning->List->Id))),
                      ProvisioningColumns(tables.at("Provisioning")));
        }

        const auto nodes = Nodes(Control(tvProject));
        ASSERT_GE(nodes.size(), 5u);
        std::vector<std::string> later;
        for (size_t i = 4; i < nodes.size(); ++i)
            later.push_back(NodeCaption(Control(tvProject), nodes[i].first));
        EXPECT_EQ(std::count(later.begin(), later.end(), "Programs"), programs->Present ? 1 : 0);
        EXPECT_EQ(later.back(), "Findings");
        EXPECT_EQ(NodeCaption(Control(tvProject), nodes[0].first), properties.at(0).at(1));
        EXPECT_EQ(NodeCaption(Control(tvProject), nodes[3].first), "Registry Entries");
        const std::string file = cabinet.substr(cabinet.find_last_of("/\\") + 1);
        EXPECT_EQ(WindowText(Window->Handle()), "Tessary - " + file);
        SelectProjectNode(1);
        EXPECT_EQ(StatusText(Control(sbStatus)),
                  "Total of files: " + std::to_string(tables.at("Device Files").size()));
        EXPECT_TRUE(Services->Messages.empty());
        ++compared;
    }
    std::printf("compared the window with tessary-info.exe on %d cabinets\n", compared);
    EXPECT_GT(compared, 0);
}

TEST_F(WindowTest, DoubleClickingAFindingSelectsTheRowItIsAbout) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("App.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    const auto page = std::find_if(Window->Pages().begin(), Window->Pages().end(),
                                   [](const TViewerPage& p) { return p.Node == "Findings"; });
    ASSERT_NE(page, Window->Pages().end());
    HWND findings = Control(page->List->Id);
    constexpr size_t kWhere = 3; // Severity, Rule, Title, Where
    const auto doubleClick = [&](const std::string& whereStart) {
        const TTable rows = ListContents(findings);
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const auto& row) {
            return row.at(kWhere).rfind(whereStart, 0) == 0;
        });
        if (found == rows.end()) return std::string();
        NMITEMACTIVATE click{};
        click.hdr = {findings, static_cast<UINT_PTR>(GetDlgCtrlID(findings)), NM_DBLCLK};
        click.iItem = static_cast<int>(found - rows.begin());
        SendMessageW(Window->Handle(), WM_NOTIFY, click.hdr.idFrom,
                     reinterpret_cast<LPARAM>(&click));
        return found->at(kWhere);
    };

    // A file in the Windows folder, from a filtered list: the filter goes, the file is selected.
    SetWindowTextW(Control(edtFilter), L"%WinDir%");
    ASSERT_LT(ListContents(findings).size(), page->List->Rows.size());
    const std::string file = doubleClick("%WinDir%\\");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(WindowText(Control(edtFilter)), "");
    EXPECT_EQ(Window->CurrentPage(), kProjectNodeFiles);
    const auto fileRow = SelectedRow(Control(lvFiles));
    ASSERT_FALSE(fileRow.empty());
    EXPECT_EQ("%WinDir%\\" + fileRow.at(0), file);

    // A component's registry value, one of a group's places: its key in the tree, the value in
    // the list.
    OpenEveryRow(findings);
    const std::string value = doubleClick("HKEY_CLASSES_ROOT\\");
    ASSERT_FALSE(value.empty());
    EXPECT_EQ(Window->CurrentPage(), kProjectNodeRegistry);
    HWND keys = Control(tvRegistry);
    std::string path = NodeCaption(keys, TreeView_GetSelection(keys));
    for (HTREEITEM up = TreeView_GetParent(keys, TreeView_GetSelection(keys));
         up && TreeView_GetParent(keys, up); up = TreeView_GetParent(keys, up))
        path = NodeCaption(keys, up) + "\\" + path;
    EXPECT_EQ(value.substr(0, value.find(": ")), path);
    const auto valueRow = SelectedRow(Control(lvRegistry));
    ASSERT_FALSE(valueRow.empty());
    EXPECT_EQ(value.substr(value.rfind(" = ") + 3), valueRow.back());
}

TEST_F(WindowTest, NotASetupLeavesTheWindowEmptyAndCloseSetupEmptiesEveryView) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SelectProjectNode(1);
    ListView_SetItemState(Control(lvFiles), 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_TRUE(Window->CommandEnabled(mnuExtractFile));
    Window->Command(mnuCloseSetup);
    for (int tree : {tvProject, tvRegistry})
        EXPECT_EQ(TreeView_GetCount(Control(tree)), 0u);
    for (int list : {lvProject, lvFiles, lvShortcuts, lvRegistry})
        EXPECT_EQ(ListView_GetItemCount(Control(list)), 0);
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary");
    EXPECT_EQ(StatusText(Control(sbStatus)), "");
    for (int command : {mnuExtractFile, mnuCloseSetup, mnuEditWithVLM, mnuExtractAll})
        EXPECT_FALSE(Window->CommandEnabled(command)) << command;

    TempDir dir;
    const std::string garbage = dir.File("notes.cab");
    std::ofstream(garbage, std::ios::binary) << "this is no cabinet";
    Open(RealCabinet("Basic.WM.CAB"));
    Window->OpenSetup(WindowsPath(garbage));
    EXPECT_FALSE(Window->SetupOpen());
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first,
              L"Invalid Windows CE Setup file, Tessary cannot read this file.");
    EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary");
}

// The cabinet named on the command line is read while the window is made: it opens as OpenSetup
// opens it, by a path relative to the current folder too, with the keyboard on the project tree
// once shown; a package opens as one, and a file that is no setup leaves the window empty with
// the message.
TEST_F(WindowTest, TheCabinetOfTheCommandLineOpensAsOpenSetupOpensIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string cabinet = RealCabinet("Ushahidi.CAB");
    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    const auto created = [this](const std::wstring& argument) {
        std::unique_ptr<TfrmWinCEMain> window;
        // Wine's cabinet library now and then refuses a cabinet it reads on the next try.
        for (int attempt = 0; attempt < 2 && !(window && window->SetupOpen()); ++attempt) {
            Services->Messages.clear();
            window.reset(TfrmWinCEMain::Create(GetModuleHandleW(nullptr), {argument}, Services));
        }
        if (window) {
            EXPECT_TRUE(WaitForReading(*window));
        }
        return window;
    };
    const auto captions = [](HWND tree) {
        std::vector<std::string> all;
        for (const auto& [node, depth] : Nodes(tree))
            all.push_back(std::to_string(depth) + NodeCaption(tree, node));
        return all;
    };
    wchar_t before[MAX_PATH * 4] = L"";
    GetCurrentDirectoryW(MAX_PATH * 4, before);
    const std::wstring path = WindowsPath(cabinet);
    const size_t cut = path.find_last_of(L'\\');
    ASSERT_TRUE(SetCurrentDirectoryW(path.substr(0, cut).c_str()));
    std::unique_ptr<TfrmWinCEMain> window = created(path.substr(cut + 1));
    SetCurrentDirectoryW(before);
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->SetupOpen());
    EXPECT_TRUE(Services->Messages.empty());
    EXPECT_EQ(WindowText(window->Handle()), WindowText(Window->Handle()));
    EXPECT_EQ(StatusText(window->Control(sbStatus)), StatusText(Control(sbStatus)));
    EXPECT_EQ(captions(window->Control(tvProject)), captions(Control(tvProject)));
    EXPECT_EQ(ListContents(window->Control(lvProject)), ListContents(Control(lvProject)));
    const TTable programs =
        ListContents(window->Control(ViewerPageNamed(*window, "Programs").List->Id));
    EXPECT_FALSE(programs.empty());
    EXPECT_EQ(programs, ListContents(Control(ViewerPageNamed(*Window, "Programs").List->Id)));
    // Shown as tessary.exe shows it, the project tree has the keyboard.
    ShowWindow(window->Handle(), SW_SHOWNORMAL);
    EXPECT_EQ(GetFocus(), window->Control(tvProject));

    window = created(WindowsPath(CorpusDir() + "/packages/Ushahidi/Ushahidi.ini"));
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->PackageOpen());
    EXPECT_FALSE(window->SetupOpen());
    EXPECT_EQ(WindowText(window->Handle()), "Tessary - Ushahidi.ini");

    TempDir dir;
    const std::string garbage = dir.File("notes.cab");
    std::ofstream(garbage, std::ios::binary) << "this is no cabinet";
    window = created(WindowsPath(garbage));
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->SetupOpen());
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first,
              L"Invalid Windows CE Setup file, Tessary cannot read this file.");
    EXPECT_EQ(WindowText(window->Handle()), "Tessary");
}

TEST_F(WindowTest, HostileCabinetsOpenOrLeaveTheWindowEmptyWithAMessage) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    for (const std::string& cabinet : CorpusFiles("robust")) {
        SCOPED_TRACE(cabinet);
        Services->Messages.clear();
        Window->OpenSetup(WindowsPath(cabinet));
        if (Window->SetupOpen()) {
            EXPECT_GE(TreeView_GetCount(Control(tvProject)), 4u);
            EXPECT_GE(TreeView_GetCount(Control(tvRegistry)), 4u);
        } else if (Window->PackageOpen()) {
            // Cabinets inside: listed by the "Package" node.
            EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 1u);
        } else {
            EXPECT_FALSE(Services->Messages.empty());
            EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
            EXPECT_EQ(WindowText(Window->Handle()), "Tessary");
        }
    }
}

TEST_F(WindowTest, ExtractFileWritesTheBytesOfTheLinuxBuildAndAFailureLeavesNothing) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SelectProjectNode(1);
    const TTable files = ListContents(Control(lvFiles));
    const auto row = std::find_if(files.begin(), files.end(),
                                  [](const auto& cells) { return cells[0] == "MSCEFile.dll"; });
    ASSERT_NE(row, files.end());
    const int index = static_cast<int>(row - files.begin());
    ListView_SetItemState(Control(lvFiles), index, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    TempDir dir;
    const std::string target = dir.File("saved.dll");
    Services->Chosen = WindowsPath(target);
    Window->Command(mnuExtractFile);
    ASSERT_EQ(Services->Dialogs.size(), 1u);
    EXPECT_EQ(Services->Dialogs[0].FileName, L"MSCEFile.dll");
    EXPECT_EQ(Services->Dialogs[0].Filter, std::wstring(L".dll file (*.dll)\0*.dll\0", 24));
    EXPECT_TRUE(Services->Dialogs[0].Save);
    EXPECT_TRUE(Services->Messages.empty());
    const std::string written = ReadAll(target);
    EXPECT_EQ(written.size(), 86528u); // 84.5 KB, as the row shows

    // scripts/test.sh lets the Linux build extract every file of the cabinet here first.
    if (const char* native = std::getenv("TESSARY_NATIVE_EXTRACT")) {
        const auto parts = DeviceTargetParts((*row)[1], (*row)[0]);
        ASSERT_TRUE(parts);
        // A Unix path from the test script is reached through Wine's drive Z:.
        std::string path = (native[0] == '/' ? "Z:" : "") + std::string(native) + "/Basic.WM.CAB";
        for (const std::string& part : *parts)
            path += "/" + part;
        EXPECT_EQ(written, ReadAll(path)) << path;
    }

    // A folder that does not exist: the message names the file, and nothing is left behind.
    Services->Chosen = WindowsPath(dir.File("missing\\saved.dll"));
    Window->Command(mnuExtractFile);
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_NE(Services->Messages[0].first.find(L"MSCEFile.dll"), std::wstring::npos);
    EXPECT_FALSE(FileExists(dir.File("missing\\saved.dll")));
    EXPECT_FALSE(DirectoryExists(dir.File("missing")));
}

TEST_F(WindowTest, ExtractAllWritesEveryFileAsTheLinuxBuildDoes) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    TempDir dir;
    Services->Chosen = WindowsPath(dir.Path());
    Window->Command(mnuExtractAll);
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first, L"54 files were written to " + Services->Chosen + L".");
    EXPECT_EQ(Services->Messages[0].second, static_cast<UINT>(MB_ICONINFORMATION));
    SelectProjectNode(1);
    const TTable files = ListContents(Control(lvFiles));
    const char* native = std::getenv("TESSARY_NATIVE_EXTRACT");
    for (const auto& cells : files) {
        const auto parts = DeviceTargetParts(cells[1], cells[0]);
        ASSERT_TRUE(parts);
        std::string ours = dir.Path(), theirs = native ? (native[0] == '/' ? "Z:" : "") +
                                                             std::string(native) + "/Basic.WM.CAB"
                                                       : "";
        for (const std::string& part : *parts) {
            ours += "\\" + part;
            theirs += "/" + part;
        }
        EXPECT_TRUE(FileExists(ours)) << ours;
        if (native) {
            EXPECT_EQ(ReadAll(ours), ReadAll(theirs)) << ours;
        }
    }
}

TEST_F(WindowTest, CancellingExtractAllKeepsTheFilesWrittenSoFarAndNothingHalfWritten) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    TempDir dir;
    Services->Chosen = WindowsPath(dir.Path());
    Services->CancelAt = 3;
    Window->Command(mnuExtractAll);
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first, L"Extraction cancelled. 2 files had been written to " +
                                               Services->Chosen +
                                               L"; no file was left half-written.");
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2u);
}

TEST_F(WindowTest, EditWithVelmoraPassesBothPathsQuotedAndIntact) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    Window->Command(mnuEditWithVLM);
    ASSERT_EQ(Services->Started.size(), 1u);
    const auto& [program, commandLine] = Services->Started[0];
    EXPECT_EQ(program, Window->EditorPath());
    EXPECT_EQ(program.substr(program.size() - 12), L"\\Velmora.exe");
    EXPECT_EQ(commandLine,
              L"\"" + program + L"\" \"" + WindowsPath(RealCabinet("Basic.WM.CAB")) + L"\"");

    // Whatever a path holds, the program's argument list gives it back unchanged.
    for (const std::wstring path : {L"C:\\My Setups\\a b.cab", L"C:\\odd\"name.cab",
                                    L"C:\\trailing\\", L"\\\\server\\share\\x.cab", L""}) {
        int count = 0;
        const std::wstring line = QuoteArgument(L"C:\\Velmora.exe") + L" " + QuoteArgument(path);
        LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
        ASSERT_TRUE(arguments);
        EXPECT_EQ(count, 2);
        if (count == 2) {
            EXPECT_EQ(arguments[1], path);
        }
        LocalFree(arguments);
    }
}

TEST_F(WindowTest, TheFilterBoxNarrowsEveryListAndEmptyingItRestoresThem) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SelectProjectNode(1);
    const int all = ListView_GetItemCount(Control(lvFiles));
    SetWindowTextW(Control(edtFilter), L"nsbasic");
    const TTable narrowed = ListContents(Control(lvFiles));
    EXPECT_EQ(narrowed.size(), 4u);
    for (const auto& cells : narrowed)
        EXPECT_EQ(cells[1], "%InstallDir%\\nsbasic\\");
    SetWindowTextW(Control(edtFilter), L"");
    EXPECT_EQ(ListView_GetItemCount(Control(lvFiles)), all);
}

TEST_F(WindowTest, MenusCarryTheDesignsCaptionsAndShortcuts) {
    HMENU menu = GetMenu(Window->Handle());
    ASSERT_TRUE(menu);
    const std::pair<int, const wchar_t*> items[] = {
        {mnuOpenFile, L"&Open Windows CE Setup...\tCtrl+O"},
        {mnuExtractFile, L"&Extract File...\tCtrl+E"},
        {mnuCloseSetup, L"&Close Setup\tCtrl+F4"},
        {mnuEditWithVLM, L"Edit with &Velmora..."},
        {mnuOpenBaseline, L"Open &Baseline..."},
        {mnuSaveReport, L"Save &Report..."},
        {mnuExit, L"E&xit\tAlt+F4"},
        {mnuAbout, L"&About Tessary..."}};
    for (const auto& [id, caption] : items) {
        wchar_t text[128] = L"";
        GetMenuStringW(menu, static_cast<UINT>(id), text, 128, MF_BYCOMMAND);
        EXPECT_STREQ(text, caption);
    }
    EXPECT_TRUE(Window->CommandEnabled(mnuOpenFile));
    EXPECT_FALSE(Window->CommandEnabled(mnuExtractFile));
    EXPECT_FALSE(Window->CommandEnabled(mnuEditWithVLM));
    EXPECT_FALSE(Window->CommandEnabled(mnuSaveReport));
    EXPECT_TRUE(Window->CommandEnabled(mnuOpenBaseline));
    // Ctrl+O reaches the Open command, which asks the dialog.
    MSG key{Window->Handle(), WM_KEYDOWN, 'O', 0, 0, {}};
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    EXPECT_TRUE(Window->TranslateShortcut(key));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    MSG pending;
    while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&pending);
    EXPECT_EQ(Services->Dialogs.size(), 1u);
}

namespace {
// Whether the window has the list paint the row greyed, asked as the list asks while painting.
bool PaintedGrey(HWND window, HWND list, int row) {
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr = {list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), NM_CUSTOMDRAW};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    const LRESULT asks =
        SendMessageW(window, WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    if (!(asks & CDRF_NOTIFYITEMDRAW)) return false;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
    draw.clrText = RGB(1, 2, 3);
    SendMessageW(window, WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText == GetSysColor(COLOR_GRAYTEXT);
}

std::string HeaderCaption(HWND list, int column) {
    wchar_t text[128] = L"";
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    Header_GetItem(ListView_GetHeader(list), column, &item);
    return Utf8(text);
}
} // namespace

// File > Open Baseline...: the findings it accepts are greyed with their statement and no
// longer counted; a broken baseline is shown with its line and leaves the one before, which
// holds for the next setup too.
TEST_F(WindowTest, ABaselineGreysWhatItAcceptsAndABrokenOneKeepsTheOneBefore) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::string good = dir.File("good.json");
    std::ofstream(good, std::ios::binary) << R"({"version": 1, "accepted": [
        {"rule": "windows-folder", "where": "%WinDir%\\*.dll", "statement": "its runtime"}]})";
    const std::string broken = dir.File("broken.json");
    std::ofstream(broken, std::ios::binary)
        << "{\"version\": 1,\n\"accepted\": [{\"rule\": \"nope\"}]}";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    const size_t before = Window->Findings().size();
    ASSERT_EQ(CountFindings(Window->Findings()).Accepted, 0u);
    const TViewerPage& findings = ViewerPageNamed(*Window, "Findings");
    HWND list = Control(findings.List->Id);
    EXPECT_FALSE(PaintedGrey(Window->Handle(), list, 0));

    Services->Chosen = WindowsPath(good);
    Window->Command(mnuOpenBaseline);
    ASSERT_EQ(Services->Dialogs.size(), 1u);
    EXPECT_EQ(Services->Dialogs[0].Title, L"Open Baseline");
    EXPECT_FALSE(Services->Dialogs[0].Save);
    EXPECT_TRUE(Services->Messages.empty());
    const TFindingCounts counts = CountFindings(Window->Findings());
    // The twelve DLLs in the Windows folder are one accepted group; the folder's other files
    // stay a group of their own that counts.
    EXPECT_EQ(counts.Accepted, 1u);
    const size_t places = static_cast<size_t>(
        std::count_if(Window->Findings().begin(), Window->Findings().end(),
                      [](const TFinding& finding) { return finding.Accepted; }));
    EXPECT_EQ(places, 12u);
    EXPECT_EQ(Window->Findings().size(), before);
    // The headline the tool prints for the same cabinet and baseline.
    const auto [audit, status] = RunTool(
        {L"--audit", L"--baseline", WindowsPath(good), WindowsPath(RealCabinet("Basic.WM.CAB"))});
    ASSERT_EQ(status, 0u) << audit;
    const size_t toolsLine = audit.find("  " + Utf8(findings.Status));
    ASSERT_NE(toolsLine, std::string::npos) << Utf8(findings.Status);
    EXPECT_NE(std::string("\r\n").find(audit.at(toolsLine + 2 + findings.Status.size())),
              std::string::npos);
    EXPECT_EQ(Utf8(findings.Status), "Findings: 1 warning, 3 notices, 1 info, 1 accepted");
    EXPECT_EQ(StatusText(Control(sbStatus)), "Baseline good.json: 1 accepted findings");
    ASSERT_EQ(HeaderCaption(list, 5), "Accepted");
    // A group's row carries the statement; its places follow it, greyed with it.
    OpenEveryRow(list);
    const TTable rows = ListContents(list);
    size_t greyedGroups = 0, greyedPlaces = 0;
    bool groupAccepted = false;
    for (size_t row = 0; row < rows.size(); ++row) {
        const bool place = rows[row].at(0).empty();
        if (!place) groupAccepted = rows[row].at(5) == "its runtime";
        EXPECT_EQ(PaintedGrey(Window->Handle(), list, static_cast<int>(row)), groupAccepted) << row;
        if (groupAccepted && place) {
            EXPECT_EQ(rows[row].at(3).substr(rows[row].at(3).size() - 4), ".dll");
        }
        (place ? greyedPlaces : greyedGroups) += groupAccepted ? 1 : 0;
    }
    EXPECT_EQ(greyedGroups, counts.Accepted);
    EXPECT_EQ(greyedPlaces, places);
    // The Project page counts what is left, as the node's headline does.
    const TTable project = ListContents(Control(lvProject));
    const std::string headline = Utf8(findings.Status);
    EXPECT_EQ(project.back(),
              (std::vector<std::string>{"Findings", headline.substr(headline.find(": ") + 2)}));

    EXPECT_FALSE(Window->OpenBaseline(WindowsPath(broken)));
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_NE(Services->Messages[0].first.find(L"broken.json line 2: unknown rule"),
              std::wstring::npos);
    EXPECT_FALSE(Window->OpenBaseline(WindowsPath(dir.File("missing.json"))));
    ASSERT_EQ(Services->Messages.size(), 2u);
    EXPECT_EQ(Services->Messages[1].first.rfind(L"Cannot read the baseline missing.json: ", 0), 0u);
    EXPECT_EQ(CountFindings(Window->Findings()).Accepted, counts.Accepted);

    Window->CloseSetup();
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_EQ(CountFindings(Window->Findings()).Accepted, counts.Accepted);
}

// File > Save Report...: the page tessary-info --audit --html writes, proposed under the
// cabinet's name; a target that cannot be written is a message and leaves nothing.
TEST_F(WindowTest, SaveReportWritesThePageOfTheToolAndAFailureLeavesNothing) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    EXPECT_FALSE(Window->CommandEnabled(mnuSaveReport));
    const std::string cabinet = RealCabinet("Ushahidi.CAB");
    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(Window->CommandEnabled(mnuSaveReport));
    const std::string page = dir.File("ushahidi.html");
    Services->Chosen = WindowsPath(page);
    Window->Command(mnuSaveReport);
    ASSERT_EQ(Services->Dialogs.size(), 1u);
    EXPECT_EQ(Services->Dialogs[0].FileName, L"Ushahidi.html");
    EXPECT_EQ(Services->Dialogs[0].DefaultExt, L"html");
    EXPECT_TRUE(Services->Dialogs[0].Save);
    EXPECT_TRUE(Services->Messages.empty());
    const std::string html = ReadAll(page);
    EXPECT_NE(html.find("<h1>Audit of Ushahidi.CAB</h1>"), std::string::npos);
    EXPECT_NE(html.find(">self-vouching</a>"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    const std::string tools = dir.File("tool.html");
    const auto [report, status] =
        RunTool({L"--audit", L"--html", WindowsPath(tools), WindowsPath(cabinet)});
    ASSERT_EQ(status, 0u) << report;
    EXPECT_EQ(html, ReadAll(tools));

    const std::string nowhere = dir.File("missing\\report.html");
    EXPECT_FALSE(Window->SaveReport(WindowsPath(nowhere)));
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_FALSE(FileExists(nowhere));
    EXPECT_FALSE(DirectoryExists(dir.File("missing")));
    Window->CloseSetup();
    EXPECT_FALSE(Window->CommandEnabled(mnuSaveReport));
}

// With a device profile remembered, the Programs page gains the tool's "On Device" column and
// the Project page the install decision; without one, neither.
TEST_F(WindowTest, ADeviceProfileAddsTheRunDecisionsOfTheTool) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    auto services = std::make_shared<TRecordingServices>();
    services->Profile = {"pocketpc"};
    std::unique_ptr<TfrmWinCEMain> window(
        TfrmWinCEMain::Create(GetModuleHandleW(nullptr), {}, services));
    ASSERT_TRUE(window);
    for (const char* name : {"Basic.WM.CAB", "Ushahidi.CAB"}) {
        SCOPED_TRACE(name);
        const std::string cabinet = RealCabinet(name);
        const auto [report, status] =
            RunTool({L"--audit", L"--device", L"pocketpc", WindowsPath(cabinet)});
        ASSERT_EQ(status, 0u) << report;
        const auto tables = ReportTables(report);
        window->OpenSetup(WindowsPath(cabinet));
        ASSERT_TRUE(window->SetupOpen());
        ASSERT_TRUE(WaitForReading(*window));
        HWND programs = window->Control(ViewerPageNamed(*window, "Programs").List->Id);
        const TTable shown = ListContents(programs);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(HeaderCaption(programs, static_cast<int>(shown[0].size()) - 1), "On Device");
        EXPECT_EQ(AsTheToolShows(shown), tables.at("Programs"));
        const TTable project = ListContents(window->Control(lvProject));
        EXPECT_EQ(project.back().at(0), "Install decision");
        EXPECT_TRUE(ViewerPageNamed(*window, "Device").Present);
    }
    // The window without a profile lists the page's own columns only.
    Open(RealCabinet("Basic.WM.CAB"));
    HWND programs = Control(ViewerPageNamed(*Window, "Programs").List->Id);
    EXPECT_NE(HeaderCaption(programs, Header_GetItemCount(ListView_GetHeader(programs)) - 1),
              "On Device");
    EXPECT_FALSE(ViewerPageNamed(*Window, "Device").Present);
}

// A profile the registry does not take is said, and judges the open setup all the same.
TEST_F(WindowTest, AProfileThatCannotBeRememberedIsSaidAndStillUsed) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Services->Chosen = WindowsPath(RealCabinet("SecurityOff.cpf"));
    Services->SaveFails = true;
    Open(RealCabinet("Ushahidi.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_FALSE(ViewerPageNamed(*Window, "Device").Present);
    Window->Command(mnuDeviceProfile);
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first, ToDisplay(device::kProfileNotRemembered));
    EXPECT_EQ(Services->Messages[0].second, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_TRUE(Services->Saved.empty());
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_TRUE(ViewerPageNamed(*Window, "Device").Present);
}

// The programs are read in the background: the window shows the setup at once with the
// findings waiting for them, a setup opened or closed meanwhile drops the reading, and what a
// reading hands over afterwards never reaches the next setup.
TEST_F(WindowTest, ProgramsAreReadInTheBackgroundAndAReopenDropsTheReading) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Window->OpenSetup(WindowsPath(RealCabinet("Basic.WM.CAB")));
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(Window->Reading());
    const TViewerPage& findings = ViewerPageNamed(*Window, "Findings");
    const TViewerPage& programs = ViewerPageNamed(*Window, "Programs");
    EXPECT_EQ(Utf8(findings.Status), "Findings: reading the programs...");
    EXPECT_EQ(ListContents(Control(findings.List->Id)).size(), 0u);
    EXPECT_EQ(ListContents(Control(lvProject)).back(),
              (std::vector<std::string>{"Findings", "reading the programs..."}));
    // Save Report waits for the findings.
    TempDir dir;
    EXPECT_FALSE(Window->SaveReport(WindowsPath(dir.File("early.html"))));
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first,
              L"The programs are still being read: save the report once the findings are shown.");
    EXPECT_FALSE(FileExists(dir.File("early.html")));

    // Another setup before the first is read: only its own programs and findings show.
    Open(RealCabinet("App.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    const auto [report, status] = RunTool({L"--audit", WindowsPath(RealCabinet("App.WM.CAB"))});
    ASSERT_EQ(status, 0u) << report;
    std::map<std::string, std::string> headlines;
    const auto tables = ReportTables(report, &headlines);
    EXPECT_EQ(AsTheToolShows(ListContents(Control(programs.List->Id))), tables.at("Programs"));
    OpenEveryRow(Control(findings.List->Id));
    EXPECT_EQ(AsTheToolShows(ListContents(Control(findings.List->Id))), tables.at("Findings"));
    EXPECT_EQ(Utf8(findings.Status), headlines.at("Findings"));

    // Closed while reading: nothing arrives afterwards, and the window stays empty.
    Window->OpenSetup(WindowsPath(RealCabinet("Basic.WM.CAB")));
    ASSERT_TRUE(Window->Reading());
    Window->CloseSetup();
    EXPECT_FALSE(Window->Reading());
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < 1500) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
    EXPECT_EQ(ListView_GetItemCount(Control(programs.List->Id)), 0);
    EXPECT_EQ(ListView_GetItemCount(Control(findings.List->Id)), 0);
    EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
}

// Pumps the window's messages for a while: what a reader would hand over arrives meanwhile.
void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
}

// A provisioning document of thousands of certificates and 50,000 nested nodes is decoded in the
// background: the setup's files show at once while the Provisioning node, the findings and the
// device's decision say what they wait for, then they fill in as the tool prints them. A setup
// opened or closed meanwhile drops the reading.
TEST_F(WindowTest, AProvisioningDocumentIsReadInTheBackgroundAndAReopenDropsIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::string slow = dir.File("Slow.cab");
    WriteSlowDocumentCabinet(slow);
    Services->Profile = {"pocketpc"};
    std::unique_ptr<TfrmWinCEMain> window(
        TfrmWinCEMain::Create(GetModuleHandleW(nullptr), {}, Services));
    ASSERT_TRUE(window);
    window->OpenSetup(WindowsPath(slow));
    ASSERT_TRUE(window->SetupOpen());
    ASSERT_TRUE(window->Reading());
    const TViewerPage& provisioning = ViewerPageNamed(*window, "Provisioning");
    const TViewerPage& findings = ViewerPageNamed(*window, "Findings");
    const TViewerPage& device = ViewerPageNamed(*window, "Device");
    ASSERT_TRUE(provisioning.Present);
    // The Files page is there at once.
    TreeView_SelectItem(window->Control(tvProject), Nodes(window->Control(tvProject))[1].first);
    EXPECT_EQ(ListContents(window->Control(lvFiles)).size(), 2u);
    EXPECT_EQ(Utf8(provisioning.Status), "Reading the provisioning document...");
    EXPECT_EQ(ListView_GetItemCount(window->Control(provisioning.List->Id)), 0);
    EXPECT_EQ(Utf8(findings.Status), "Findings: reading the programs...");
    ASSERT_TRUE(device.Present);
    EXPECT_EQ(Utf8(device.Status), "Install decision: reading the provisioning document...");
    EXPECT_EQ(ListView_GetItemCount(window->Control(device.List->Id)), 0);
    EXPECT_EQ(ListContents(window->Control(lvProject)).back(),
              (std::vector<std::string>{"Findings", "reading the programs..."}));
    for (const auto& [node, depth] : Nodes(window->Control(tvProject)))
        if (NodeCaption(window->Control(tvProject), node) == "Provisioning")
            TreeView_SelectItem(window->Control(tvProject), node);
    EXPECT_EQ(StatusText(window->Control(sbStatus)), "Reading the provisioning document...");

    // Read to its end: the document's rows, the findings of its certificates and the decision.
    ASSERT_TRUE(WaitForReading(*window));
    const auto [report, status] =
        RunTool({L"--audit", L"--device", L"pocketpc", WindowsPath(slow)});
    ASSERT_EQ(status, 0u) << report;
    std::map<std::string, std::string> headlines;
    const auto tables = ReportTables(report, &headlines);
    EXPECT_EQ(Utf8(provisioning.Status).rfind("Provisioning document: ", 0), 0u)
        << Utf8(provisioning.Status);
    EXPECT_EQ(StatusText(window->Control(sbStatus)), Utf8(provisioning.Status));
    const TTable shown = ListContents(window->Control(provisioning.List->Id));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(ProvisioningColumns({shown.front()}),
              ProvisioningColumns({tables.at("Provisioning").front()}));
    EXPECT_EQ(Utf8(findings.Status), headlines.at("Findings"));
    EXPECT_EQ(Utf8(device.Status).rfind("Install decision: ", 0), 0u) << Utf8(device.Status);
    EXPECT_GT(ListView_GetItemCount(window->Control(device.List->Id)), 0);
    EXPECT_EQ(ListContents(window->Control(lvProject)).back().at(0), "Install decision");

    const std::wstring slowStatus = provisioning.Status;
    const int slowRows = ListView_GetItemCount(window->Control(provisioning.List->Id));
    // Opened again and left at once for another setup: nothing of the document reaches it.
    window->OpenSetup(WindowsPath(slow));
    ASSERT_TRUE(window->Reading());
    window->OpenSetup(WindowsPath(RealCabinet("Basic.WM.CAB")));
    ASSERT_TRUE(window->SetupOpen());
    ASSERT_TRUE(WaitForReading(*window));
    PumpMessages(1500);
    // Its own document, a setup's descriptor, shows.
    EXPECT_NE(provisioning.Status, slowStatus);
    EXPECT_EQ(Utf8(provisioning.Status).rfind("Provisioning document: ", 0), 0u);
    EXPECT_LT(ListView_GetItemCount(window->Control(provisioning.List->Id)), slowRows);
    EXPECT_NE(Utf8(device.Status).find("Install decision: "), std::string::npos);
    EXPECT_EQ(Utf8(device.Status).find("reading"), std::string::npos);

    // Closed while reading: nothing arrives afterwards.
    window->OpenSetup(WindowsPath(slow));
    ASSERT_TRUE(window->Reading());
    window->CloseSetup();
    PumpMessages(1500);
    EXPECT_EQ(ListView_GetItemCount(window->Control(provisioning.List->Id)), 0);
    EXPECT_TRUE(provisioning.Status.empty());
    EXPECT_EQ(TreeView_GetCount(window->Control(tvProject)), 0u);
}

// An application manager's .ini opens as the "Package" node listing its setup; choosing it (Enter
// or a double click) opens it below the node with the rows of the cabinet opened alone, and
// Close Setup goes back to the package, then closes it.
TEST_F(WindowTest, AnIniOpensAsAPackageWhoseSetupOpensBelowIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    for (const char* folder : {"Ushahidi", "Eliminator"}) {
        SCOPED_TRACE(folder);
        const std::string root = CorpusDir() + "/packages/" + folder;
        const std::string cabinet =
            std::string(folder) == "Ushahidi" ? "Ushahidi.CAB" : "Eliminator.ARM.CAB";
        const std::string ini = std::string(folder) == "Ushahidi" ? "Ushahidi.ini" : "Setup.ini";
        Open(root + "/" + cabinet);
        ASSERT_TRUE(Window->SetupOpen());
        SelectProjectNode(1);
        const TTable files = ListContents(Control(lvFiles));
        const TTable properties = ListContents(Control(lvProject));
        ASSERT_FALSE(files.empty());

        Window->OpenSetup(WindowsPath(root + "/" + ini));
        ASSERT_TRUE(Window->PackageOpen());
        EXPECT_FALSE(Window->SetupOpen());
        const auto nodes = Nodes(Control(tvProject));
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_EQ(NodeCaption(Control(tvProject), nodes[0].first), "Package - " + ini);
        EXPECT_EQ(WindowText(Window->Handle()), "Tessary - " + ini);
        const TViewerPage& package = ViewerPageNamed(*Window, "Package");
        EXPECT_EQ(Window->CurrentPage(), static_cast<size_t>(&package - Window->Pages().data()));
        EXPECT_EQ(StatusText(Control(sbStatus)), "Setups in package: 1");
        const TTable listed = ListContents(Control(package.List->Id));
        ASSERT_EQ(listed.size(), 1u);
        ASSERT_EQ(listed[0].size(), 4u);
        EXPECT_EQ(listed[0][0], folder);  // the .ini's component
        EXPECT_NE(listed[0][1], "");      // the processor its descriptor names
        EXPECT_EQ(listed[0][2], cabinet); // the cabinet the .ini names
        EXPECT_EQ(listed[0][3], "");      // no problem

        // Enter on its row opens it below the package's node.
        FocusRow(Control(package.List->Id), 0);
        NMLVKEYDOWN enter{};
        enter.hdr = {Control(package.List->Id),
                     static_cast<UINT_PTR>(GetDlgCtrlID(Control(package.List->Id))), NM_RETURN};
        SendMessageW(Window->Handle(), WM_NOTIFY, enter.hdr.idFrom,
                     reinterpret_cast<LPARAM>(&enter));
        ASSERT_TRUE(Window->SetupOpen());
        EXPECT_TRUE(WaitForReading(*Window));
        EXPECT_EQ(WindowText(Window->Handle()), "Tessary - " + ini + " : " + cabinet);
        const auto opened = Nodes(Control(tvProject));
        ASSERT_GT(opened.size(), 2u);
        EXPECT_EQ(NodeCaption(Control(tvProject), opened[0].first), "Package - " + ini);
        EXPECT_EQ(opened[1].second, 0);
        EXPECT_EQ(TreeView_GetSelection(Control(tvProject)), opened[1].first);
        SelectProjectNode(2);
        EXPECT_EQ(ListContents(Control(lvFiles)), files);
        EXPECT_EQ(ListContents(Control(lvProject)), properties);

        Window->CloseSetup();
        EXPECT_FALSE(Window->SetupOpen());
        ASSERT_TRUE(Window->PackageOpen());
        EXPECT_EQ(Nodes(Control(tvProject)).size(), 1u);
        EXPECT_EQ(ListContents(Control(package.List->Id)), listed);
        Window->CloseSetup();
        EXPECT_FALSE(Window->PackageOpen());
        EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
        EXPECT_EQ(WindowText(Window->Handle()), "Tessary");
    }
}

TEST_F(WindowTest, AFindingsGroupOpensIntoItsPlacesByGlyphKeysAndDoubleClick) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string cabinet = RealCabinet("Basic.WM.CAB");
    const auto [report, status] = RunTool({L"--audit", WindowsPath(cabinet)});
    ASSERT_EQ(status, 0u);
    const TTable tool = ReportTables(report).at("Findings");
    // The tool's groups, and the places of the first one (its "12 places" of ActiveX files).
    TTable groups;
    std::vector<TTable> places;
    for (const auto& row : tool) {
        if (!row.at(0).empty()) {
            groups.push_back(row);
            places.emplace_back();
        } else if (!places.empty()) {
            places.back().push_back(row);
        }
    }
    ASSERT_FALSE(groups.empty());
    ASSERT_EQ(groups[0].at(1), "self-registering");
    ASSERT_EQ(places[0].size(), 12u);

    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    const TViewerPage& page = ViewerPageNamed(*Window, "Findings");
    HWND list = Control(page.List->Id);
    SelectNodeNamed(page.Node);
    // Closed at first: one row per group, a glyph on those with places.
    EXPECT_EQ(AsTheToolShows(ListContents(list)), groups);
    EXPECT_EQ(GlyphOf(list, 0), 1);
    const auto shownAfter = [&](size_t first) {
        TTable rows = AsTheToolShows(ListContents(list));
        return TTable(rows.begin() + static_cast<std::ptrdiff_t>(std::min(first, rows.size())),
                      rows.begin() +
                          static_cast<std::ptrdiff_t>(std::min(first + 12, rows.size())));
    };

    // Right opens, Right again steps onto the first place, Left back to the group, Left closes.
    FocusRow(list, 0);
    PressKey(list, VK_RIGHT);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    EXPECT_EQ(shownAfter(1), places[0]);
    EXPECT_EQ(GlyphOf(list, 0), 2);
    EXPECT_EQ(GlyphOf(list, 1), 0);
    PressKey(list, VK_RIGHT);
    EXPECT_EQ(FocusedRow(list), 1);
    PressKey(list, VK_LEFT);
    EXPECT_EQ(FocusedRow(list), 0);
    PressKey(list, VK_LEFT);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size()));
    // "+" and "-" (the keypad's and the main keyboard's), and Enter, do the same.
    PressKey(list, VK_ADD);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    PressKey(list, VK_OEM_MINUS);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size()));
    NMHDR enter{list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), static_cast<UINT>(NM_RETURN)};
    SendMessageW(Window->Handle(), WM_NOTIFY, enter.idFrom, reinterpret_cast<LPARAM>(&enter));
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    // On a place, "-" does nothing and Left steps out to the group.
    FocusRow(list, 5);
    PressKey(list, VK_SUBTRACT);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    PressKey(list, VK_LEFT);
    EXPECT_EQ(FocusedRow(list), 0);

    // A click on the glyph closes and opens; a click beside it does not. Closing a group while
    // one of its places has the focus hands the focus to the group.
    FocusRow(list, 5);
    RECT icon{};
    icon.left = LVIR_ICON;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&icon)));
    const POINT glyph{icon.left - 8, (icon.top + icon.bottom) / 2};
    NotifyMouse(Window->Handle(), list, NM_CLICK, 0, glyph);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size()));
    EXPECT_EQ(FocusedRow(list), 0);
    NotifyMouse(Window->Handle(), list, NM_CLICK, 0, {icon.right + 40, glyph.y});
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size()));
    NotifyMouse(Window->Handle(), list, NM_CLICK, 0, glyph);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    NotifyMouse(Window->Handle(), list, NM_CLICK, 0, glyph);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size()));

    // A double click on the group opens it; one on a place shows the file it is about.
    NotifyMouse(Window->Handle(), list, NM_DBLCLK, 0, {icon.right + 40, glyph.y});
    ASSERT_EQ(ListView_GetItemCount(list), static_cast<int>(groups.size() + 12));
    EXPECT_EQ(Window->CurrentPage(), static_cast<size_t>(&page - Window->Pages().data()));
    NotifyMouse(Window->Handle(), list, NM_DBLCLK, 3, {icon.right + 40, glyph.y});
    EXPECT_EQ(Window->CurrentPage(), kProjectNodeFiles);
    const auto file = SelectedRow(Control(lvFiles));
    ASSERT_FALSE(file.empty());
    EXPECT_EQ("%WinDir%\\" + file.at(0), places[0].at(2).at(3));
}

TEST_F(WindowTest, TheFilterShowsAMatchWithItsParentsAndCountsTheTopLevel) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    const TViewerPage& findings = ViewerPageNamed(*Window, "Findings");
    HWND list = Control(findings.List->Id);
    const size_t groups = static_cast<size_t>(ListView_GetItemCount(list));
    SelectNodeNamed(findings.Node);
    const std::string headline = StatusText(Control(sbStatus));
    ASSERT_EQ(headline, Utf8(findings.Status));

    // A place matches: its group opens to it, beside no other place of it.
    SetWindowTextW(Control(edtFilter), L"mscegrid");
    const TTable narrowed = ListContents(list);
    ASSERT_EQ(narrowed.size(), 4u); // two groups, one place each
    EXPECT_EQ(narrowed[0].at(1), "self-registering");
    EXPECT_EQ(narrowed[1].at(3), "%WinDir%\\MSCEGrid.dll");
    EXPECT_EQ(narrowed[2].at(1), "windows-folder");
    EXPECT_EQ(narrowed[3].at(3), "%WinDir%\\MSCEGrid.dll");
    EXPECT_EQ(StatusText(Control(sbStatus)),
              headline + " (2 of " + std::to_string(groups) + " shown)");
    // A group matches: it shows with every place below it, as it was (closed here).
    SetWindowTextW(Control(edtFilter), L"component-registry");
    ASSERT_EQ(ListContents(list).size(), 1u);
    PressKey(list, VK_RIGHT); // no row has the focus: nothing happens
    FocusRow(list, 0);
    PressKey(list, VK_RIGHT);
    EXPECT_EQ(ListContents(list).size(), 7u);
    EXPECT_EQ(StatusText(Control(sbStatus)),
              headline + " (1 of " + std::to_string(groups) + " shown)");
    // The design's lists count their rows the same way.
    SetWindowTextW(Control(edtFilter), L"nsbasic");
    SelectProjectNode(1);
    EXPECT_EQ(StatusText(Control(sbStatus)), "Total of files: 54 (4 of 54 shown)");
    SetWindowTextW(Control(edtFilter), L"");
    EXPECT_EQ(StatusText(Control(sbStatus)), "Total of files: 54");
}

TEST_F(WindowTest, TheProvisioningDocumentIsATreeThatOpensByKeysAndFilter) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string cabinet = RealCabinet("SdkCerts.cab");
    const auto [report, status] = RunTool({L"--audit", WindowsPath(cabinet)});
    ASSERT_EQ(status, 0u);
    const TTable tool = ReportTables(report).at("Provisioning");
    // The tool steps each row in by two spaces a level; the first three levels open with the page.
    size_t openAtFirst = 0;
    for (const auto& row : tool)
        if (row.at(0).find_first_not_of(' ') <= 6) ++openAtFirst;
    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    const TViewerPage& page = ViewerPageNamed(*Window, "Provisioning");
    ASSERT_TRUE(page.Present);
    HWND list = Control(page.List->Id);
    SelectNodeNamed(page.Node);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(openAtFirst));
    EXPECT_LT(openAtFirst, tool.size());
    // The document's node closes to one row and opens as it was.
    FocusRow(list, 0);
    PressKey(list, VK_LEFT);
    EXPECT_EQ(ProvisioningColumns(ListContents(list)),
              ProvisioningColumns(TTable(tool.begin(), tool.begin() + 1)));
    PressKey(list, VK_RIGHT);
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(openAtFirst));
    OpenEveryRow(list);
    EXPECT_EQ(ProvisioningColumns(ListContents(list)), ProvisioningColumns(tool));

    // One certificate by its name, filed in two stores: the chain of characteristics down to each,
    // and everything below it (its role in the SPC store, which does not name it).
    SetWindowTextW(Control(edtFilter), L"D4FB8924CFBA6C9C");
    TTable narrowed;
    for (const auto& row : ListContents(list))
        narrowed.push_back({row.at(0), row.at(1)});
    const TTable chains = {{"provisioning document", "wap-provisioningdoc"},
                           {"characteristic", "CertificateStore"},
                           {"characteristic", "Privileged Execution Trust Authorities"},
                           {"characteristic", "d4fb8924cfba6c9c67360e7d6512ffde99d2d283"},
                           {"parm", "EncodedCertificate"},
                           {"characteristic", "CertificateStore"},
                           {"characteristic", "SPC"},
                           {"characteristic", "d4fb8924cfba6c9c67360e7d6512ffde99d2d283"},
                           {"parm", "EncodedCertificate"},
                           {"parm", "Role"}};
    EXPECT_EQ(narrowed, chains);
    EXPECT_EQ(StatusText(Control(sbStatus)), Utf8(page.Status) + " (1 of 1 shown)");
}

// A document nested 100,000 deep: built, filtered and opened without recursion, each once.
TEST(TreeList, AHundredThousandDeepDocumentOpensToItsDeepestNode) {
    constexpr size_t kDepth = 100000;
    TTreePage tree;
    TPage page;
    page.Columns = {{"Name", 100, TAlign::Left, true}};
    for (size_t level = 0; level < kDepth; ++level) {
        const size_t node = tree.Add(level == 0 ? kNoNode : level - 1, "", TIconKind::None);
        tree.Nodes[node].Rows.push_back(page.Rows.size());
        page.Rows.push_back({{TextCell(level + 1 == kDepth ? "deepest" : "level")}, {}, level});
    }
    TListRows list;
    BuildTreeRows(list, tree, page);
    ASSERT_EQ(list.Rows.size(), kDepth);
    EXPECT_EQ(list.Ends.front(), kDepth);
    EXPECT_EQ(list.Indents.back(), static_cast<int>(kDepth - 1));
    EXPECT_EQ(TreeIndent(list, kDepth - 1), 32);
    RevealTree(list);
    EXPECT_EQ(list.Shown, std::vector<size_t>{0});
    EXPECT_EQ(TreeGlyph(list, 0), 1);
    EXPECT_EQ(TreeGlyph(list, kDepth - 1), 0);

    std::vector<char> matches(kDepth, 0);
    matches.back() = 1;
    FilterTree(list, matches);
    RevealTree(list);
    EXPECT_EQ(list.Shown.size(), kDepth);
    EXPECT_EQ(ShownPosition(list, kDepth - 1), kDepth - 1);
    EXPECT_EQ(TopLevelCounts(list), std::make_pair(size_t{1}, size_t{1}));
    // Nothing matches: nothing shows, and the top level counts none.
    FilterTree(list, std::vector<char>(kDepth, 0));
    RevealTree(list);
    EXPECT_TRUE(list.Shown.empty());
    EXPECT_EQ(TopLevelCounts(list), std::make_pair(size_t{0}, size_t{1}));
    // No filter: what the filter opened stays open, as in a tree view.
    FilterTree(list, {});
    RevealTree(list);
    EXPECT_EQ(list.Shown.size(), kDepth);
}

TEST_F(WindowTest, ACutCellOfAnyColumnShowsItsWholeTextAsATip) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SelectProjectNode(1);
    HWND files = Control(lvFiles);
    const TTable rows = ListContents(files);
    ASSERT_FALSE(rows.empty());
    const auto middleOf = [files](int column) {
        RECT cell{};
        ListView_GetSubItemRect(files, 0, column, LVIR_LABEL, &cell);
        return POINT{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
    };
    for (int column = 0; column < 3; ++column) {
        SCOPED_TRACE(column);
        const size_t shown = static_cast<size_t>(column);
        ListView_SetColumnWidth(files, column, 600);
        EXPECT_EQ(Window->CutCellText(files, middleOf(column)), L"");
        ListView_SetColumnWidth(files, column, 40);
        EXPECT_EQ(Utf8(Window->CutCellText(files, middleOf(column))), rows[0].at(shown));
    }
    // Beside every row: no tip.
    EXPECT_EQ(Window->CutCellText(files, {5, 5000}), L"");
}

// The captions of the project tree's nodes.
std::vector<std::string> NodeCaptions(HWND tree) {
    std::vector<std::string> captions;
    for (const auto& [node, depth] : Nodes(tree))
        captions.push_back(NodeCaption(tree, node));
    return captions;
}

// The summary tessary-info.exe --diff prints on its first line, after the last ": ".
std::string DiffSummary(const std::string& diff) {
    std::string line = diff.substr(0, diff.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return RightTrimmed(line.substr(line.rfind(": ") + 2));
}

TEST_F(WindowTest, CompareWithListsTheDifferencesOfTheToolUntilTheSetupCloses) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string older = RealCabinet("Basic.WM.CAB"), newer = RealCabinet("App.WM.CAB");
    const auto [diff, status] = RunTool({L"--diff", WindowsPath(older), WindowsPath(newer)});
    ASSERT_EQ(status, 4u) << diff; // the setups differ
    // The tool's sections ("Files (53)"), in order, and its summary after the first ": ".
    std::vector<std::string> sections;
    size_t differences = 0;
    std::istringstream lines(diff);
    std::string line;
    std::getline(lines, line);
    const std::string summary = DiffSummary(diff);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ' ') continue;
        sections.push_back(line);
        differences += std::stoul(line.substr(line.rfind('(') + 1));
    }
    ASSERT_FALSE(sections.empty());

    EXPECT_FALSE(Window->CommandEnabled(mnuCompareWith));
    Open(older);
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(Window->CommandEnabled(mnuCompareWith));
    const std::vector<std::string> nodes = NodeCaptions(Control(tvProject));
    EXPECT_EQ(std::count(nodes.begin(), nodes.end(), "Comparison"), 0);
    Services->Chosen = WindowsPath(newer);
    Window->Command(mnuCompareWith);
    ASSERT_EQ(Services->Dialogs.size(), 1u);
    EXPECT_EQ(Services->Dialogs[0].Title, L"Compare With");
    EXPECT_TRUE(Services->Messages.empty());
    const TViewerPage& page = ViewerPageNamed(*Window, "Comparison");
    ASSERT_TRUE(page.Present);
    EXPECT_EQ(NodeCaptions(Control(tvProject)).back(), "Comparison");
    EXPECT_EQ(Window->CurrentPage(), static_cast<size_t>(&page - Window->Pages().data()));
    EXPECT_EQ(StatusText(Control(sbStatus)), "Compared with App.WM.CAB: " + summary);
    // A node per part that differs, open, with its differences below it.
    const TTable rows = ListContents(Control(page.List->Id));
    std::vector<std::string> shownSections;
    for (const auto& row : rows)
        if (row.at(1).empty()) shownSections.push_back(row.at(0));
    EXPECT_EQ(shownSections, sections);
    EXPECT_EQ(rows.size(), sections.size() + differences);
    const auto fileRow = [&rows](const std::string& identity) {
        const auto found = std::find_if(rows.begin(), rows.end(),
                                        [&](const auto& row) { return row.at(0) == identity; });
        return found == rows.end() ? std::vector<std::string>{} : *found;
    };
    const auto added = fileRow("project1.exe, %InstallDir%\\MyCo\\");
    ASSERT_FALSE(added.empty());
    EXPECT_EQ(added.at(1), "Added");
    const auto changed = fileRow("basic.exe, %InstallDir%\\nsbasic\\");
    ASSERT_FALSE(changed.empty());
    EXPECT_EQ(changed.at(1), "Changed");
    EXPECT_EQ(changed.at(4), "Size, Content");
    // A part's node closes like any tree row.
    HWND list = Control(page.List->Id);
    FocusRow(list, 0);
    PressKey(list, VK_LEFT);
    EXPECT_EQ(static_cast<size_t>(ListView_GetItemCount(list)), rows.size() - 2);

    // A cabinet that cannot be read: a box naming it, and the window as it was.
    const std::vector<std::string> compared = NodeCaptions(Control(tvProject));
    Window->CompareWith(WindowsPath(older + ".missing"));
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_NE(Services->Messages[0].first.find(L".missing"), std::wstring::npos);
    EXPECT_EQ(NodeCaptions(Control(tvProject)), compared);
    // Cancelled: a status text, nothing else.
    Services->Messages.clear();
    Services->CancelAt = 1;
    Window->CompareWith(WindowsPath(newer));
    EXPECT_EQ(StatusText(Control(sbStatus)), "Comparison cancelled");
    EXPECT_TRUE(Services->Messages.empty());

    // Gone with the setup, and not there when it opens again.
    Window->Command(mnuCloseSetup);
    EXPECT_FALSE(Window->CommandEnabled(mnuCompareWith));
    Open(older);
    EXPECT_EQ(NodeCaptions(Control(tvProject)), nodes);
}

// Compare With... takes a setup inside a package, as the Qt viewer does: the one setup a package
// holds, or the one chosen of several (only those that can be read are offered); a package with
// none is a box naming it, and a cancelled choice changes nothing.
TEST_F(WindowTest, CompareWithTakesTheSetupOfAPackageOrTheOneChosen) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::string older = RealCabinet("Basic.WM.CAB");
    WriteFileBytes(dir.File("App.WM.CAB"), ReadFileBytes(RealCabinet("App.WM.CAB")));
    WriteFileBytes(dir.File("Runtime.CAB"), ReadFileBytes(RealCabinet("Runtime.HPC_2577.CAB")));
    WriteFileBytes(dir.File("one.ini"), Bytes(AppManagerIniText({{"App", {"App.WM.CAB"}}})));
    WriteFileBytes(dir.File("two.ini"),
                   Bytes(AppManagerIniText(
                       {{"App", {"App.WM.CAB", "Missing.CAB"}}, {"Runtime", {"Runtime.CAB"}}})));
    WriteFileBytes(dir.File("none.ini"), Bytes(AppManagerIniText({{"Gone", {"Gone.CAB"}}})));
    const auto summaryWith = [&](const std::string& newer) {
        const auto [diff, status] = RunTool({L"--diff", WindowsPath(older), WindowsPath(newer)});
        EXPECT_EQ(status, 4u) << diff; // the setups differ
        return DiffSummary(diff);
    };
    const std::string appSummary = summaryWith(dir.File("App.WM.CAB"));
    const std::string runtimeSummary = summaryWith(dir.File("Runtime.CAB"));
    ASSERT_NE(appSummary, runtimeSummary);
    Open(older);
    ASSERT_TRUE(Window->SetupOpen());
    const std::vector<std::string> nodes = NodeCaptions(Control(tvProject));
    const TViewerPage& page = ViewerPageNamed(*Window, "Comparison");

    // One setup: compared with it, no question asked.
    Window->CompareWith(WindowsPath(dir.File("one.ini")));
    EXPECT_TRUE(Services->Choices.empty());
    EXPECT_TRUE(Services->Messages.empty());
    ASSERT_TRUE(page.Present);
    EXPECT_EQ(StatusText(Control(sbStatus)), "Compared with one.ini : App.WM.CAB: " + appSummary);
    EXPECT_EQ(Window->CurrentPage(), static_cast<size_t>(&page - Window->Pages().data()));
    const TTable appRows = ListContents(Control(page.List->Id));
    ASSERT_FALSE(appRows.empty());

    // Several: the chooser offers those that can be read, and the one chosen is compared.
    Services->Choice = 1;
    Window->CompareWith(WindowsPath(dir.File("two.ini")));
    ASSERT_EQ(Services->Choices.size(), 1u);
    const auto& [caption, label, items] = Services->Choices[0];
    EXPECT_EQ(caption, L"Compare With");
    EXPECT_EQ(label, L"Setup in two.ini:");
    EXPECT_EQ(items, (std::vector<std::wstring>{L"App.WM.CAB", L"Runtime.CAB"}));
    EXPECT_TRUE(Services->Messages.empty());
    EXPECT_EQ(StatusText(Control(sbStatus)),
              "Compared with two.ini : Runtime.CAB: " + runtimeSummary);
    const TTable runtimeRows = ListContents(Control(page.List->Id));
    EXPECT_NE(runtimeRows, appRows);
    // The first: the same rows as the package holding it alone.
    Services->Choice = 0;
    Window->CompareWith(WindowsPath(dir.File("two.ini")));
    EXPECT_EQ(StatusText(Control(sbStatus)), "Compared with two.ini : App.WM.CAB: " + appSummary);
    EXPECT_EQ(ListContents(Control(page.List->Id)), appRows);

    // Cancelled: the comparison shown stays, no box.
    Services->Choice.reset();
    Window->CompareWith(WindowsPath(dir.File("two.ini")));
    EXPECT_EQ(Services->Choices.size(), 3u);
    EXPECT_TRUE(Services->Messages.empty());
    EXPECT_EQ(ListContents(Control(page.List->Id)), appRows);

    // None that can be read: a box naming the package and why, and the window as it was.
    const std::vector<std::string> compared = NodeCaptions(Control(tvProject));
    Window->CompareWith(WindowsPath(dir.File("none.ini")));
    ASSERT_EQ(Services->Messages.size(), 1u);
    EXPECT_EQ(Services->Messages[0].first.rfind(L"none.ini: ", 0), 0u)
        << Utf8(Services->Messages[0].first);
    EXPECT_EQ(Services->Messages[0].second, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(Services->Choices.size(), 3u);
    EXPECT_EQ(NodeCaptions(Control(tvProject)), compared);
    EXPECT_EQ(ListContents(Control(page.List->Id)), appRows);
    EXPECT_NE(NodeCaptions(Control(tvProject)), nodes);
}

namespace {
// What the chooser box showed and how the test answered it, from inside its modal loop.
struct TChooserScript {
    std::wstring Caption, Label;
    std::vector<std::wstring> Items;
    int Select = -1;    // the item selected before answering
    WORD Answer = IDOK; // IDOK, IDCANCEL, or lbChoose for a double click on the selection
    bool Seen = false;
};
TChooserScript* gChooser = nullptr;

BOOL CALLBACK FindChooser(HWND window, LPARAM found) {
    if (GetDlgItem(window, lbChoose) && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Fires in the box's own message loop: reads the box, selects and answers as scripted.
void CALLBACK AnswerChooser(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindChooser, reinterpret_cast<LPARAM>(&box));
    if (!box || !gChooser) return;
    KillTimer(nullptr, timer);
    TChooserScript& script = *gChooser;
    script.Seen = true;
    wchar_t text[256] = L"";
    GetWindowTextW(box, text, 256);
    script.Caption = text;
    GetDlgItemTextW(box, lblChoose, text, 256);
    script.Label = text;
    HWND list = GetDlgItem(box, lbChoose);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        script.Items.push_back(item);
    }
    if (script.Select >= 0) SendMessageW(list, LB_SETCURSEL, script.Select, 0);
    const WPARAM command = script.Answer == lbChoose ? MAKEWPARAM(lbChoose, LBN_DBLCLK)
                                                     : MAKEWPARAM(script.Answer, BN_CLICKED);
    PostMessageW(box, WM_COMMAND, command,
                 reinterpret_cast<LPARAM>(script.Answer == lbChoose ? list : nullptr));
}

std::optional<size_t> RunChooser(HWND owner, TChooserScript& script,
                                 const std::vector<std::wstring>& items) {
    gChooser = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerChooser);
    TSystemServices system;
    const std::optional<size_t> chosen =
        system.ChooseItem(owner, L"Compare With", L"Setup in two.ini:", items);
    KillTimer(nullptr, timer);
    gChooser = nullptr;
    return chosen;
}
} // namespace

// The system's chooser: a modal box with the caption, the label and the items in the order
// given; OK or a double click answers the item selected, Cancel none.
TEST_F(WindowTest, TheChooserBoxAnswersTheItemSelectedOrNone) {
    const std::vector<std::wstring> items{L"Zeta.CAB", L"App.ARM.CAB", L"Beta.CAB"};
    TChooserScript ok;
    ok.Select = 2;
    EXPECT_EQ(RunChooser(Window->Handle(), ok, items), std::optional<size_t>(2));
    ASSERT_TRUE(ok.Seen);
    EXPECT_EQ(ok.Caption, L"Compare With");
    EXPECT_EQ(ok.Label, L"Setup in two.ini:");
    EXPECT_EQ(ok.Items, items); // not sorted
    // The first is selected when the box opens.
    TChooserScript first;
    EXPECT_EQ(RunChooser(Window->Handle(), first, items), std::optional<size_t>(0));
    TChooserScript doubleClick;
    doubleClick.Select = 1;
    doubleClick.Answer = lbChoose;
    EXPECT_EQ(RunChooser(Window->Handle(), doubleClick, items), std::optional<size_t>(1));
    TChooserScript cancel;
    cancel.Select = 1;
    cancel.Answer = IDCANCEL;
    EXPECT_EQ(RunChooser(Window->Handle(), cancel, items), std::nullopt);
    EXPECT_TRUE(cancel.Seen);
    // Nothing to choose from: no box.
    TChooserScript none;
    EXPECT_EQ(RunChooser(Window->Handle(), none, {}), std::nullopt);
    EXPECT_FALSE(none.Seen);
}

// A self-extracting program that stores a cabinet as it is (behind a stub, and behind a stub
// with a false "MSCF" before it) opens as a package listing exactly that cabinet; opened, it
// shows the files tessary-info.exe prints for the program.
TEST_F(WindowTest, ASelfExtractingProgramListsExactlyItsCabinetAndShowsTheFilesOfTheTool) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const std::vector<uint8_t> cabinet = ReadFileBytes(RealCabinet("App.WM.CAB"));
    const auto [alone, aloneStatus] = RunTool({WindowsPath(RealCabinet("App.WM.CAB"))});
    ASSERT_EQ(aloneStatus, 0u) << alone;
    const TTable files = ReportTables(alone).at("Device Files");
    ASSERT_FALSE(files.empty());
    for (const bool fake : {false, true}) {
        const std::string name = fake ? "fake.exe" : "setup.exe";
        SCOPED_TRACE(name);
        const std::vector<uint8_t> program = SelfExtractingProgram({cabinet}, fake);
        WriteFileBytes(dir.File(name), program);
        const std::string inside =
            "cabinet at offset " + std::to_string(program.size() - cabinet.size());
        const auto [report, status] = RunTool({WindowsPath(dir.File(name))});
        ASSERT_EQ(status, 0u) << report;
        EXPECT_NE(report.find("==> " + Utf8(WindowsPath(dir.File(name))) + " : " + inside + " <=="),
                  std::string::npos)
            << report;
        EXPECT_EQ(ReportTables(report).at("Device Files"), files);

        Window->OpenSetup(WindowsPath(dir.File(name)));
        ASSERT_TRUE(Window->PackageOpen());
        EXPECT_TRUE(Services->Messages.empty());
        const TViewerPage& package = ViewerPageNamed(*Window, "Package");
        EXPECT_EQ(StatusText(Control(sbStatus)), "Setups in package: 1");
        const TTable listed = ListContents(Control(package.List->Id));
        ASSERT_EQ(listed.size(), 1u);
        ASSERT_EQ(listed[0].size(), 4u);
        EXPECT_EQ(listed[0][2], inside);
        EXPECT_EQ(listed[0][3], ""); // no problem
        Window->OpenContainedSetup(0);
        ASSERT_TRUE(Window->SetupOpen());
        EXPECT_TRUE(WaitForReading(*Window));
        EXPECT_EQ(WindowText(Window->Handle()), "Tessary - " + name + " : " + inside);
        SelectProjectNode(2); // the setup's Files, below the package's node and the setup's
        EXPECT_EQ(ListContents(Control(lvFiles)), files);
        Window->CloseSetup();
        Window->CloseSetup();
        EXPECT_FALSE(Window->PackageOpen());
    }
}

// The private folders of this process's packages left in the temporary folder.
std::vector<std::string> LeftPackageFolders() {
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::wstring prefix = L"tessary-package-" + std::to_wstring(GetCurrentProcessId()) + L"-";
    std::vector<std::string> left;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((std::wstring(temp) + prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return left;
    do
        left.push_back(Utf8(found.cFileName));
    while (FindNextFileW(search, &found));
    FindClose(search);
    return left;
}

// The threads this process runs.
size_t ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

// Closing a package while its setup is still read in the background waits for the reader, which
// may have the cabinet in the package's private folder open (Windows removes no open file):
// once closed, no reader runs and nothing is left in the temporary folder. Closed at once,
// while the document is decoded, and at steps through the reading of the programs; by Close
// Setup twice, and by opening another file.
TEST_F(WindowTest, ClosingAPackageWhileItsSetupReadsLeavesNoTemporaryFolder) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    WriteSlowDocumentCabinet(dir.File("Slow.cab"));
    WriteFileBytes(dir.File("slow.exe"),
                   SelfExtractingProgram({ReadFileBytes(dir.File("Slow.cab"))}, false));
    WriteFileBytes(dir.File("many.exe"),
                   SelfExtractingProgram({ReadFileBytes(RealCabinet("Basic.WM.CAB"))}, false));
    ASSERT_TRUE(LeftPackageFolders().empty());
    ASSERT_GT(ThreadCount(), 0u);
    // The setup opened, the reader settles for a fifth of a second before it reads; the slow
    // document takes seconds to decode.
    std::vector<std::pair<std::string, DWORD>> cases{{"slow.exe", 0}, {"slow.exe", 400}};
    for (DWORD after = 150; after <= 350; after += 25)
        cases.emplace_back("many.exe", after);
    size_t closedWhileReading = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [name, after] = cases[i];
        const bool byOpening = i % 2 == 1;
        SCOPED_TRACE(name + " closed after " + std::to_string(after) + " ms" +
                     (byOpening ? " by opening another file" : ""));
        Window->OpenSetup(WindowsPath(dir.File(name)));
        ASSERT_TRUE(Window->PackageOpen());
        EXPECT_EQ(LeftPackageFolders().size(), 1u);
        // Its setup's reader is one thread more.
        const size_t threads = ThreadCount();
        Window->OpenContainedSetup(0);
        ASSERT_TRUE(Window->SetupOpen());
        const DWORD start = GetTickCount();
        MSG message;
        while (Window->Reading() && GetTickCount() - start < after) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            Sleep(1);
        }
        if (Window->Reading()) ++closedWhileReading;
        if (name == "slow.exe") {
            EXPECT_TRUE(Window->Reading());
        }
        if (byOpening) {
            Window->OpenSetup(WindowsPath(dir.File("README")));
            EXPECT_FALSE(Window->SetupOpen());
            EXPECT_FALSE(Window->PackageOpen());
        } else {
            Window->CloseSetup();
            Window->CloseSetup();
            EXPECT_FALSE(Window->PackageOpen());
        }
        EXPECT_LE(ThreadCount(), threads); // the reader has ended
        EXPECT_EQ(LeftPackageFolders(), std::vector<std::string>{});
    }
    EXPECT_GE(closedWhileReading, 3u);
}

// This build reads neither zip archives nor Windows Installer packages: opening one (the Linux
// tests' recorded packages, two setups each) ends in the message naming the format, in the
// window and in tessary-info.exe, and nothing opens.
TEST_F(WindowTest, ZipAndMsiPackagesAreRefusedNamingTheFormat) {
    const std::map<std::string, std::string> expected{
        {"package-apps.zip", "zip packages are not supported in this build"},
        {"package-apps.msi", "Windows Installer packages (.msi) are not supported in this build"}};
    size_t checked = 0;
    for (const std::string& path : RecordedFixtureFiles("package-apps.")) {
        const std::string name = path.substr(path.find_last_of("/\\") + 1);
        SCOPED_TRACE(name);
        ASSERT_EQ(expected.count(name), 1u);
        const std::string& message = expected.at(name);
        Services->Messages.clear();
        Window->OpenSetup(WindowsPath(path));
        EXPECT_FALSE(Window->SetupOpen());
        EXPECT_FALSE(Window->PackageOpen());
        ASSERT_EQ(Services->Messages.size(), 1u);
        EXPECT_EQ(Utf8(Services->Messages[0].first), message);
        EXPECT_EQ(Services->Messages[0].second, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(StatusText(Control(sbStatus)), name + ": " + message);
        EXPECT_EQ(TreeView_GetCount(Control(tvProject)), 0u);
        EXPECT_EQ(LeftPackageFolders(), std::vector<std::string>{});

        for (const std::vector<std::wstring>& arguments :
             {std::vector<std::wstring>{WindowsPath(path)},
              std::vector<std::wstring>{L"--json", WindowsPath(path)}}) {
            const auto [output, status] = RunTool(arguments, true);
            EXPECT_EQ(status, 3u) << output;
            EXPECT_EQ(output, "tessary-info: " + Utf8(WindowsPath(path)) + ": " + name + ": " +
                                  message + "\r\n");
        }
        ++checked;
    }
    // The .msi is recorded only where wixl is installed.
    if (checked == 0) GTEST_SKIP() << "no zip or msi packages were recorded for this build";
}

// A device profile chosen while a setup is open judges it again: the setup opens again as it was
// shown, a package's setup below the package's node.
TEST_F(WindowTest, ChoosingADeviceProfileOpensTheSetupAgainWherever) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string root = CorpusDir() + "/packages/Ushahidi";
    Services->Chosen = WindowsPath(RealCabinet("SecurityOff.cpf"));
    Open(root + "/Ushahidi.CAB");
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_FALSE(ViewerPageNamed(*Window, "Device").Present);
    Window->Command(mnuDeviceProfile);
    EXPECT_TRUE(Services->Messages.empty());
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary - Ushahidi.CAB");
    EXPECT_TRUE(ViewerPageNamed(*Window, "Device").Present);

    Window->OpenSetup(WindowsPath(root + "/Ushahidi.ini"));
    ASSERT_TRUE(Window->PackageOpen());
    Window->OpenContainedSetup(0);
    ASSERT_TRUE(Window->SetupOpen());
    SelectProjectNode(2); // the setup's Files, below the package's node and the setup's
    const TTable files = ListContents(Control(lvFiles));
    ASSERT_FALSE(files.empty());
    Window->Command(mnuDeviceProfile);
    EXPECT_TRUE(Services->Messages.empty());
    ASSERT_TRUE(Window->SetupOpen());
    ASSERT_TRUE(Window->PackageOpen());
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary - Ushahidi.ini : Ushahidi.CAB");
    const auto nodes = Nodes(Control(tvProject));
    ASSERT_GT(nodes.size(), 2u);
    EXPECT_EQ(NodeCaption(Control(tvProject), nodes[0].first), "Package - Ushahidi.ini");
    SelectProjectNode(2);
    EXPECT_EQ(ListContents(Control(lvFiles)), files);
    EXPECT_TRUE(ViewerPageNamed(*Window, "Device").Present);
}

// Files dropped on the window as Explorer drops them: the first cabinet among them opens, and
// the window took the drop's memory back.
TEST_F(WindowTest, TheFirstCabinetOfADropOpens) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    EXPECT_NE(GetWindowLongPtrW(Window->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
    const std::wstring cabinet = WindowsPath(RealCabinet("Basic.WM.CAB"));
    const std::wstring names =
        L"C:\\readme.txt" + std::wstring(1, L'\0') + cabinet + std::wstring(2, L'\0');
    const SIZE_T size = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
    HGLOBAL drop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    ASSERT_NE(drop, nullptr);
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(header + 1));
    GlobalUnlock(drop);
    SendMessageW(Window->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_TRUE(Window->SetupOpen());
    wchar_t caption[256] = L"";
    GetWindowTextW(Window->Handle(), caption, 256);
    EXPECT_EQ(std::wstring(caption), L"Tessary - Basic.WM.CAB");
    EXPECT_TRUE(WaitForReading(*Window));
}

// The window starts without shell32, comdlg32 or ole32 (and what they load in turn): it loads
// them when a dialog or a drop first needs them.
TEST(WindowProgram, ImportsNoDialogShellOrComDll) {
    std::ifstream in(std::string(TESSARY_BINARY_DIR) + "/win/tessary.exe", std::ios::binary);
    ASSERT_TRUE(in) << "tessary.exe is not built";
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const TPEImage image = ReadPEImage(bytes);
    ASSERT_TRUE(image.IsImage);
    std::vector<std::string> imports;
    for (std::string name : image.Imports) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        imports.push_back(name);
    }
    EXPECT_NE(std::find(imports.begin(), imports.end(), "comctl32.dll"), imports.end());
    for (const char* late : {"shell32.dll", "comdlg32.dll", "ole32.dll"})
        EXPECT_EQ(std::find(imports.begin(), imports.end(), late), imports.end()) << late;
}
