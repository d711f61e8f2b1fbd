// tessary.exe's File > Open Collection... under Wine: an index that tessary-info.exe built of
// recorded fixture cabinets and the shared real ones, listed in its window with the rows and
// counts the tool's --sql and --query give, narrowed by a search, "Which setups contain..." by a
// file name, a double click and Enter opening a setup in the main window, and files that are no
// index refused with the tool's message. Needs an X display (scripts/test.sh starts Xvfb).
#include "tests/support/Corpus.h"
#include "tests/support/PackageBuilder.h"
#include "tests/windows/IndexedCollection.h"
#include "tests/windows/WindowControls.h"
#include "win/CollectionWindow.h"
#include "win/WinCEMain.h"
#include "win/resource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The file dialog answers what the test chose; message boxes are recorded.
class TAnsweringServices : public TWindowServices {
  public:
    std::wstring Chosen;
    std::vector<TFileDialogRequest> Dialogs;
    std::vector<std::wstring> Messages;
    std::wstring RunFileDialog(HWND, const TFileDialogRequest& request) override {
        Dialogs.push_back(request);
        return Chosen;
    }
    std::wstring RunFolderDialog(HWND, const std::wstring&) override { return {}; }
    void ShowMessage(HWND, const std::wstring&, const std::wstring& text, UINT) override {
        Messages.push_back(text);
    }
    void StartProcess(const std::wstring&, const std::wstring&) override {}
    void ShowAbout(HWND) override {}
    std::unique_ptr<TProgress> StartProgress(HWND, const std::wstring&) override { return nullptr; }
};

std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

std::vector<std::string> ColumnOf(const TTable& table, size_t column) {
    std::vector<std::string> values;
    for (const auto& row : table)
        values.push_back(column < row.size() ? row[column] : "");
    return values;
}

// The tool's tab-separated lines, without the header line when there is one.
TTable ToolLines(const std::string& output, bool header) {
    TTable table;
    std::istringstream lines(WithoutCarriageReturns(output));
    std::string line;
    while (std::getline(lines, line)) {
        if (header) {
            header = false;
            continue;
        }
        auto& cells = table.emplace_back();
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '\t'))
            cells.push_back(field);
        if (!line.empty() && line.back() == '\t') cells.emplace_back();
    }
    return table;
}

// Types the text into the box and presses Enter there, as the user runs a search.
void SearchIn(HWND box, const std::wstring& text) {
    SetWindowTextW(box, text.c_str());
    SendMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
}

HWND CollectionWindowOf(HWND owner) {
    for (HWND found = FindWindowExW(nullptr, nullptr, L"TfrmCollection", nullptr); found;
         found = FindWindowExW(nullptr, found, L"TfrmCollection", nullptr))
        if (GetWindow(found, GW_OWNER) == owner) return found;
    return nullptr;
}

// The index in its window, beside a main window that records its boxes.
class CollectionWindow : public IndexedCollection {
  protected:
    void SetUp() override {
        if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
        ASSERT_EQ(first->Exit, 3u) << first->Err; // the damaged one
        Services = std::make_shared<TAnsweringServices>();
        Window.reset(TfrmWinCEMain::Create(GetModuleHandleW(nullptr), {}, Services));
        if (!Window && !std::getenv("DISPLAY")) GTEST_SKIP() << "no X display for Wine";
        ASSERT_TRUE(Window) << "the window could not be created";
    }

    // Opens the index through the command's own path, without the dialog.
    TfrmCollection* Open() {
        TfrmCollection* collection = Window->OpenCollection(W(db));
        EXPECT_TRUE(collection) << (Services->Messages.empty() ? ""
                                                               : Narrow(Services->Messages[0]));
        return collection;
    }

    std::shared_ptr<TAnsweringServices> Services;
    std::unique_ptr<TfrmWinCEMain> Window;
};

