#include "setup/CECAB.h"
#include "setup/SetupFuncs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
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

// The first place at or after from where part occurs, ignoring ASCII case; npos when none.
size_t FindAscii(const std::string& text, const std::string& part, size_t from) {
    if (part.empty() || part.size() > text.size()) return std::string::npos;
    // Candidates are found with memchr on the pattern's first character that has no other
    // case ("%", "\", " ", a digit): the folders' patterns all hold one, most near the start.
    size_t anchor = 0;
    while (anchor < part.size() && LowerAscii(part[anchor]) != UpperAscii(part[anchor]))
        ++anchor;
    if (anchor == part.size()) {
        for (size_t at = from; at + part.size() <= text.size(); ++at) {
            size_t k = 0;
            while (k < part.size() && UpperAscii(text[at + k]) == UpperAscii(part[k]))
                ++k;
            if (k == part.size()) return at;
        }
        return std::string::npos;
    }
    const char key = part[anchor];
    for (size_t at = from; at + part.size() <= text.size(); ++at) {
        const void* hit = std::memchr(text.data() + at + anchor, key, text.size() - at - anchor);
        if (!hit) return std::string::npos;
        at = static_cast<size_t>(static_cast<const char*>(hit) - text.data()) - anchor;
        if (at + part.size() > text.size()) return std::string::npos;
        size_t k = 0;
        while (k < part.size() && UpperAscii(text[at + k]) == UpperAscii(part[k]))
            ++k;
        if (k == part.size()) return at;
    }
    return std::string::npos;
}

// Replaces every occurrence in one left-to-right pass, each search resuming after the last
// replacement. That is what searching again from the start gives, as long as no replacement
// forms an occurrence with its neighbours: the text before it and the original text after it.
// Empty when one would; the caller then takes the general way.
// first: where the first occurrence is.
std::optional<std::string> ReplaceInOnePass(const std::string& text, const std::string& oldText,
                                            const std::string& newText, size_t first) {
    std::string out;
    out.reserve(text.size() + newText.size());
    std::string window;
    size_t from = 0;
    for (size_t at = first; at != std::string::npos;
         from = at + oldText.size(), at = FindAscii(text, oldText, from)) {
        out.append(text, from, at - from);
        const size_t before = std::min(out.size(), oldText.size() - 1);
        window.assign(out, out.size() - before, before);
        window += newText;
        window.append(text, at + oldText.size(), oldText.size() - 1);
        const size_t formed = FindAscii(window, oldText, 0);
        if (formed != std::string::npos && formed < before + newText.size()) return std::nullopt;
        out += newText;
    }
    out.append(text, from);
    return out;
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
    if (oldText.size() <= kShortPattern) {
        // Most translations find nothing to replace; spare them the matcher's tables. The
        // common case (a folder replaced by its macro) takes one plain pass.
        const size_t first = FindAscii(text, oldText, 0);
        if (first == std::string::npos) return text;
        if (std::optional<std::string> out = ReplaceInOnePass(text, oldText, newText, first))
            return *out;
    }
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

namespace {

// Whether part occurs, ignoring ASCII case, in the text made of a, b and c one after the other,
// starting within a or b: the occurrences a replacement b could form with its neighbours.
bool FormsOccurrence(std::string_view a, std::string_view b, std::string_view c,
                     const std::string& part) {
    const size_t inner = a.size() + b.size(), total = inner + c.size();
    auto at = [&](size_t k) {
        return k < a.size() ? a[k] : k < inner ? b[k - a.size()] : c[k - inner];
    };
    for (size_t start = 0; start < inner && start + part.size() <= total; ++start) {
        size_t k = 0;
        while (k < part.size() && UpperAscii(at(start + k)) == UpperAscii(part[k]))
            ++k;
        if (k == part.size()) return true;
    }
    return false;
}

// Replaces in place, as ReplaceText would: most texts hold none of the macros' folders and
// most of the rest one, so the text is neither copied nor scanned twice. Each search resumes
// after the last replacement while no replacement forms an occurrence with its neighbours (the
// same step as searching again from the start); once one would, ReplaceText goes on from the
// text as it is then. Answers whether it replaced anything.
bool ReplaceIn(std::string& text, const std::string& oldText, const std::string& newText) {
    if (oldText.empty() || text.size() < oldText.size()) return false;
    if (oldText.size() > kShortPattern) {
        std::string out = TCESetupBase::ReplaceText(text, oldText, newText);
        const bool changed = out != text;
        text = std::move(out);
        return changed;
    }
    bool replaced = false;
    for (size_t at = FindAscii(text, oldText, 0); at != std::string::npos;
         at = FindAscii(text, oldText, at + newText.size())) {
        const size_t before = std::min(at, oldText.size() - 1);
        const std::string_view view(text);
        if (FormsOccurrence(view.substr(at - before, before), newText,
                            view.substr(at + oldText.size(), oldText.size() - 1), oldText)) {
            text = TCESetupBase::ReplaceText(text, oldText, newText);
            return true;
        }
        text.replace(at, oldText.size(), newText);
        replaced = true;
    }
    return replaced;
}

// Whether part, ignoring ASCII case, ends in text just before end.
bool EndsWithAsciiAt(const std::string& text, const std::string& part, size_t end) {
    if (part.size() > end) return false;
    const size_t start = end - part.size();
    for (size_t k = part.size(); k-- > 0;)
        if (UpperAscii(text[start + k]) != UpperAscii(part[k])) return false;
    return true;
}

// "%CE1%" .. "%CE19%" and the folders they stand for, made once.
struct TCEMacros {
    std::array<std::string, kStandardFolders.size()> Old, New;
};

// The numbers of the "%CEn%" a text holds, as bits, in one pass over its "%". Replacing one can
// only make another where the text held it already (a macro's folder starts and ends with "%"
// and holds no "%CE"), so the bits name every macro the replacements below will meet.
uint32_t CEMacrosIn(const std::string& text) {
    uint32_t numbers = 0;
    for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1)) {
        if (at + 4 >= text.size()) break;
        if (UpperAscii(text[at + 1]) != 'C' || UpperAscii(text[at + 2]) != 'E') continue;
        size_t k = at + 3;
        uint32_t n = 0;
        while (k < text.size() && k < at + 5 && text[k] >= '0' && text[k] <= '9')
            n = n * 10 + static_cast<uint32_t>(text[k++] - '0');
        if (k > at + 3 && k < text.size() && text[k] == '%' && n >= 1 && n <= 19)
            numbers |= 1u << n;
    }
    return numbers;
}

