// The window's details panes, the comparison's marks and the findings' order by a header click,
// at par with the Qt viewer: each pane shows what the same report functions make of the row
// selected by keyboard or mouse; a difference shows its change's picture and colour; a click on a
// column header orders the findings' groups, and what a double click, Copy and the filter do
// still follows the rows.
#include "cab/cabfiles.h"
#include "compare/Comparison.h"
#include "programs/ProgramsPage.h"
#include "provisioning/ProvisioningPage.h"
#include "provisioning/Rows.h"
#include "report/ChangeColours.h"
#include "report/SignaturePage.h"
#include "signature/Signature.h"
#include "tests/window/WindowFixture.h"

#include <array>
#include <map>

namespace {

std::wstring PaneText(HWND pane) {
    const int length = GetWindowTextLengthW(pane);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(pane, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

// Whether the control is shown within its window (which the tests never show).
bool Shown(HWND control) {
    return (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The list's row at a position of the shown rows: its kept page row.
const TRow& ShownRow(const TViewerPage& page, int item) {
    return page.List->Page.Rows.at(page.List->Shown.at(static_cast<size_t>(item)));
}

// A click on a row, as the mouse makes it: the list selects the row and tells the window.
void ClickRow(HWND list, int row) {
    RECT cell{};
    cell.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                             reinterpret_cast<LPARAM>(&cell)));
    const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
}

// A click on a column header, as the list tells the window of it.
void ClickHeader(HWND window, HWND list, int column) {
    NMLISTVIEW click{};
    click.hdr = {list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), LVN_COLUMNCLICK};
    click.iItem = -1;
    click.iSubItem = column;
    SendMessageW(window, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

// The text colour the window has the list paint the row in, asked as the list asks; CLR_DEFAULT
// when it leaves the list's own.
COLORREF PaintedColour(HWND window, HWND list, int row) {
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr = {list, static_cast<UINT_PTR>(GetDlgCtrlID(list)), NM_CUSTOMDRAW};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    const LRESULT asks =
        SendMessageW(window, WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    if (!(asks & CDRF_NOTIFYITEMDRAW)) return CLR_DEFAULT;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
    draw.clrText = CLR_DEFAULT;
    SendMessageW(window, WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText;
}

int ImageOfRow(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    return ListView_GetItem(list, &item) ? item.iImage : -1;
}

// The picture's mean colour over its opaque pixels, drawn from the list's image list.
std::array<int, 3> MeanColour(HIMAGELIST images, int image) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, canvas);
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(images, image, dc, 0, 0, ILD_TRANSPARENT);
    GdiFlush();
    std::array<long, 3> sum{};
    long counted = 0;
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < 256; ++i) {
        const uint32_t p = pixels[i];
        if ((p & 0xFFFFFF) == 0xFFFFFF) continue; // the white left around and inside the disc
        sum[0] += (p >> 16) & 0xFF;
        sum[1] += (p >> 8) & 0xFF;
        sum[2] += p & 0xFF;
        ++counted;
    }
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
    if (counted < 40) return {-1, -1, -1};
    return {static_cast<int>(sum[0] / counted), static_cast<int>(sum[1] / counted),
            static_cast<int>(sum[2] / counted)};
}

std::wstring ClipboardText(HWND owner) {
    std::wstring text;
    if (!OpenClipboard(owner)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

} // namespace

// The pane's text: each page's caption, its listed columns' captions and its rows apart by tabs,
// an empty line between pages; a page without listed columns is its caption alone.
TEST(DetailsText, ListsEachPageUnderItsCaption) {
    TPage fields;
    fields.Caption = "Program";
    fields.Columns = {{"Field", 120, TAlign::Left, true},
                      {"Key", 0, TAlign::Left, false},
                      {"Value", 300, TAlign::Left, true}};
    fields.Rows.push_back({{TextCell("Name"), TextCell("hidden"), TextCell("app.exe")}, {}, 0});
    fields.Rows.push_back({{TextCell("Bell"), TextCell(""), TextCell("a\ab")}, {}, 1});
    TPage caption;
    caption.Caption = "Checks";
    EXPECT_EQ(DetailsText({fields, caption}), L"Program\r\nField\tValue\r\nName\tapp.exe\r\n"
                                              L"Bell\ta\\x07b\r\n\r\nChecks\r\n");
    EXPECT_EQ(DetailsText({}), L"");
}

// The top level sorts by a column's keys, each group with its places below it, stably: equal
// keys keep the order they had, descending too.
TEST(TreeList, SortingMovesEachGroupWithItsPlaces) {
    TPage page;
    page.Columns = {{"Severity", 80, TAlign::Left, true}, {"Where", 80, TAlign::Left, true}};
    TTreePage tree;
    const auto add = [&](size_t parent, int64_t rank, const std::string& where) {
        const size_t node = tree.Add(parent, "", TIconKind::None);
        tree.Nodes[node].Rows.push_back(page.Rows.size());
        TRow& row = page.Rows.emplace_back();
        row.Cells = {TextCell("s"), TextCell(where)};
        row.Cells[0].SortKey = rank;
        row.Source = page.Rows.size() - 1;
        return node;
    };
    const size_t info = add(kNoNode, 2, "i");
    add(info, 2, "i1");
    add(info, 2, "i2");
    add(kNoNode, 0, "w");
    const size_t notice = add(kNoNode, 1, "n");
    add(notice, 1, "n1");
    add(kNoNode, 0, "w2");
    TListRows list;
    list.KeepsPage = true;
    BuildTreeRows(list, tree, page);
    const auto order = [&list] {
        std::vector<std::wstring> where;
        for (const auto& row : list.Rows)
            where.push_back(row.at(1));
        return where;
    };
    const std::vector<size_t> moved = SortTopLevel(list, 0, false);
    EXPECT_EQ(order(), (std::vector<std::wstring>{L"w", L"w2", L"n", L"n1", L"i", L"i1", L"i2"}));
    EXPECT_EQ(moved.at(0), 4u); // "i" went behind the warnings and the notice's two rows
    EXPECT_EQ(list.Parents[3], 2u);
    EXPECT_EQ(list.Parents[5], 4u);
    EXPECT_EQ(list.Ends[4], 7u);
    EXPECT_EQ(list.Sources[5], 1u);
    EXPECT_EQ(list.Page.Rows[5].Cells[1].Text, "i1");
    RevealTree(list);
    EXPECT_EQ(list.Shown, (std::vector<size_t>{0, 1, 2, 4}));
    (void)SortTopLevel(list, 0, true);
    EXPECT_EQ(order(), (std::vector<std::wstring>{L"i", L"i1", L"i2", L"n", L"n1", L"w", L"w2"}));
    (void)SortTopLevel(list, 1, false);
    EXPECT_EQ(order(), (std::vector<std::wstring>{L"i", L"i1", L"i2", L"n", L"n1", L"w", L"w2"}));
}

// A signed cabinet whose document adds its own signer: the Signature pane shows the checks and
// what they let a device conclude, then the certificate selected by a click or a key, as the
// report's pages make them; the Programs pane the selected program's fields.
TEST_F(WindowTest, TheSignatureAndProgramsPanesFollowTheSelection) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string cabinet = RealCabinet("Ushahidi.CAB");
    TCABFile cab;
    cab.CABFile = cabinet;
    provisioning::TProvisioningTree document;
    ASSERT_TRUE(provisioning::ReadCabinetProvisioning(cab, document));
    TTrustContext context;
    context.Added = provisioning::StoreAdditions(document);
    const TSignaturePages signature = BuildSignaturePages(VerifyCabinetSignature(cabinet), context);
    ASSERT_GE(signature.Certificates.Rows.size(), 1u);
    const std::wstring none = DetailsText({signature.Checks, signature.TrustFacts});

    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    const TViewerPage& page = ViewerPageNamed(*Window, "Signature");
    HWND list = Control(page.List->Id), pane = Control(txtSignatureDetails);
    ASSERT_EQ(page.DetailsPane, pane);
    SelectNodeNamed("Signature");
    EXPECT_TRUE(Shown(pane));
    EXPECT_EQ(PaneText(pane), none);
    EXPECT_NE(Utf8(none).find("Installed by the setup"), std::string::npos);
    const auto certificate = [&](size_t row) {
        return DetailsText({signature.Checks, signature.TrustFacts,
                            FieldsPage(signature.Certificates, signature.Certificates.Rows[row])});
    };
    ClickRow(list, 0);
    EXPECT_EQ(PaneText(pane), certificate(0));
    EXPECT_NE(PaneText(pane).find(L"Thumbprint"), std::wstring::npos);
    // The focused row taken out of the selection: the checks alone again.
    ListView_SetItemState(list, 0, 0, LVIS_SELECTED);
    EXPECT_EQ(PaneText(pane), none);
    if (signature.Certificates.Rows.size() > 1) {
        FocusRow(list, 0);
        PressKey(list, VK_DOWN);
        EXPECT_EQ(PaneText(pane), certificate(1));
    }

    // The programs: by keyboard from the first row down, by a click back on the first.
    const TViewerPage& programs = ViewerPageNamed(*Window, "Programs");
    HWND programList = Control(programs.List->Id), programPane = Control(txtProgramsDetails);
    SelectNodeNamed("Programs");
    EXPECT_FALSE(Shown(pane));
    EXPECT_TRUE(Shown(programPane));
    ASSERT_GE(ListView_GetItemCount(programList), 2);
    EXPECT_EQ(PaneText(programPane), L"");
    const auto program = [&](int item) {
        const size_t source = ShownRow(programs, item).Source;
        return DetailsText({BuildProgramDetailsPage(Window->ProgramRows().at(source))});
    };
    FocusRow(programList, 0);
    PressKey(programList, VK_DOWN);
    EXPECT_EQ(FocusedRow(programList), 1);
    EXPECT_EQ(PaneText(programPane), program(1));
    EXPECT_NE(PaneText(programPane).find(L"File Version"), std::wstring::npos);
    ClickRow(programList, 0);
    EXPECT_EQ(PaneText(programPane), program(0));
    EXPECT_NE(PaneText(programPane).find(ToDisplay(ShownRow(programs, 0).Cells.at(0).Text)),
              std::wstring::npos);

    // The filter empties the selection and the pane; closing the setup empties every pane.
    SetWindowTextW(Control(edtFilter), L"dll");
    EXPECT_EQ(PaneText(programPane), L"");
    SetWindowTextW(Control(edtFilter), L"");
    ClickRow(programList, 0);
    ASSERT_NE(PaneText(programPane), L"");
    Window->Command(mnuCloseSetup);
    EXPECT_EQ(PaneText(programPane), L"");
    EXPECT_EQ(PaneText(pane), L"");
}

// The window's own rectangle of a control, in its client area.
RECT PlaceOf(HWND window, HWND control) {
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// At the window's first size the list keeps three fifths of the height, the pane below it the
// rest; the splitter between them moves with the mouse, and neither goes below its least.
TEST_F(WindowTest, TheSplitterAboveAPaneMovesAndKeepsTheListUsable) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Ushahidi.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SelectNodeNamed("Programs");
    HWND window = Window->Handle();
    HWND list = Control(ViewerPageNamed(*Window, "Programs").List->Id);
    HWND pane = Control(txtProgramsDetails);
    const RECT before = PlaceOf(window, list), below = PlaceOf(window, pane);
    EXPECT_GE(ListView_GetCountPerPage(list), 5);
    EXPECT_GT(below.top, before.bottom);
    const int whole = below.bottom - before.top;
    EXPECT_NEAR(below.bottom - below.top, whole * 2 / 5, 8);
    const auto drag = [window](int x, int from, int to) {
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, from));
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, to));
        SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, to));
    };
    const int x = (below.left + below.right) / 2;
    drag(x, (before.bottom + below.top) / 2, before.bottom - 30);
    const RECT higher = PlaceOf(window, list);
    EXPECT_NEAR(higher.bottom, before.bottom - 30, 6); // the mouse holds the gap
    // Dragged to the top and to the bottom: the list keeps a few rows, the pane a line.
    drag(x, higher.bottom + 1, before.top);
    EXPECT_GE(PlaceOf(window, list).bottom - before.top, 50);
    drag(x, PlaceOf(window, list).bottom + 1, below.bottom);
    EXPECT_GE(below.bottom - PlaceOf(window, pane).top, 15);
}

