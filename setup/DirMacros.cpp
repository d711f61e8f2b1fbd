#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 19> kStandardFolders = {
    "%ProgramFilesDir%",
    "%WinDir%",
    "%DesktopDir%",
    "%StartUpDir%",
    "%MyDocumentsDir%",
    "%AccessoriesDir%",
    "%CommunicationsDir%",
    "%GamesDir%",
    "%OutlookDir%",
    "%OfficeDir%",
    "%ProgramsDir%",
    "%ProgramsDir%\\Accessories",
    "%ProgramsDir%\\Communication",
    "%GamesDir%",
    "%FontsDir%",
    "%WinDir%\\Recent",
    "%StartMenuDir%",
    "%IPSMDir%",
    "%AppDataDir%",
};

// Plain search; callers use it for short patterns, where it is linear in the text. Candidate
// starts are found with memchr, once per case of the first character: most texts hold neither.
bool ContainsAscii(const std::string& text, const std::string& part) {
    if (part.empty()) return true;
    if (part.size() > text.size()) return false;
    const size_t starts = text.size() - part.size() + 1;
    const char upper = UpperAscii(part[0]);
    const char lower = LowerAscii(upper);
    for (const char first : {upper, lower}) {
        const char* const base = text.data();
        const char* at = base;
        while (const void* hit = std::memchr(at, first, starts - static_cast<size_t>(at - base))) {
            const char* const start = static_cast<const char*>(hit);
            size_t k = 1;
            while (k < part.size() && UpperAscii(start[k]) == UpperAscii(part[k]))
                ++k;
            if (k == part.size()) return true;
            at = start + 1;
            if (static_cast<size_t>(at - base) >= starts) break;
        }
        if (lower == upper) break;
    }
    return false;
}

constexpr size_t kShortPattern = 32;

// Knuth-Morris-Pratt failure table over the case-folded pattern.
std::vector<size_t> FailureTable(const std::string& pattern) {
    std::vector<size_t> fail(pattern.size(), 0);
    for (size_t i = 1, k = 0; i < pattern.size(); ++i) {
        while (k > 0 && UpperAscii(pattern[i]) != UpperAscii(pattern[k]))
            k = fail[k - 1];
        if (UpperAscii(pattern[i]) == UpperAscii(pattern[k])) ++k;
        fail[i] = k;
    }
    return fail;
}

// Whether pattern occurs in text, ignoring case, in time linear in both.
bool SearchAscii(const std::string& text, const std::string& pattern,
                 const std::vector<size_t>& fail) {
    for (size_t i = 0, k = 0; i < text.size(); ++i) {
        while (k > 0 && UpperAscii(text[i]) != UpperAscii(pattern[k]))
            k = fail[k - 1];
        if (UpperAscii(text[i]) == UpperAscii(pattern[k])) ++k;
        if (k == pattern.size()) return true;
    }
    return false;
}

} // namespace

std::string TCESetupBase::CEDirMacro(int number) {
    if (number < 1 || number > static_cast<int>(kStandardFolders.size())) return {};
    return std::string(kStandardFolders[number - 1]);
}

// Searching again from the start after each replacement finds the leftmost occurrence of the
// changed text, and that can only begin in the last old.size() - 1 characters before the inserted
// text or inside it. So the result is built in one left-to-right pass: characters move to the
// output with their matcher state, a match is taken back off the output, and the inserted text
// goes back in front of the unread input to be scanned again. When the new text contains the old
// one the inserted text is never scanned again (one pass resuming after it). Inputs that would
// keep rewriting their own replacements far beyond their length (a rule like "ab" -> "ba") are
// finished in that same one-pass way once the work reaches a bound linear in the text.
std::string TCESetupBase::ReplaceText(const std::string& text, const std::string& oldText,
                                      const std::string& newText) {
    if (oldText.empty() || text.size() < oldText.size()) return text;
    // Most translations find nothing to replace; spare them the matcher's tables.
    if (oldText.size() <= kShortPattern && !ContainsAscii(text, oldText)) return text;
    const std::vector<size_t> fail = FailureTable(oldText);
    bool rescan = newText.size() < oldText.size() || !SearchAscii(newText, oldText, fail);
    const size_t occurrencesBound = text.size() / oldText.size() + 1;
    size_t budget = 4 * (text.size() + newText.size() * occurrencesBound) + 1024;

    std::string out;
    out.reserve(text.size());
    std::vector<uint32_t> states; // matched length of oldText after each output character
    states.reserve(text.size());
    std::string pending; // inserted text still to be scanned, stored reversed
    size_t next = 0;     // next unread character of text

    auto pushPlain = [&](const std::string& s) {
        out += s;
        states.insert(states.end(), s.size(), 0);
    };
    while (next < text.size() || !pending.empty()) {
        char c;
        if (!pending.empty()) {
            c = pending.back();
            pending.pop_back();
        } else {
            c = text[next++];
        }
        size_t k = states.empty() ? 0 : states.back();
        while (k > 0 && UpperAscii(c) != UpperAscii(oldText[k]))
            k = fail[k - 1];
        if (UpperAscii(c) == UpperAscii(oldText[k])) ++k;
        out += c;
        states.push_back(static_cast<uint32_t>(k));
        if (k < oldText.size()) continue;
        out.resize(out.size() - oldText.size());
        states.resize(states.size() - oldText.size());
        if (rescan && budget > newText.size()) {
            budget -= newText.size();
            pending.append(newText.rbegin(), newText.rend());
        } else {
            // Text already queued for scanning stays queued; only new insertions are final.
            rescan = false;
            pushPlain(newText);
        }
    }
    return out;
}

std::string TCESetupBase::MacroizePath(const std::string& path, bool shortcutFolder,
                                       bool unquote) const {
    std::string r = path;
    if (unquote) r = ReplaceText(r, "&QUOT;", "\"");
    const std::string programGroupDir = "%ProgramsDir%\\" + Project.ProgramGroup;
    if (SameTextAscii(r, ExcludeBackslash(Project.InstallDir))) return "%InstallDir%";
    if (SameTextAscii(r, "%WINDIR%\\HELP")) return "%HelpDir%";
    if (SameTextAscii(r, programGroupDir)) return "%ProgramGroupDir%";
    if (SameTextAscii(r, "STORAGE CARD")) return "%StorageCard%";
    r = ReplaceText(r, WithTrailingBackslash(Project.InstallDir), "%InstallDir%\\");
    r = ReplaceText(r, "%WINDIR%\\HELP\\", "%HelpDir%\\");
    r = ReplaceText(r, programGroupDir + "\\", "%ProgramGroupDir%\\");
    r = ReplaceText(r, "Storage Card\\", "%StorageCard%\\");
    if (!ContainsAscii(r, "%CE")) return r;
    for (int n = 1; n <= 19; ++n) {
        if (n == 8 && shortcutFolder) continue;
        if (n == 14 && !shortcutFolder) continue;
        r = ReplaceText(r, "%CE" + std::to_string(n) + "%", CEDirMacro(n));
    }
    return r;
}