TEST_F(CollectionWindow, TheMenuOpensTheIndexWithTheRowsAndCountsTheToolGives) {
    wchar_t caption[128] = L"";
    GetMenuStringW(GetMenu(Window->Handle()), mnuOpenCollection, caption, 128, MF_BYCOMMAND);
    EXPECT_STREQ(caption, L"Open Co&llection...");
    ASSERT_TRUE(Window->CommandEnabled(mnuOpenCollection));
    Services->Chosen = W(db);
    Window->Command(mnuOpenCollection);
    ASSERT_EQ(Services->Dialogs.size(), 1u);
    EXPECT_EQ(Services->Dialogs[0].Title, L"Open Collection");
    EXPECT_TRUE(Services->Messages.empty());
    HWND shown = CollectionWindowOf(Window->Handle());
    ASSERT_TRUE(shown);
    EXPECT_EQ(WindowText(shown), "Collection - collection.db");
    EXPECT_TRUE(IsWindowVisible(shown));

    const TTable rows = ListContents(GetDlgItem(shown, lvCollection));
    // Every setup the index holds, in path order, with the columns the Qt viewer shows.
    const TToolRun sql = RunTool(
        {L"--sql", W(db),
         L"SELECT o.path, CASE WHEN o.status = 'read' THEN o.name ELSE o.status END, "
         L"o.processor, CASE WHEN o.signer <> '' THEN o.signer ELSE o.verdict END, "
         L"(SELECT t.trust FROM signatures t WHERE t.cabinet_sha256 = o.sha256), o.warnings "
         L"FROM setup_overview o ORDER BY o.path"},
        30);
    ASSERT_EQ(sql.Exit, 0u) << sql.Err;
    TTable expected = ToolLines(sql.Out, true);
    ASSERT_EQ(expected.size(), 11u);
    TTable listed;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 7u);
        // Cabinet, Name, CPU, Signer, Trust, Warnings: the version is checked below.
        listed.push_back({row[0], row[1], row[3], row[4], row[5], row[6]});
    }
    for (auto& row : expected)
        for (auto& cell : row)
            if (cell == "NULL") cell.clear();
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(StatusText(GetDlgItem(shown, lblCollectionStatus)), "Setups: 11");

    // The damaged cabinet says so where its name would be; the signed real ones name a signer.
    const auto broken = std::find_if(
        rows.begin(), rows.end(), [](const auto& row) { return row[0].ends_with("\\Broken.cab"); });
    ASSERT_NE(broken, rows.end());
    EXPECT_EQ((*broken)[1], "damaged");
    const TToolRun versions =
        RunTool({L"--sql", W(db),
                 L"SELECT count(*) FROM programs WHERE version <> '' GROUP BY cabinet_sha256"},
                30);
    size_t withVersion = 0;
    for (const auto& row : rows)
        withVersion += row[2].empty() ? 0 : 1;
    EXPECT_EQ(withVersion, ToolLines(versions.Out, true).size());

    // Opened as a file (Open, the command line), an index opens its own window too.
    DestroyWindow(shown);
    ASSERT_FALSE(CollectionWindowOf(Window->Handle()));
    Window->OpenSetup(W(db));
    EXPECT_FALSE(Window->SetupOpen());
    EXPECT_TRUE(CollectionWindowOf(Window->Handle()));
    EXPECT_TRUE(Services->Messages.empty());
}