// A certificate of a provisioning document shows its decoded fields, any other item its whole
// texts: what the Qt viewer's txtProvisioningDetails shows.
TEST_F(WindowTest, TheProvisioningPaneShowsACertificatesFields) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string cabinet = RealCabinet("SdkCerts.cab");
    TCABFile cab;
    cab.CABFile = cabinet;
    provisioning::TProvisioningTree document;
    ASSERT_TRUE(provisioning::ReadCabinetProvisioning(cab, document));
    const provisioning::TProvisioningPages pages = provisioning::BuildProvisioningPages(document);
    ASSERT_FALSE(pages.Certificates.Rows.empty());
    Open(cabinet);
    ASSERT_TRUE(Window->SetupOpen());
    const TViewerPage& page = ViewerPageNamed(*Window, "Provisioning");
    HWND list = Control(page.List->Id), pane = Control(txtProvisioningDetails);
    SelectNodeNamed("Provisioning");
    OpenEveryRow(list);
    // The first certificate's row, reached by keyboard from the top.
    const TRow& wanted = pages.Certificates.Rows.front();
    int item = -1;
    for (int i = 0; i < ListView_GetItemCount(list) && item < 0; ++i)
        if (page.List->Sources[page.List->Shown[static_cast<size_t>(i)]] == wanted.Source) item = i;
    ASSERT_GT(item, 0);
    FocusRow(list, 0);
    const auto top =
        std::find_if(pages.Rows.Rows.begin(), pages.Rows.Rows.end(),
                     [&](const TRow& row) { return row.Source == ShownRow(page, 0).Source; });
    ASSERT_NE(top, pages.Rows.Rows.end());
    EXPECT_EQ(PaneText(pane), DetailsText({FieldsPage(pages.Rows, *top)}));
    for (int i = 0; i < item; ++i)
        PressKey(list, VK_DOWN);
    EXPECT_EQ(PaneText(pane), DetailsText({FieldsPage(pages.Certificates, wanted, 2)}));
    EXPECT_NE(PaneText(pane).find(L"Thumbprint (SHA-1)"), std::wstring::npos);
    EXPECT_NE(PaneText(pane).find(ToDisplay(wanted.Cells.at(2).Text)), std::wstring::npos);
}

