// The install and run decisions.
//
// Rules, from Microsoft's Windows Mobile documentation:
// - "Security Policy Settings" (bb416355): Unsigned CABS 4101 gives the role mask an accepted
//   unsigned cabinet installs with, SECROLE_NONE refusing it; a signed cabinet without a
//   matching root in the SPC store is unsigned; Unsigned Applications 4102, Unsigned Prompt 4122
//   (0: the user is asked for unsigned cabinets and programs) and PrivilegedApps 4123 (1: one
//   tier, every program allowed to run is privileged); changing a policy needs SECROLE_MANAGER.
// - ".cab File Signing Requirements" and the CertificateStore provider: a signed cabinet whose
//   chain reaches an SPC root installs with the role the SPC entry carries (SdkCerts.cab files
//   privileged roots with role 222, which holds SECROLE_MANAGER, unprivileged ones with 16);
//   programs run privileged when signed by a root in "Privileged Execution Trust Authorities",
//   normal when in "Unprivileged Execution Trust Authorities", else as unsigned.
#include "device/Decision.h"

#include "provisioning/Meaning.h"

#include <set>

namespace device {

namespace {

constexpr size_t kMaxChain = 16;

std::string PolicyText(uint32_t id, const TPolicySetting& setting) {
    return provisioning::SecurityPolicyMeaning(std::to_string(id), std::to_string(setting.Value),
                                               true) +
           " (from " + setting.Source + ")";
}

// A policy's value, or the locked value with a reason when the profile does not set it.
uint32_t PolicyValue(const TDeviceProfile& profile, uint32_t id, uint32_t locked,
                     std::vector<std::string>& reasons) {
    if (const TPolicySetting* setting = profile.Policy(id)) {
        reasons.push_back(PolicyText(id, *setting) + ".");
        return setting->Value;
    }
    reasons.push_back(provisioning::SecurityPolicyMeaning(std::to_string(id), "", false) +
                      " is not set by the profile: the device's own default decides, which the "
                      "profile does not know; taken as " +
                      std::to_string(locked) + ", the locked value.");
    return locked;
}

const crypto::TCertificate* CarriedIssuer(const TCabinetSignature& signature,
                                          const crypto::TCertificate& certificate) {
    if (certificate.SelfSigned) return nullptr;
    for (const crypto::TCertificate& c : signature.Certificates)
        if (c.SubjectDer == certificate.IssuerDer && c.Thumbprint != certificate.Thumbprint)
            return &c;
    return nullptr;
}

const TStoreCertificate* InStore(const TDeviceProfile& profile, TStore store,
                                 const crypto::TCertificate& certificate) {
    for (const TStoreCertificate& entry : profile.Certificates) {
        if (entry.Store != store) continue;
        if (entry.Certificate.Thumbprint == certificate.Thumbprint) return &entry;
        if (entry.Certificate.SubjectDer == certificate.IssuerDer &&
            crypto::VerifyCertificate(certificate, entry.Certificate))
            return &entry;
    }
    return nullptr;
}

std::string RoleText(uint32_t role) {
    return std::to_string(role) + " (" + provisioning::RoleMaskText(role) + ")";
}

// The decision for a cabinet the device treats as unsigned.
TInstallDecision UnsignedInstall(const TDeviceProfile& device, std::vector<std::string>& reasons) {
    const uint32_t mask = PolicyValue(device, kPolicyUnsignedCabs, 0, reasons);
    if (mask == 0) {
        reasons.push_back("An unsigned cabinet is refused: the Unsigned CABS Policy's role mask "
                          "is SECROLE_NONE.");
        return TInstallDecision::Blocked;
    }
    const uint32_t prompt = PolicyValue(device, kPolicyUnsignedPrompt, 1, reasons);
    const bool manager = (mask & kRoleManager) != 0;
    reasons.push_back(std::string("An accepted unsigned cabinet installs with the role ") +
                      RoleText(mask) + ", " +
                      (manager ? "which holds SECROLE_MANAGER: privileged."
                               : "which does not hold SECROLE_MANAGER: unprivileged."));
    if (prompt == 0) {
        reasons.push_back("The user is asked before the unsigned cabinet is installed; an "
                          "unattended install waits for an answer.");
        return TInstallDecision::AsksUser;
    }
    return manager ? TInstallDecision::Privileged : TInstallDecision::Unprivileged;
}

TInstallDecision Install(const TCabinetStanding& standing, const TDeviceProfile& device,
                         std::vector<std::string>& reasons) {
    switch (standing.Standing) {
    case TSignerStanding::Unsigned:
        reasons.push_back("Signature: the cabinet is not signed.");
        return UnsignedInstall(device, reasons);
    case TSignerStanding::NotIntact:
        reasons.push_back("Signature: " + standing.Verdict +
                          ". The documentation does not say whether a device refuses a cabinet "
                          "whose signature does not hold or treats it as unsigned; taken as "
                          "unsigned.");
        return UnsignedInstall(device, reasons);
    case TSignerStanding::Unknown:
        reasons.push_back("Signature: intact, signed by " + standing.Signer +
                          ", but its chain reaches no certificate in the profile's SPC store: "
                          "the device treats the cabinet as unsigned.");
        return UnsignedInstall(device, reasons);
    case TSignerStanding::StoreRoot:
        break;
    }
    reasons.push_back("Signature: intact, signed by " + standing.Signer + "; its chain reaches " +
                      standing.Root + " in the SPC store (from " + standing.RootSource + ").");
    uint32_t role = kRoleUserAuth;
    if (standing.Role) {
        role = *standing.Role;
        reasons.push_back("The SPC entry carries the role " + RoleText(role) + ".");
    } else {
        reasons.push_back("The SPC entry carries no Role; the documentation does not say which "
                          "role applies then; taken as 16 (SECROLE_USER_AUTH).");
    }
    if (role == 0) {
        reasons.push_back("Its role is SECROLE_NONE: the documentation does not say what a "
                          "device does with it; taken as refused.");
        return TInstallDecision::Blocked;
    }
    return (role & kRoleManager) ? TInstallDecision::Privileged : TInstallDecision::Unprivileged;
}

TRunDecision Run(const TRunFacts& program, const TDeviceProfile& device,
                 std::vector<std::string>& reasons) {
    if (!program.Readable)
        reasons.push_back("The file could not be read from the cabinet: whether it is signed is "
                          "not known; taken as unsigned.");
    else if (program.HasSignature)
        reasons.push_back(
            "It carries an Authenticode signature, which was not checked: its signer's chain is "
            "not verified here, so it is taken as unsigned. Signed by a root in "
            "\"Privileged Execution Trust Authorities\" it would run privileged, in "
            "\"Unprivileged Execution Trust Authorities\" normal.");
    else
        reasons.push_back("It is not signed (no Authenticode certificate table).");
    const uint32_t allowed = PolicyValue(device, kPolicyUnsignedApps, 0, reasons);
    if (allowed == 0) {
        reasons.push_back("Unsigned programs may not run on this device.");
        return TRunDecision::Blocked;
    }
    const uint32_t prompt = PolicyValue(device, kPolicyUnsignedPrompt, 1, reasons);
    const uint32_t oneTier = PolicyValue(device, kPolicyPrivilegedApps, 0, reasons);
    if (prompt == 0) {
        reasons.push_back(std::string("The user is asked before it first runs; allowed, it runs ") +
                          (oneTier == 1 ? "privileged (one-tier)." : "normal (two-tier)."));
        return TRunDecision::Asks;
    }
    return oneTier == 1 ? TRunDecision::Privileged : TRunDecision::Normal;
}

// The setup's own provisioning applied to a copy of the device.
TDeviceProfile Changed(const TDeviceProfile& device, const provisioning::TProvisioningTree* tree,
                       std::vector<std::string>& problems) {
    TDeviceProfile changed = device;
    if (!tree) return changed;
    changed.Problems.clear();
    ApplyProvisioning(changed, *tree, "the setup's _setup.xml");
    problems.insert(problems.end(), changed.Problems.begin(), changed.Problems.end());
    changed.Problems.clear();
    return changed;
}

bool SetsPolicies(const TDeviceProfile& device, const TDeviceProfile& changed) {
    for (const auto& [id, setting] : changed.Policies) {
        const TPolicySetting* before = device.Policy(id);
        if (!before || before->Value != setting.Value) return true;
    }
    return changed.Policies.size() != device.Policies.size();
}

} // namespace

const char* InstallDecisionText(TInstallDecision decision) {
    switch (decision) {
    case TInstallDecision::Blocked:
        return "blocked";
    case TInstallDecision::AsksUser:
        return "asks the user";
    case TInstallDecision::Unprivileged:
        return "installs unprivileged";
    case TInstallDecision::Privileged:
        return "installs privileged";
    }
    return "blocked";
}

const char* RunDecisionText(TRunDecision decision) {
    switch (decision) {
    case TRunDecision::Blocked:
        return "blocked";
    case TRunDecision::Asks:
        return "asks";
    case TRunDecision::Normal:
        return "runs normal";
    case TRunDecision::Privileged:
        return "runs privileged";
    }
    return "blocked";
}

TCabinetStanding StandingOf(const TCabinetSignature* signature, const TDeviceProfile& profile) {
    TCabinetStanding s;
    if (!signature || signature->Verdict == TSignatureVerdict::NotSigned) return s;
    if (signature->Verdict != TSignatureVerdict::Intact || !signature->Signer()) {
        s.Standing = TSignerStanding::NotIntact;
        s.Verdict = signature->Summary();
        return s;
    }
    s.Signer = signature->Signer()->Subject;
    s.Standing = TSignerStanding::Unknown;
    const crypto::TCertificate* link = signature->Signer();
    for (size_t step = 0; link && step < kMaxChain; ++step) {
        if (const TStoreCertificate* root = InStore(profile, TStore::SPC, *link)) {
            s.Standing = TSignerStanding::StoreRoot;
            s.Root =
                root->Certificate.Subject + " (thumbprint " + root->Certificate.Thumbprint + ")";
            s.RootSource = root->Source;
            s.Role = root->Role;
            return s;
        }
        link = CarriedIssuer(*signature, *link);
    }
    return s;
}

TInstallOutcome DecideInstall(const TCabinetStanding& before, const TCabinetStanding& after,
                              const TDeviceProfile& device, const TDeviceProfile& changed) {
    TInstallOutcome out;
    out.Decision = Install(before, device, out.Reasons);
    std::vector<std::string> ignored;
    const TInstallDecision then = Install(after, changed, ignored);
    if (then != out.Decision) {
        out.DependsOnSetup = true;
        std::string text = "Depends on the setup changing the device first: with its own "
                           "provisioning document applied, the device would decide \"" +
                           std::string(InstallDecisionText(then)) + "\"";
        if (before.Standing == TSignerStanding::Unknown &&
            after.Standing == TSignerStanding::StoreRoot)
            text += ", because the setup adds its own signer's chain to the SPC store: it "
                    "vouches for itself";
        text += ". The documentation does not say whether a device applies a cabinet's "
                "provisioning document before it checks the signature; this decision takes the "
                "device as it is before the install.";
        out.Reasons.push_back(std::move(text));
    }
    return out;
}

TRunOutcome DecideRun(const TRunFacts& program, const TDeviceProfile& device,
                      const TDeviceProfile& changed) {
    TRunOutcome out;
    out.Decision = Run(program, changed, out.Reasons);
    std::vector<std::string> ignored;
    const TRunDecision before = Run(program, device, ignored);
    if (before != out.Decision) {
        out.DependsOnSetup = true;
        out.Reasons.push_back(
            "Depends on the setup changing the device first: its provisioning document changes "
            "the policies above; on the device as it was, it would be \"" +
            std::string(RunDecisionText(before)) + "\".");
    }
    return out;
}

TDeviceDecision DecideForDevice(const TDeviceProfile& profile, const TDecisionInput& input) {
    TDeviceDecision d;
    d.Profile = profile.Name;
    d.Problems = profile.Problems;
    TDeviceProfile changed = Changed(profile, input.Provisioning, d.Problems);
    const TCabinetStanding before = StandingOf(input.Signature, profile);
    const TCabinetStanding after = StandingOf(input.Signature, changed);
    if (!input.Signature)
        d.Install.Reasons.push_back("The signature was not checked; taken as not signed.");
    TInstallOutcome install = DecideInstall(before, after, profile, changed);
    d.Install.Decision = install.Decision;
    d.Install.DependsOnSetup = install.DependsOnSetup;
    d.Install.Reasons.insert(d.Install.Reasons.end(), install.Reasons.begin(),
                             install.Reasons.end());

    // What the install leaves on the device for its programs.
    const bool installs = install.Decision != TInstallDecision::Blocked;
    const bool manager = install.Decision == TInstallDecision::Privileged;
    if (installs && !manager && SetsPolicies(profile, changed)) {
        d.Install.Reasons.push_back(
            "The setup's provisioning document sets security policies, which need the role "
            "SECROLE_MANAGER; installed without it, the device refuses them, so its programs "
            "run under the profile's policies.");
        changed.Policies = profile.Policies;
    }
    if (installs && input.Provisioning &&
        changed.Certificates.size() != profile.Certificates.size())
        d.Install.Reasons.push_back("The setup adds certificates to the device's stores; the "
                                    "role a store needs is not judged here: they are taken as "
                                    "added.");

    d.ProgramsRead = input.Programs != nullptr;
    if (!input.Programs) return d;
    for (const TProgramRow& row : *input.Programs) {
        if (!IsProgramsRow(row)) continue;
        TProgramDecision p;
        p.Row = row.Index;
        p.File = row.Name;
        p.Folder = row.Folder;
        if (!installs) {
            p.Outcome.Decision = TRunDecision::Blocked;
            p.Outcome.Reasons.push_back("The cabinet is not installed, so its programs never "
                                        "reach the device.");
        } else {
            TRunFacts facts;
            facts.Readable = row.Status == TProgramStatus::Image;
            facts.HasSignature = row.Image().HasSignature;
            facts.IsDll = row.Image().IsDll;
            p.Outcome = DecideRun(facts, profile, changed);
            if (row.SetupDll)
                p.Outcome.Reasons.push_back(
                    "The installer loads the setup DLL at install and removal; the "
                    "documentation does not say whether the device judges it by its own "
                    "signature, as here, or by the cabinet's.");
        }
        d.Programs.push_back(std::move(p));
    }
    return d;
}

} // namespace device
