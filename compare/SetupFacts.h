#pragma once
// One side of a comparison: what a setup cabinet shows, with each file's size, SHA-256 and, for
// programs, version and CPU. Every file body is read once, in one run over the cabinet.
#include "cab/cabfiles.h"
#include "programs/Programs.h"
#include "setup/CESetup.h"
#include "signature/Signature.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TFileFacts {
    std::string Name;    // as the files view shows it
    std::string Folder;  // the device folder with a trailing "\"
    int64_t Size = -1;   // -1: the cabinet holds no entry for the file
    std::string Sha256;  // lower-case hex; empty without an entry
    std::string Version; // the version resource's file version; empty when none
    std::string Cpu;     // the image's machine; empty when not a program
    std::string Kind;    // "DLL" or "Program"; empty when not a program
    std::string Company; // the version resource's company; empty when none
    std::string Md5;     // lower-case hex, only when asked for
};

// One row of a page reduced to what a comparison needs: the texts that say which row it is,
// their ASCII-folded key, and the texts that can change under that key.
struct TFact {
    std::string Key;
    std::vector<std::string> Identity;
    std::vector<std::string> Values;
};

struct TSetupFacts {
    std::string Path;
    std::vector<TFact> Properties;   // {Property}, {Value}
    std::vector<TFileFacts> Files;   // in model order
    std::vector<TFact> Shortcuts;    // {Title, File Name, Folder}, {}
    std::vector<TFact> Registry;     // {Key, Value Name}, {Type, Value}
    std::vector<TFact> Signature;    // {Field}, {Value}
    std::vector<TFact> Provisioning; // {Path}, {Value}; empty without a "_setup.xml"
};

// A provisioning row's path of at most this many bytes is shown whole and keyed by its folded
// text, as the other pages' rows are. A longer one (a chain thousands of characteristics deep, a
// label of a megabyte) is shown with its first and last levels, each label cut short, and the
// number of levels left out between; its key is a chained SHA-256 of its folded levels, so that
// two different paths stay two rows and the same path on both sides is one.
inline constexpr size_t kMaxProvisioningPathText = 512;

// A digest as lower-case hex, as facts and indexes keep them.
[[nodiscard]] std::string LowerHex(const std::vector<uint8_t>& bytes);

// SHA-256 of a whole file as lower-case hex; empty with why when it cannot be read.
[[nodiscard]] std::string FileSha256(const std::string& path, std::string& why);

enum class TFactsStatus { Read, NotSetup, Failed, Cancelled };

struct [[nodiscard]] TFactsResult {
    TFactsStatus Status = TFactsStatus::Failed;
    std::string Message; // names the cabinet; empty when read
};

// Asked between file bodies; true stops the reading.
using TCancelled = std::function<bool()>;

// What reading a setup's facts loaded, for a caller that goes on to analyse the same setup
// without reading the cabinet again: the load, the signature, and what each body read is as a
// program (by listing index).
struct TSetupLoad {
    explicit TSetupLoad(const std::string& path) : Look(path) { Setup.Cabinet = &Cabinet; }
    TSetupLoad(const TSetupLoad&) = delete;
    TSetupLoad& operator=(const TSetupLoad&) = delete;
    TCABFile Cabinet;
    TCESetup Setup;
    TCabinetLook Look;
    TCabinetSignature Signature;
    std::vector<TEntryImage> Images;
};

// Loads the cabinet at path and reads every file body of it once. A damaged descriptor, a file
// body the cabinet cannot give or any other failure is Failed with a message naming the
// cabinet; a cabinet that holds no setup is NotSetup. Never throws.
// md5: each file's MD5 as well, for a fixity manifest. load, when given, is made for path and
// new; it keeps what the reading loaded, whole only when the answer is Read.
[[nodiscard]] TFactsResult ReadSetupFacts(const std::string& path, TSetupFacts& facts,
                                          const TCancelled& cancelled = {}, bool md5 = false,
                                          TSetupLoad* load = nullptr);

// Both sides of a comparison, read at the same time on two threads. The answer is the older
// cabinet's failure before the newer's, then a cancel, else Read.
// sideRead is called, on either thread, as each side is read. Never throws.
[[nodiscard]] TFactsResult ReadBothSetupFacts(const std::string& older, const std::string& newer,
                                              TSetupFacts (&facts)[2],
                                              const TCancelled& cancelled = {},
                                              const std::function<void()>& sideRead = {});