// The Comparison node and its rows carry their change's picture (the Qt viewer's drawings) and
// colour; the pane shows a difference's whole texts.
TEST_F(WindowTest, ComparisonRowsShowTheirChangeAndTheirWholeTexts) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string older = RealCabinet("Basic.WM.CAB"), newer = RealCabinet("App.WM.CAB");
    const TCabinetComparison run = CompareCabinets(older, newer);
    ASSERT_EQ(run.Result.Status, TFactsStatus::Read);
    const TComparisonTree tree = BuildComparisonTree(run.Comparison);
    Open(older);
    ASSERT_TRUE(Window->SetupOpen());
    Window->CompareWith(WindowsPath(newer));
    const TViewerPage& page = ViewerPageNamed(*Window, "Comparison");
    ASSERT_TRUE(page.Present);
    HWND list = Control(page.List->Id), pane = Control(txtComparisonDetails);
    HTREEITEM node = TreeView_GetSelection(Control(tvProject));
    ASSERT_EQ(NodeCaption(Control(tvProject), node), "Comparison");
    TVITEMW item{};
    item.mask = TVIF_IMAGE;
    item.hItem = node;
    ASSERT_TRUE(TreeView_GetItem(Control(tvProject), &item));
    EXPECT_EQ(item.iImage, 23);

    // Each change its picture and colour; a part's node neither colour nor a change's picture.
    const std::map<std::string, std::pair<int, TIconKind>> marks = {
        {"Added", {21, TIconKind::Added}},
        {"Removed", {22, TIconKind::Removed}},
        {"Changed", {23, TIconKind::Changed}}};
    std::map<std::string, int> seen;
    const TTable rows = ListContents(list);
    for (size_t row = 0; row < rows.size(); ++row) {
        const int shown = static_cast<int>(row);
        const auto mark = marks.find(rows[row].at(1));
        if (mark == marks.end()) {
            EXPECT_EQ(PaintedColour(Window->Handle(), list, shown), CLR_DEFAULT) << row;
            EXPECT_LT(ImageOfRow(list, shown), 21) << row;
            continue;
        }
        ++seen[mark->first];
        const TRgb rgb = *ChangeColour(mark->second.second);
        EXPECT_EQ(ImageOfRow(list, shown), mark->second.first) << row;
        EXPECT_EQ(PaintedColour(Window->Handle(), list, shown), RGB(rgb.Red, rgb.Green, rgb.Blue))
            << row;
    }
    EXPECT_GT(seen["Added"], 0);
    EXPECT_GT(seen["Changed"], 0);
    // The pictures are the Qt viewer's discs: green, red and blue.
    const auto images =
        reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(ImageList_GetImageCount(images), 24);
    const std::array<int, 3> added = MeanColour(images, 21), removed = MeanColour(images, 22),
                             changed = MeanColour(images, 23);
    EXPECT_TRUE(added[1] > added[0] && added[1] > added[2]) << added[0] << " " << added[1];
    EXPECT_TRUE(removed[0] > removed[1] && removed[0] > removed[2]) << removed[0];
    EXPECT_TRUE(changed[2] > changed[0] && changed[2] > changed[1]) << changed[2];

    // A changed file's row by a click: its whole texts, as the report's fields page has them.
    const auto changedRow = std::find_if(rows.begin(), rows.end(), [](const auto& row) {
        return row.at(0) == "basic.exe, %InstallDir%\\nsbasic\\";
    });
    ASSERT_NE(changedRow, rows.end());
    const int shown = static_cast<int>(changedRow - rows.begin());
    ClickRow(list, shown);
    const auto source =
        std::find_if(tree.Rows.Rows.begin(), tree.Rows.Rows.end(), [](const TRow& row) {
            return row.Cells.at(0).Text == "basic.exe, %InstallDir%\\nsbasic\\";
        });
    ASSERT_NE(source, tree.Rows.Rows.end());
    EXPECT_EQ(PaneText(pane), DetailsText({FieldsPage(tree.Rows, *source)}));
    EXPECT_NE(PaneText(pane).find(L"Size, Content"), std::wstring::npos);
    // The filter takes the selection, and the pane empties.
    SetWindowTextW(Control(edtFilter), L"basic.exe");
    EXPECT_EQ(PaneText(pane), L"");
}

