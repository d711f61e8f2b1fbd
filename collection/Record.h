#pragma once
// What the index keeps of one cabinet: the rows the front ends show, reduced to plain texts.
#include <cstdint>
#include <string>
#include <vector>

namespace collection {

// "read", "damaged" (a cabinet or descriptor that fails part way, a budget run out) or
// "not a setup" (a cabinet that holds no setup descriptor).
enum class TCabinetStatus { Read, Damaged, NotSetup };
[[nodiscard]] const char* StatusText(TCabinetStatus status);

struct TNamedText {
    std::string Name;
    std::string Value;
};

struct TFileRecord {
    std::string Folder; // the device folder with a trailing "\"
    std::string Name;
    std::string Entry; // the cabinet entry; empty when the cabinet holds none
    int64_t Size = -1; // -1 without an entry
    std::string Sha256;
    std::string Version;
    std::string Cpu;
};

struct TShortcutRecord {
    std::string Title;
    std::string FileName;
    std::string Folder;
};

struct TRegistryRecord {
    std::string Key;
    std::string Name;
    std::string Type;
    std::string Value;
};

struct TCertificateRecord {
    std::string Source; // "signature" or "provisioning"
    std::string Store;  // provisioning: the store it is added to; empty for the signature's
    std::string Thumbprint;
    std::string Subject;
    std::string Issuer;
    std::string NotBefore;
    std::string NotAfter;
};

struct TProgramRecord {
    std::string Folder;
    std::string Name;
    std::string Cpu;
    std::string Kind;
    std::string Version;
    std::string Company;
    std::string Imports; // the names joined by ", "
};

struct TFindingRecord {
    std::string Rule;
    std::string Severity;
    std::string Title;
    std::string Where;
    std::string Why;
};

struct TSignatureRecord {
    std::string Verdict; // "Not signed", "Intact", "Modified", "Unreadable"
    std::string Signer;
    std::string Summary;
    // What the signature's trust rests on (the statement --verify prints after "Trust: "), as of
    // the indexing; empty for a cabinet that is not signed.
    std::string Trust;
};

struct TCabinetRecord {
    std::string Path;
    int64_t Size = 0;
    int64_t MTime = 0; // the file system's modification time, in its own ticks
    std::string Sha256;
    std::string Format; // "binary", "xml"; empty when not a setup
    TCabinetStatus Status = TCabinetStatus::Damaged;
    std::string Error;
    std::vector<TNamedText> Properties;
    std::vector<TFileRecord> Files;
    std::vector<TShortcutRecord> Shortcuts;
    std::vector<TRegistryRecord> Registry;
    std::vector<TNamedText> Provisioning; // a node's path by its ancestors, its value
    std::vector<TCertificateRecord> Certificates;
    TSignatureRecord Signature;
    std::vector<TProgramRecord> Programs;
    std::vector<TFindingRecord> Findings;
};

// Reads the setup at record.Path (Size, MTime and Sha256 already set) into its rows, through
// the same readers as the tool's report, audit and comparison. A failure is the record's
// Status and Error. Never throws.
void ReadCabinetRecord(TCabinetRecord& record);

} // namespace collection
