#pragma once
// Everything of the window that waits for the user or reaches outside the process goes through
// this interface, so that tests replace it and never block.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

// A running progress dialog; closed when destroyed.
class TProgress {
  public:
    virtual ~TProgress() = default;
    // Shows how far the work is; false once the user asked to cancel.
    [[nodiscard]] virtual bool Update(size_t done, size_t total, const std::wstring& text) = 0;
};

struct TFileDialogRequest {
    std::wstring Title;      // empty: the system's own
    std::wstring Filter;     // pairs of description and pattern, each ended by a NUL
    std::wstring FileName;   // proposed name
    std::wstring Folder;     // where the dialog starts
    std::wstring DefaultExt; // appended when the user types none; empty: nothing
    bool Save = false;       // a save dialog that asks before replacing a file
};

class TWindowServices {
  public:
    virtual ~TWindowServices() = default;
    // The chosen full path; empty when cancelled.
    [[nodiscard]] virtual std::wstring RunFileDialog(HWND owner,
                                                     const TFileDialogRequest& request) = 0;
    // The chosen folder; empty when cancelled.
    [[nodiscard]] virtual std::wstring RunFolderDialog(HWND owner, const std::wstring& title) = 0;
    // A modal message box; icon is MB_ICONERROR, MB_ICONWARNING or MB_ICONINFORMATION.
    virtual void ShowMessage(HWND owner, const std::wstring& caption, const std::wstring& text,
                             UINT icon) = 0;
    // Starts program with the whole command line, without waiting and without a shell. Whether
    // it started is not told: its one use, Edit with Velmora, gives no message for a missing
    // editor.
    virtual void StartProcess(const std::wstring& program, const std::wstring& commandLine) = 0;
    virtual void ShowAbout(HWND owner) = 0;
    // A progress dialog with a Cancel button, shown until the object is destroyed; null for
    // none.
    [[nodiscard]] virtual std::unique_ptr<TProgress> StartProgress(HWND owner,
                                                                   const std::wstring& caption) = 0;
    // A modal box with the caption, the label above a list of the items and OK and Cancel: the
    // index of the item chosen, none when cancelled (as is this default).
    [[nodiscard]] virtual std::optional<size_t> ChooseItem(HWND owner, const std::wstring& caption,
                                                           const std::wstring& label,
                                                           const std::vector<std::wstring>& items);
    // The device profile remembered between runs: its sources as tessary-info --device takes
    // them (built-in ids, files, STORE=FILE), in the core's local paths.
    // Saving answers false when the registry does not take it; this default remembers nothing
    // and has nothing to fail.
    [[nodiscard]] virtual std::vector<std::string> LoadDeviceProfile() { return {}; }
    [[nodiscard]] virtual bool SaveDeviceProfile(const std::vector<std::string>&) { return true; }
};

// The system's common dialogs, message boxes and CreateProcessW.
class TSystemServices : public TWindowServices {
  public:
    [[nodiscard]] std::wstring RunFileDialog(HWND owner,
                                             const TFileDialogRequest& request) override;
    [[nodiscard]] std::wstring RunFolderDialog(HWND owner, const std::wstring& title) override;
    void ShowMessage(HWND owner, const std::wstring& caption, const std::wstring& text,
                     UINT icon) override;
    void StartProcess(const std::wstring& program, const std::wstring& commandLine) override;
    void ShowAbout(HWND owner) override;
    [[nodiscard]] std::unique_ptr<TProgress> StartProgress(HWND owner,
                                                           const std::wstring& caption) override;
    [[nodiscard]] std::optional<size_t> ChooseItem(HWND owner, const std::wstring& caption,
                                                   const std::wstring& label,
                                                   const std::vector<std::wstring>& items) override;
    [[nodiscard]] std::vector<std::string> LoadDeviceProfile() override;
    [[nodiscard]] bool SaveDeviceProfile(const std::vector<std::string>& sources) override;
};