// A click on a column header orders the findings' groups by it, ascending, the same header again
// the other way, stably: equal keys keep the order they had; a severity by its rank.
TEST_F(WindowTest, AHeaderClickSortsTheFindingsStablyEitherWay) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    HWND list = Control(ViewerPageNamed(*Window, "Findings").List->Id);
    SelectNodeNamed("Findings");
    HWND header = ListView_GetHeader(list);
    EXPECT_TRUE(GetWindowLongPtrW(header, GWL_STYLE) & HDS_BUTTONS);
    const TTable groups = ListContents(list);
    ASSERT_GT(groups.size(), 2u);
    const auto sorted = [](TTable rows, const auto& key, bool descending) {
        std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
            return descending ? key(b) < key(a) : key(a) < key(b);
        });
        return rows;
    };
    const auto rule = [](const std::vector<std::string>& row) { return row.at(1); };
    const auto arrowOf = [header](int column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, column, &item);
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };
    ClickHeader(Window->Handle(), list, 1);
    const TTable byRule = sorted(groups, rule, false);
    EXPECT_EQ(ListContents(list), byRule);
    EXPECT_EQ(arrowOf(1), HDF_SORTUP);
    ClickHeader(Window->Handle(), list, 1);
    const TTable byRuleDown = sorted(byRule, rule, true);
    ASSERT_NE(byRuleDown, byRule);
    EXPECT_EQ(ListContents(list), byRuleDown);
    EXPECT_EQ(arrowOf(1), HDF_SORTDOWN);
    // Severity by its rank, not its word: the warnings first; the rules' order within each.
    ClickHeader(Window->Handle(), list, 0);
    const auto rank = [](const std::vector<std::string>& row) {
        return row.at(0) == "Warning" ? 0 : row.at(0) == "Notice" ? 1 : 2;
    };
    EXPECT_EQ(ListContents(list), sorted(byRuleDown, rank, false));
    EXPECT_EQ(arrowOf(0), HDF_SORTUP);
    EXPECT_EQ(arrowOf(1), 0);
}