TEST_F(CollectionWindow, SearchesNarrowTheRowsAsTheToolsQueryAndFindWhatSetupsContain) {
    TfrmCollection* collection = Open();
    ASSERT_TRUE(collection);
    HWND list = collection->Control(lvCollection);
    HWND status = collection->Control(lblCollectionStatus);
    for (const wchar_t* words : {L"Good1.txt", L"mscoree.dll", L"Fixture Co"}) {
        SearchIn(collection->Control(edtCollectionSearch), words);
        const TToolRun query = RunTool({L"--query", W(db), words}, 30);
        ASSERT_EQ(query.Exit, 0u) << query.Err;
        const std::vector<std::string> found = ColumnOf(ToolLines(query.Out, false), 0);
        EXPECT_FALSE(found.empty()) << Narrow(words);
        EXPECT_LT(found.size(), 11u) << Narrow(words);
        EXPECT_EQ(ColumnOf(ListContents(list), 0), found) << Narrow(words);
        EXPECT_EQ(StatusText(status), "Setups: " + std::to_string(found.size()) + " of 11");
    }
    SearchIn(collection->Control(edtCollectionSearch), L"  ");
    EXPECT_EQ(ListContents(list).size(), 11u);
    EXPECT_EQ(StatusText(status), "Setups: 11");

    // A file by its name; LIKE's own wildcards are taken as they are.
    HWND contains = collection->Control(lvContains);
    SearchIn(collection->Control(edtContains), L"kept1.TXT");
    const TTable hits = ListContents(contains);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0][0], Abs(walk + "\\sub\\Kept.cab"));
    EXPECT_EQ(hits[0][1], "File");
    EXPECT_TRUE(hits[0][2].ends_with("\\Kept1.txt")) << hits[0][2];
    EXPECT_EQ(StatusText(status), "1 found in 1 setups");
    SearchIn(collection->Control(edtContains), L"Kept_.txt");
    EXPECT_EQ(ListContents(contains).size(), 0u);
    EXPECT_EQ(StatusText(status), "0 found in 0 setups");
    // A registry value by its value.
    SearchIn(collection->Control(edtContains), L"\\Program Files\\Good");
    EXPECT_EQ(ListContents(contains),
              (TTable{{Abs(walk + "\\Good.cab"), "Registry",
                       "HKEY_LOCAL_MACHINE\\Software\\Good\\Path = \\Program Files\\Good"}}));
    // Programs by name across the real cabinets too: the files are those the tool's --sql finds,
    // and the counts are those of the rows.
    SearchIn(collection->Control(edtContains), L".exe");
    const TTable rows = ListContents(contains);
    std::set<std::vector<std::string>> files, setups;
    for (const auto& row : rows) {
        if (row[1] == "File") files.insert({row[0], row[2]});
        setups.insert({row[0]});
    }
    const TToolRun sql = RunTool({L"--sql", W(db),
                                  L"SELECT c.path, f.folder || '\\' || f.name FROM cabinets c "
                                  L"JOIN files f ON f.cabinet_sha256 = c.sha256 WHERE f.name "
                                  L"LIKE '%.exe%' OR f.folder LIKE '%.exe%'"},
                                 30);
    ASSERT_EQ(sql.Exit, 0u) << sql.Err;
    const TTable expected = ToolLines(sql.Out, true);
    EXPECT_EQ(files, std::set<std::vector<std::string>>(expected.begin(), expected.end()));
    EXPECT_GT(files.size(), 2u);
    EXPECT_EQ(StatusText(status), std::to_string(rows.size()) + " found in " +
                                      std::to_string(setups.size()) + " setups");
}

TEST_F(CollectionWindow, ADoubleClickOrEnterOpensTheSetupInTheMainWindow) {
    TfrmCollection* collection = Open();
    ASSERT_TRUE(collection);
    SearchIn(collection->Control(edtContains), L"Kept1.txt");
    HWND contains = collection->Control(lvContains);
    ASSERT_EQ(ListView_GetItemCount(contains), 1);
    NMITEMACTIVATE click{};
    click.hdr = {contains, static_cast<UINT_PTR>(lvContains), static_cast<UINT>(NM_DBLCLK)};
    click.iItem = 0;
    SendMessageW(collection->Handle(), WM_NOTIFY, lvContains, reinterpret_cast<LPARAM>(&click));
    ASSERT_TRUE(Window->SetupOpen())
        << (Services->Messages.empty() ? "" : Narrow(Services->Messages[0]));
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary - Kept.cab");
    // The Files page, as a user looks at it.
    HWND project = Window->Control(tvProject);
    TreeView_SelectItem(project, TreeView_GetNextItem(project, TreeView_GetRoot(project),
                                                      TVGN_CHILD)); // Files, the first below it
    const TTable files = ListContents(Window->Control(lvFiles));
    EXPECT_EQ(files.size(), 3u); // two texts and the program
    EXPECT_TRUE(std::any_of(files.begin(), files.end(),
                            [](const auto& row) { return row[0] == "Kept1.txt"; }));

    // Enter on the focused row of the setups' list, after a search.
    SearchIn(collection->Control(edtCollectionSearch), L"Good0.txt");
    HWND list = collection->Control(lvCollection);
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(Window->SetupOpen());
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary - Good.cab");
    EXPECT_TRUE(Services->Messages.empty());
}

