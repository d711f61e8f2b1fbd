#pragma once
// What every front end shows of a setup, built once: a page is a caption, column headers and
// ordered rows of typed cells; a tree page is nodes with children. Texts are the model's 8-bit
// bytes; each front end converts them for its own screen or file.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

enum class TAlign { Left, Right, Center };

// The picture a cell or node shows; the window maps each kind to its image list.
enum class TIconKind {
    None,
    Setup,       // the project tree's root
    Files,       // the "Files" node
    Shortcuts,   // the "Shortcuts" node
    Registry,    // "Registry Entries" and "Device Registry"
    Key,         // a registry key; a second picture when selected
    FileRow,     // a row of the files list
    ShortcutRow, // a row of the shortcuts list
    StringValue, // a string or multi-string registry value
    NumberValue, // a DWORD, binary or other registry value
    Warning,     // an audit finding of each severity
    Notice,
    Info,
    Added,   // a comparison's row found only in the newer setup
    Removed, // found only in the older one
    Changed  // found in both, different
};

// An exact value for machine-readable output: none (null), a truth value, a whole number or an
// 8-bit text, held by the value or shared by the rows of many values (one program's facts named
// by thousands of file rows are made once).
using TSharedText = std::shared_ptr<const std::string>;
using TValue = std::variant<std::monostate, bool, int64_t, std::string, TSharedText>;

// Named exact values in output order. Names are string literals.
using TRecord = std::vector<std::pair<const char*, TValue>>;

// Collects the fields a record's visitor passes (VisitRegValueRecord and the like) into a
// record: field(name, value) with a whole number, a text or nothing (null).
struct TRecordFields {
    TRecord& Record;
    void operator()(const char* name, int64_t value) const;
    void operator()(const char* name, const std::string& value) const;
    void operator()(const char* name, std::string_view value) const;
    void operator()(const char* name, std::monostate) const;
};

// The value named key, or null when the record has none.
[[nodiscard]] const TValue* FindField(const TRecord& record, const char* key);
// The text a value holds, own or shared; null for a value that is no text.
[[nodiscard]] const std::string* TextOf(const TValue& value);

struct TCell {
    std::string Text; // as shown
    // What an ordering compares: a number where the text is a formatted number (sizes), the text
    // itself otherwise.
    std::variant<std::string, int64_t> SortKey;
    TAlign Align = TAlign::Left;
    TIconKind Icon = TIconKind::None;
};

// One cell's text handed to a writer that builds no row; it lives only for the call.
using TCellVisitor = std::function<void(std::string_view text)>;

// A text cell that sorts by its text.
[[nodiscard]] TCell TextCell(std::string text, TAlign align = TAlign::Left,
                             TIconKind icon = TIconKind::None);

struct TColumn {
    std::string Caption;
    int Width = 0; // in pixels, as the window's design gives it
    TAlign Align = TAlign::Left;
    // False for a column that only the reports print (the registry values' key): the window's
    // list shows the rows of one key, so it leaves the column out.
    bool Listed = true;
};

inline constexpr size_t kNoNode = static_cast<size_t>(-1);

struct TRow {
    std::vector<TCell> Cells; // one per column
    TRecord Record;           // the model's exact values behind the row, for JSON
    size_t Source = 0;        // index of the model row it shows
    size_t Node = kNoNode;    // node of the page's tree the row is listed under, if any
    bool Dimmed = false;      // shown greyed: a finding that a baseline accepts
};

struct TPage {
    std::string Caption; // the page's header caption
    std::vector<TColumn> Columns;
    std::vector<TRow> Rows; // in the order the design shows them
};

struct TTreeNode {
    std::string Caption;
    TIconKind Icon = TIconKind::None;
    size_t Parent = kNoNode;
    size_t Row = 0; // position among its parent's children
    std::vector<size_t> Children;
    std::vector<size_t> Rows; // rows of the companion page listed under this node, in order
    bool Expanded = false;    // shown expanded when the page opens
};

// Nodes in the order they were created; a parent always comes before its children.
struct TTreePage {
    std::string Caption;
    std::vector<TTreeNode> Nodes;
    std::vector<size_t> TopLevel;

    // Adds a node as the last child of parent (kNoNode: at the top level); returns its index.
    size_t Add(size_t parent, std::string caption, TIconKind icon);
};

// One row of a page as a "Field"/"Value" page: each column's caption beside the row's text,
// leaving out the empty texts of the columns from skipEmptyFrom on. Captioned as the page.
[[nodiscard]] TPage FieldsPage(const TPage& page, const TRow& row,
                               size_t skipEmptyFrom = static_cast<size_t>(-1));

// Rows in model order (by Source), for outputs that follow the model rather than the screen.
[[nodiscard]] std::vector<const TRow*> InModelOrder(const TPage& page);
