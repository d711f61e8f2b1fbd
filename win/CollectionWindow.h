#pragma once
// File > Open Collection...: an index of setups (tessary-info --index) in a window of its own,
// as the Qt viewer shows it. A list of its setups that a search box narrows (the index's
// full-text search), a "Which setups contain..." search over files, registry values and
// certificates, and counts in a status bar; a double click (or Enter) on a row opens its setup
// in the main window. The index is only read.
#include "collection/Collection.h"
#include "win/WinCEMain.h"

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

class TfrmCollection {
  public:
    // Opens a setup in the main window: the cabinet's full path.
    using TOpenSetup = std::function<void(const std::wstring& path)>;
    // Reads the index at fileName and shows its window, owned by owner; throws
    // collection::TCollectionError (the tool's message) when it is no index of ours or cannot be
    // read, before any window is made. The object lives as long as its window.
    static TfrmCollection* Create(HINSTANCE instance, HWND owner, const std::wstring& fileName,
                                  TOpenSetup openSetup);
    TfrmCollection(const TfrmCollection&) = delete;
    TfrmCollection& operator=(const TfrmCollection&) = delete;

    // The setups holding every word (all of them for none), as Enter in the search box runs
    // it; a failure is said in the status bar.
    void Search(const std::wstring& words);
    // The files, registry values and certificates that contain text, as Enter in the "Which
    // setups contain..." box runs it.
    void SearchContains(const std::wstring& text);
    [[nodiscard]] HWND Handle() const { return FHandle; }
    // A control by its identifier (resource.h), the window's own for none of them.
    [[nodiscard]] HWND Control(int id) const;

  private:
    TfrmCollection(HINSTANCE instance, std::string database, TOpenSetup openSetup);
    ~TfrmCollection();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR data);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND NewEdit(int id, const wchar_t* cue);
    void NewList(int id, TListRows& list, const TPage& columnsOf);
    void SetRows(TListRows& list, const TPage& page);
    void Layout();
    LRESULT Notify(NMHDR& header);
    // Opens the setup of the list's row in the main window.
    void OpenRow(const TListRows& list, int row);
    void SetStatus(const std::wstring& text);
    // Runs a search or an opening, its failure said in the status bar and never thrown.
    void Guarded(const std::function<void()>& command);

    HINSTANCE FInstance;
    std::string FDatabase; // the index's desktop path, as the core opens it
    TOpenSetup FOpenSetup;
    size_t FTotal = 0;
    HWND FHandle = nullptr;
    // Set once the window exists: from then on its end deletes the object.
    bool FOwnedByWindow = false;
    HFONT FFont = nullptr;
    HIMAGELIST FImages = nullptr;
    int FDpi = 96;
    HWND FSearch = nullptr, FContainsBox = nullptr, FStatus = nullptr;
    TListRows FSetups, FContains;
    // What the lists show: the rows' sources index them.
    std::vector<collection::TSetupRow> FRows;
    std::vector<collection::TContainsHit> FHits;
};