// Sorted findings still lead where they are about: a group opens into its places wherever it
// went, a double click on a place selects its file, Copy takes the rows as shown, the filter
// narrows without reordering, and the page made again for the next setup keeps the order.
TEST_F(WindowTest, SortedFindingsStillLeadToTheirRows) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    HWND list = Control(ViewerPageNamed(*Window, "Findings").List->Id);
    SelectNodeNamed("Findings");
    const TTable groups = ListContents(list);
    ClickHeader(Window->Handle(), list, 2);
    const TTable byTitle = ListContents(list);
    ASSERT_NE(byTitle, groups);
    const auto group = std::find_if(byTitle.begin(), byTitle.end(), [](const auto& row) {
        return row.at(1) == "self-registering";
    });
    ASSERT_NE(group, byTitle.end());
    const int at = static_cast<int>(group - byTitle.begin());
    FocusRow(list, at);
    PressKey(list, VK_RIGHT);
    const TTable opened = ListContents(list);
    ASSERT_GT(opened.size(), byTitle.size());
    const std::vector<std::string>& place = opened.at(static_cast<size_t>(at) + 2);
    ASSERT_EQ(place.at(3).rfind("%WinDir%\\", 0), 0u) << place.at(3);
    FocusRow(list, at + 2);
    SetFocus(list);
    Window->Command(mnuCopy);
    std::string copied;
    for (size_t cell = 0; cell < place.size(); ++cell)
        copied += (cell ? "\t" : "") + place[cell];
    EXPECT_EQ(Utf8(ClipboardText(Window->Handle())), copied + "\r\n");
    NotifyMouse(Window->Handle(), list, NM_DBLCLK, at + 2, {200, 1});
    EXPECT_EQ(Window->CurrentPage(), kProjectNodeFiles);
    const auto file = SelectedRow(Control(lvFiles));
    ASSERT_FALSE(file.empty());
    EXPECT_EQ("%WinDir%\\" + file.at(0), place.at(3));

    SelectNodeNamed("Findings");
    SetWindowTextW(Control(edtFilter), L"mscegrid");
    std::vector<std::string> rules, expected;
    for (const auto& row : ListContents(list))
        if (!row.at(1).empty()) rules.push_back(row.at(1));
    for (const auto& row : byTitle)
        if (std::count(rules.begin(), rules.end(), row.at(1))) expected.push_back(row.at(1));
    EXPECT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules, expected);
    SetWindowTextW(Control(edtFilter), L"");
    Window->CloseSetup();
    Open(RealCabinet("Basic.WM.CAB"));
    SelectNodeNamed("Findings");
    EXPECT_EQ(ListContents(list), byTitle);
}

