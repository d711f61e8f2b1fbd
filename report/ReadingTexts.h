#pragma once
// What the windows say while the slow parts of a setup are read in the background, and when the
// cabinet cannot be read again for them: made here once, so that both windows use the same words.
#include <cstddef>
#include <string>

inline constexpr const char* kReadingPrograms = "Reading the programs...";
// The same, inside a row or after a count: "Findings: reading the programs...".
inline constexpr const char* kReadingProgramsNote = "reading the programs...";
inline constexpr const char* kReadingDocument = "Reading the provisioning document...";
inline constexpr const char* kReadingDocumentNote = "reading the provisioning document...";
// Followed by the reason.
inline constexpr const char* kReadAgainFailed = "The cabinet could not be read again: ";

// "Reading the programs: N found so far".
[[nodiscard]] inline std::string ProgramsFoundSoFar(size_t found) {
    return "Reading the programs: " + std::to_string(found) + " found so far";
}