// A setup the index found inside a self-extracting program opens below the package's node.
TEST_F(CollectionWindow, ARowOfASetupInsideAPackageOpensItBelowThePackage) {
    TempDir own;
    const std::string folder = own.File("received");
    fs::create_directories(folder);
    const std::vector<uint8_t> cabinet = SmallSetupCabinet("Stored");
    const std::vector<uint8_t> program = SelfExtractingProgram({cabinet}, true);
    WriteFileBytes(folder + "\\Setup.exe", program);
    const std::string index = own.File("received.db");
    const TToolRun run = RunTool({L"--index", W(index), W(folder)});
    ASSERT_EQ(run.Exit, 0u) << run.Err;
    TfrmCollection* collection = Window->OpenCollection(W(index));
    ASSERT_TRUE(collection);
    HWND list = collection->Control(lvCollection);
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    NMITEMACTIVATE click{};
    click.hdr = {list, static_cast<UINT_PTR>(lvCollection), static_cast<UINT>(NM_DBLCLK)};
    click.iItem = 0;
    SendMessageW(collection->Handle(), WM_NOTIFY, lvCollection, reinterpret_cast<LPARAM>(&click));
    ASSERT_TRUE(Window->SetupOpen())
        << (Services->Messages.empty() ? "" : Narrow(Services->Messages[0]));
    EXPECT_TRUE(Window->PackageOpen());
    EXPECT_TRUE(WaitForReading(*Window));
    EXPECT_EQ(WindowText(Window->Handle()), "Tessary - Setup.exe : cabinet at offset " +
                                                std::to_string(program.size() - cabinet.size()));
    EXPECT_TRUE(Services->Messages.empty());
    Window->CloseSetup();
    Window->CloseSetup();
}

TEST_F(CollectionWindow, FilesThatAreNoIndexAreRefusedWithTheToolsMessageAndNoWindow) {
    const std::string notes = dir->File("notes.db");
    WriteFileBytes(notes, Bytes("just some notes, no database"));
    // The index cut short: its first pages kept, the rest gone.
    const std::string cut = dir->File("cut.db");
    std::vector<uint8_t> bytes = ReadFileBytes(db);
    bytes.resize(bytes.size() / 3);
    WriteFileBytes(cut, bytes);
    for (const std::string& path : {notes, cut, dir->File("missing.db")}) {
        Services->Messages.clear();
        EXPECT_FALSE(Window->OpenCollection(W(path))) << path;
        EXPECT_FALSE(CollectionWindowOf(Window->Handle())) << path;
        ASSERT_EQ(Services->Messages.size(), 1u) << path;
        const TToolRun tool = RunTool({L"--query", W(path), L"word"}, 30);
        EXPECT_NE(tool.Exit, 0u);
        std::string said = WithoutCarriageReturns(tool.Err);
        ASSERT_TRUE(said.starts_with("tessary-info: ")) << said;
        said = said.substr(14, said.find('\n') - 14);
        EXPECT_EQ(Narrow(Services->Messages[0]), said) << path;
    }
    EXPECT_TRUE(fs::exists(notes));
    EXPECT_FALSE(fs::exists(dir->File("missing.db")));
}

} // namespace