// A page's list is made when its node is first selected: it shows the rows kept for it, as the
// filter typed before narrowed them, with a tree list's glyphs and a sortable list's header.
TEST_F(WindowTest, APageFirstShownAfterItsRowsChangedShowsThem) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Open(RealCabinet("Basic.WM.CAB"));
    ASSERT_TRUE(Window->SetupOpen());
    SetWindowTextW(Control(edtFilter), L"mscegrid");
    const TViewerPage& findings = ViewerPageNamed(*Window, "Findings");
    SelectNodeNamed(findings.Node);
    // Not asked for through Control, which would make it.
    HWND list = GetDlgItem(Window->Handle(), findings.List->Id);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(Shown(list));
    const TTable narrowed = ListContents(list);
    ASSERT_EQ(narrowed.size(), 4u); // two groups, one place each
    EXPECT_EQ(narrowed[0].at(1), "self-registering");
    EXPECT_EQ(narrowed[1].at(3), "%WinDir%\\MSCEGrid.dll");
    EXPECT_NE(GlyphOf(list, 0), 0);
    EXPECT_EQ(GlyphOf(list, 1), 0);
    EXPECT_TRUE(GetWindowLongPtrW(ListView_GetHeader(list), GWL_STYLE) & HDS_BUTTONS);
    // The filter gone, every group again.
    SetWindowTextW(Control(edtFilter), L"");
    EXPECT_EQ(ListView_GetItemCount(list), static_cast<int>(findings.List->Shown.size()));
    EXPECT_GT(ListView_GetItemCount(list), 4);

    // A page with a details pane: both come with the node, the pane saying what no row selected
    // says.
    const TViewerPage& programs = ViewerPageNamed(*Window, "Programs");
    ASSERT_TRUE(programs.Present);
    SelectNodeNamed(programs.Node);
    HWND programList = GetDlgItem(Window->Handle(), programs.List->Id);
    HWND pane = GetDlgItem(Window->Handle(), txtProgramsDetails);
    ASSERT_NE(programList, nullptr);
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(Shown(programList));
    EXPECT_TRUE(Shown(pane));
    EXPECT_FALSE(Shown(list));
    EXPECT_EQ(ListView_GetItemCount(programList), static_cast<int>(programs.List->Rows.size()));
    EXPECT_GT(ListView_GetItemCount(programList), 0);
    EXPECT_EQ(PaneText(pane), L"");
}