const TCEMacros& CEMacros() {
    static const TCEMacros macros = [] {
        TCEMacros m;
        for (size_t n = 0; n < kStandardFolders.size(); ++n) {
            m.Old[n] = "%CE" + std::to_string(n + 1) + "%";
            m.New[n] = std::string(kStandardFolders[n]);
        }
        return m;
    }();
    return macros;
}

} // namespace

const TCESetupBase::TMacroFolders& TCESetupBase::MacroFolders() const {
    const std::lock_guard lock(FMacroFoldersLock);
    TMacroFolders& f = FMacroFolders;
    const std::string& installDir = Project.InstallDir;
    const std::string& group = Project.ProgramGroup;
    if (!f.Made || installDir != f.FromInstallDir || group != f.FromGroup) {
        f.FromInstallDir = installDir;
        f.FromGroup = group;
        f.InstallDir = ExcludeBackslash(installDir);
        f.InstallDirSlash = WithTrailingBackslash(installDir);
        f.GroupDir = "%ProgramsDir%\\" + group;
        f.GroupDirSlash = f.GroupDir + "\\";
        f.Made = true;
    }
    // Remade only when the project changes, which no reader of the rows does.
    return f;
}

std::string TCESetupBase::MacroizePath(const std::string& path, bool shortcutFolder,
                                       bool unquote) const {
    static const std::string kQuot = "&QUOT;", kQuote = "\"", kHelp = "%WINDIR%\\HELP\\",
                             kHelpDir = "%HelpDir%\\", kCard = "Storage Card\\",
                             kCardDir = "%StorageCard%\\", kInstallDir = "%InstallDir%\\",
                             kGroupDir = "%ProgramGroupDir%\\";
    const TMacroFolders& folders = MacroFolders();
    // Room for the usual growth: a macro's folder is longer than its number.
    std::string r;
    r.reserve(path.size() + 32);
    r = path;
    if (unquote) ReplaceIn(r, kQuot, kQuote);
    if (SameTextAscii(r, folders.InstallDir)) return "%InstallDir%";
    if (SameTextAscii(r, "%WINDIR%\\HELP")) return "%HelpDir%";
    if (SameTextAscii(r, folders.GroupDir)) return "%ProgramGroupDir%";
    if (SameTextAscii(r, "STORAGE CARD")) return "%StorageCard%";
    // The four folders, replaced in this order. Each ends with a backslash, so one pass over
    // the text's backslashes tells which occur; most paths hold none, and are then searched for
    // none. A replacement can form a later folder the pass did not see: after one, each later
    // folder is searched for.
    const std::array<const std::string*, 4> folderTexts = {&folders.InstallDirSlash, &kHelp,
                                                           &folders.GroupDirSlash, &kCard};
    const std::array<const std::string*, 4> macroTexts = {&kInstallDir, &kHelpDir, &kGroupDir,
                                                          &kCardDir};
    uint32_t occurs = 0;
    for (size_t i = 0; i < folderTexts.size(); ++i)
        if (folderTexts[i]->empty() || folderTexts[i]->back() != '\\') occurs |= 1u << i;
    for (size_t end = r.find('\\'); end != std::string::npos; end = r.find('\\', end + 1))
        for (size_t i = 0; i < folderTexts.size(); ++i)
            if ((occurs & (1u << i)) == 0 && EndsWithAsciiAt(r, *folderTexts[i], end + 1))
                occurs |= 1u << i;
    bool replaced = false;
    for (size_t i = 0; i < folderTexts.size(); ++i)
        if (replaced || (occurs & (1u << i)) != 0)
            replaced = ReplaceIn(r, *folderTexts[i], *macroTexts[i]) || replaced;
    const uint32_t present = CEMacrosIn(r);
    if (present == 0) return r;
    const TCEMacros& macros = CEMacros();
    for (int n = 1; n <= 19; ++n) {
        if (n == 8 && shortcutFolder) continue;
        if (n == 14 && !shortcutFolder) continue;
        if ((present & (1u << n)) == 0) continue;
        ReplaceIn(r, macros.Old[static_cast<size_t>(n - 1)],
                  macros.New[static_cast<size_t>(n - 1)]);
    }
    return r;
}
