// Where a registry value makes Windows CE start a program or load a DLL.
//
// Sources (Microsoft documentation, learn.microsoft.com/en-us/previous-versions/...):
//   [boot]     "Configuring the Process Boot Phase", windows/embedded/ms898204(v=msdn.10)
//   [services] "Services.exe Registry Settings", aa926416(v=msdn.10)
//   [drivers]  "Device Manager Registry Keys", windows/embedded/aa447470(v=msdn.10), and
//              "Block Driver Loading", windows/embedded/ms890874(v=msdn.10)
//   [usb]      "HID Driver Registry Settings", windows/embedded/ms894890(v=msdn.10)
//   [today]    "How to: Install and Register a Custom Today Screen Item", aa458856(v=msdn.10)
//   [menus]    "Registration Format for Application Shortcut Menu Extensions",
//              aa454233(v=msdn.10), whose remarks also name InprocServer32
//   [fsmenus]  "Registration Format for File System Shortcut Menu Extensions",
//              bb158616(v=msdn.10)
//   [verbs]    "Extending Shortcut Menus for a File Class",
//              windows/embedded/ee504857(v=winembedded.60)
#include "audit/CodeKeys.h"

#include "cab/AsciiCase.h"
#include "setup/CABData.h"

namespace {

constexpr int32_t HKCR = kRootClassesRoot;
constexpr int32_t HKLM = kRootLocalMachine;

// clang-format off
constexpr TCodeKey kCodeKeys[] = {
    // root  key                                              value        by itself
    {HKLM, "Init",                                           "Launch*",   true,
     "The kernel starts this program at every boot.",                             "[boot]"},
    {HKLM, "Services\\*",                                    "Dll",       true,
     "Services.exe loads this DLL as a service at every boot.",                   "[services]"},
    {HKLM, "Drivers\\BuiltIn\\*",                            "Dll",       true,
     "Device Manager loads this driver at every boot.",                           "[drivers]"},
    {HKLM, "Drivers\\**",                                    "Dll",       true,
     "Device Manager loads this driver when its device or card appears.",         "[drivers] [usb]"},
    {HKLM, "Software\\Microsoft\\Today\\Items\\*",           "DLL",       true,
     "The Today screen loads this DLL when the shell starts.",                    "[today]"},
    {HKLM, "Software\\Microsoft\\Shell\\Extensions\\ContextMenus\\**", "", false,
     "The shell loads this shortcut-menu extension into the application named.", "[menus]"},
    {HKCR, "*\\shellex\\ContextMenuHandlers\\**",            "",          false,
     "File Explorer loads this shortcut-menu extension for files of the type.",   "[fsmenus]"},
    {HKCR, "CLSID\\*\\InprocServer32",                       "@",         false,
     "This registers a COM component: its DLL is loaded by any program that creates it.", "[menus]"},
    {HKCR, "CLSID\\*",                                       "InprocServer32", false,
     "This registers a COM component: its DLL is loaded by any program that creates it.", "[menus]"},
    {HKCR, "*\\Shell\\*\\Command",                           "@",         false,
     "Opening a file of this type starts this command.",                          "[verbs]"},
};
// clang-format on

bool NameMatches(std::string_view pattern, std::string_view name) {
    if (pattern.empty()) return true;
    if (pattern == "@") return name.empty() || SameTextAscii(name, "Default");
    if (pattern.back() == '*') {
        pattern.remove_suffix(1);
        return name.size() >= pattern.size() &&
               SameTextAscii(name.substr(0, pattern.size()), pattern);
    }
    return SameTextAscii(name, pattern);
}

std::string_view NextPart(std::string_view& path) {
    const size_t slash = path.find('\\');
    const std::string_view part = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    return part;
}

bool KeyMatches(std::string_view pattern, std::string_view key) {
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!pattern.empty()) {
        const std::string_view want = NextPart(pattern);
        if (want == "**") return true;
        if (key.empty()) return false;
        const std::string_view have = NextPart(key);
        if (want != "*" && !SameTextAscii(want, have)) return false;
    }
    return key.empty();
}

} // namespace

const TCodeKey* FindCodeKey(int32_t root, std::string_view keyPath, std::string_view valueName) {
    for (const TCodeKey& key : kCodeKeys)
        if (key.Root == root && KeyMatches(key.Key, keyPath) && NameMatches(key.Value, valueName))
            return &key;
    return nullptr;
}
