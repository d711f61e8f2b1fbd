#pragma once
// What differs between two setups, as report pages: one page per part of a setup, each row a
// row added, removed or changed from the old setup to the new one.
#include "compare/SetupFacts.h"
#include "report/Page.h"

#include <functional>
#include <string>
#include <vector>

enum class TChange { Added, Removed, Changed };

// Page indices of a comparison; every page is there, empty when nothing of it differs.
inline constexpr size_t kComparePageProperties = 0;
inline constexpr size_t kComparePageFiles = 1;
inline constexpr size_t kComparePageShortcuts = 2;
inline constexpr size_t kComparePageRegistry = 3;
inline constexpr size_t kComparePageSignature = 4;
inline constexpr size_t kComparePageProvisioning = 5;

struct TComparison {
    // "Properties", "Files", "Shortcuts", "Registry Values", "Signature", "Provisioning". The
    // first column of each is "Change", its cell the change's caption and icon; every record
    // begins with "change" ("added", "removed", "changed").
    std::vector<TPage> Pages;
    size_t Added = 0;
    size_t Removed = 0;
    size_t Changed = 0;
    [[nodiscard]] bool Same() const { return Added + Removed + Changed == 0; }
};

// Rows are matched by their identity ignoring ASCII case: files by device folder and name,
// registry values by key and value name, shortcuts by title, target and folder. The n-th of
// several rows with one identity is matched with the n-th of the other side. Rows appear in a
// stable order: properties and signature fields in the page's order, the rest by identity.
[[nodiscard]] TComparison CompareSetups(const TSetupFacts& older, const TSetupFacts& newer);

// Two cabinets compared, as every front end does it: both read at once on two threads, then
// compared. Read is the answer's status when Comparison holds the result; otherwise it says why
// not, naming the cabinet (the older one's failure first, then a cancel). sideRead is called,
// on either thread, as each side is read. Never throws.
struct TCabinetComparison {
    TFactsResult Result;
    TComparison Comparison;
};
[[nodiscard]] TCabinetComparison CompareCabinets(const std::string& older, const std::string& newer,
                                                 const TCancelled& cancelled = {},
                                                 const std::function<void()>& sideRead = {});

// The comparison as one tree for a window: a node per page with differences ("Files (4)"),
// expanded, with a node per difference below it; or a single node "no differences". Rows, one
// per node: "Difference" (the row's identity texts, its change's icon), "Change", "Old", "New"
// (the value texts, joined by ": " when there are several) and "What Changed" (for files). A
// difference's row keeps its page row's record.
struct TComparisonTree {
    TTreePage Tree;
    TPage Rows;
};
[[nodiscard]] TComparisonTree BuildComparisonTree(const TComparison& comparison);

// "Added", "Removed", "Changed".
[[nodiscard]] const char* ChangeCaption(TChange change);
// The row's change, read from its record.
[[nodiscard]] TChange ChangeOf(const TRow& row);
// "3 added, 1 removed, 2 changed"; "no differences" when the setups are the same.
[[nodiscard]] std::string ComparisonSummary(const TComparison& comparison);
