#pragma once
// What a device of a given profile does with a setup: whether it installs the cabinet and with
// which rights, and whether each of its programs runs, each decision with its reasons. The rules
// are the platform's documented ones; where the documentation leaves a case open, a reason says
// so and says what was taken.
#include "device/Profile.h"
#include "programs/Programs.h"
#include "provisioning/Provisioning.h"
#include "signature/Signature.h"

#include <optional>
#include <string>
#include <vector>

namespace device {

enum class TInstallDecision { Blocked, AsksUser, Unprivileged, Privileged };
enum class TRunDecision { Blocked, Asks, Normal, Privileged };

// "blocked", "asks the user", "installs unprivileged", "installs privileged".
[[nodiscard]] const char* InstallDecisionText(TInstallDecision decision);
// "blocked", "asks", "runs normal", "runs privileged".
[[nodiscard]] const char* RunDecisionText(TRunDecision decision);

// How a cabinet's signature stands with a device's SPC store.
enum class TSignerStanding {
    Unsigned,  // no signature
    NotIntact, // a signature that is modified or unreadable
    StoreRoot, // intact, its chain reaches a certificate in the SPC store
    Unknown,   // intact, its chain reaches nothing in the SPC store
};

struct TCabinetStanding {
    TSignerStanding Standing = TSignerStanding::Unsigned;
    std::string Signer;           // the signer's subject
    std::string Root;             // StoreRoot: the SPC certificate's subject and thumbprint
    std::string RootSource;       // where the profile took it from
    std::optional<uint32_t> Role; // StoreRoot: the role the SPC entry carries
    std::string Verdict;          // NotIntact: the verdict's one line
};

// The signature against the profile's SPC store: the signer's chain as carried, each link and
// the last issuer matched against the store by thumbprint or by name and key.
[[nodiscard]] TCabinetStanding StandingOf(const TCabinetSignature* signature,
                                          const TDeviceProfile& profile);

struct TInstallOutcome {
    TInstallDecision Decision = TInstallDecision::Blocked;
    std::vector<std::string> Reasons;
    bool DependsOnSetup = false;
};

// The install decision for a cabinet of standing `before` on `device`. `after` and `changed`
// are the standing and the device once the setup's own provisioning document has been applied
// (the same as before and device when it changes nothing): when they would decide otherwise,
// a reason says that the decision depends on the setup changing the device first.
[[nodiscard]] TInstallOutcome DecideInstall(const TCabinetStanding& before,
                                            const TCabinetStanding& after,
                                            const TDeviceProfile& device,
                                            const TDeviceProfile& changed);

// What a program's decision reads of it.
struct TRunFacts {
    bool Readable = true;      // read from the cabinet
    bool HasSignature = false; // carries an Authenticode certificate table (not verified)
    bool IsDll = false;
};

struct TRunOutcome {
    TRunDecision Decision = TRunDecision::Blocked;
    std::vector<std::string> Reasons;
    bool DependsOnSetup = false;
};

// A program of an installed setup on `changed` (the device after the setup's provisioning),
// compared with `device` (before it).
[[nodiscard]] TRunOutcome DecideRun(const TRunFacts& program, const TDeviceProfile& device,
                                    const TDeviceProfile& changed);

struct TProgramDecision {
    size_t Row = 0; // the program row's Index
    std::string File;
    std::string Folder;
    TRunOutcome Outcome;
};

struct TDeviceDecision {
    std::string Profile;
    TInstallOutcome Install;
    bool ProgramsRead = false; // false: the programs were not analysed (yet)
    std::vector<TProgramDecision> Programs;
    // The profile's problems, then the setup's own (a provisioning document that contradicts
    // itself), each naming its file.
    std::vector<std::string> Problems;
};

struct TDecisionInput {
    const TCabinetSignature* Signature = nullptr; // null: not checked, taken as unsigned
    const provisioning::TProvisioningTree* Provisioning = nullptr; // null: none
    const std::vector<TProgramRow>* Programs = nullptr;            // null: not read
};

// The whole decision for one setup on one device. Never throws on content.
[[nodiscard]] TDeviceDecision DecideForDevice(const TDeviceProfile& profile,
                                              const TDecisionInput& input);

} // namespace device
