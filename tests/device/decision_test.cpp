// The decision rules as a table: each policy that matters crossed with each way a cabinet or a
// program can stand with the device.
#include "device/Decision.h"
#include "tests/device/Reasons.h"

#include <gtest/gtest.h>

#include <map>

using namespace device;

namespace {

TDeviceProfile WithPolicies(const std::map<uint32_t, uint32_t>& policies) {
    TDeviceProfile p;
    p.Name = "table";
    for (const auto& [id, value] : policies)
        p.Policies[id] = TPolicySetting{value, "table"};
    return p;
}

TCabinetStanding Standing(TSignerStanding kind, std::optional<uint32_t> role = std::nullopt) {
    TCabinetStanding s;
    s.Standing = kind;
    s.Signer = "CN=Signer";
    if (kind == TSignerStanding::StoreRoot) {
        s.Root = "CN=Root (thumbprint AB)";
        s.RootSource = "table";
        s.Role = role;
    }
    if (kind == TSignerStanding::NotIntact) s.Verdict = "Modified: signed by Signer, but ...";
    return s;
}

enum class Kind {
    Unsigned,
    StoreRootPrivileged,
    StoreRootUnprivileged,
    Unknown,
    SelfVouching,
    NotIntact
};

struct InstallCase {
    uint32_t UnsignedCabs;
    uint32_t Prompt;
    Kind Signature;
    TInstallDecision Expected;
    bool Depends;
};

} // namespace

TEST(DeviceDecision, InstallFollowsUnsignedCabsPromptAndTheSpcStore) {
    using D = TInstallDecision;
    const InstallCase cases[] = {
        // Unsigned: the Unsigned CABS role mask, then the prompt.
        {16, 0, Kind::Unsigned, D::AsksUser, false},
        {16, 1, Kind::Unsigned, D::Unprivileged, false},
        {24, 1, Kind::Unsigned, D::Privileged, false},
        {0, 0, Kind::Unsigned, D::Blocked, false},
        {0, 1, Kind::Unsigned, D::Blocked, false},
        // Signed by an unknown root: treated as unsigned.
        {16, 0, Kind::Unknown, D::AsksUser, false},
        {16, 1, Kind::Unknown, D::Unprivileged, false},
        {0, 1, Kind::Unknown, D::Blocked, false},
        // A signature that does not hold: taken as unsigned.
        {16, 1, Kind::NotIntact, D::Unprivileged, false},
        {0, 0, Kind::NotIntact, D::Blocked, false},
        // Signed by an SPC root: the entry's role, whatever the unsigned policies say.
        {0, 1, Kind::StoreRootPrivileged, D::Privileged, false},
        {16, 0, Kind::StoreRootPrivileged, D::Privileged, false},
        {0, 1, Kind::StoreRootUnprivileged, D::Unprivileged, false},
        {16, 0, Kind::StoreRootUnprivileged, D::Unprivileged, false},
        // Vouching for itself: unknown before, in SPC once its own document is applied.
        {0, 1, Kind::SelfVouching, D::Blocked, true},
        {16, 0, Kind::SelfVouching, D::AsksUser, true},
        {16, 1, Kind::SelfVouching, D::Unprivileged, true},
    };
    for (const InstallCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "4101=" << c.UnsignedCabs << " 4122=" << c.Prompt
                                        << " kind=" << static_cast<int>(c.Signature));
        const TDeviceProfile device = WithPolicies(
            {{kPolicyUnsignedCabs, c.UnsignedCabs}, {kPolicyUnsignedPrompt, c.Prompt}});
        TCabinetStanding before, after;
        switch (c.Signature) {
        case Kind::Unsigned:
            before = after = Standing(TSignerStanding::Unsigned);
            break;
        case Kind::StoreRootPrivileged:
            before = after = Standing(TSignerStanding::StoreRoot, 222);
            break;
        case Kind::StoreRootUnprivileged:
            before = after = Standing(TSignerStanding::StoreRoot, 16);
            break;
        case Kind::Unknown:
            before = after = Standing(TSignerStanding::Unknown);
            break;
        case Kind::SelfVouching:
            before = Standing(TSignerStanding::Unknown);
            after = Standing(TSignerStanding::StoreRoot, 222);
            break;
        case Kind::NotIntact:
            before = after = Standing(TSignerStanding::NotIntact);
            break;
        }
        const TInstallOutcome out = DecideInstall(before, after, device, device);
        EXPECT_EQ(out.Decision, c.Expected) << InstallDecisionText(out.Decision);
        EXPECT_EQ(out.DependsOnSetup, c.Depends);
        if (c.Depends) {
            EXPECT_TRUE(AnyReasonHas(out.Reasons, "vouches for itself"));
            EXPECT_TRUE(AnyReasonHas(out.Reasons, "installs privileged"));
        }
        if (c.Signature == Kind::Unsigned || c.Signature == Kind::Unknown) {
            EXPECT_TRUE(AnyReasonHas(out.Reasons, "(4101)"));
        }
        if (c.Signature == Kind::NotIntact) {
            EXPECT_TRUE(AnyReasonHas(out.Reasons, "documentation does not say"));
        }
    }
}

TEST(DeviceDecision, OpenCasesSayWhatWasTaken) {
    const TDeviceProfile empty = WithPolicies({});
    // No role on the SPC entry: unprivileged, said to be open.
    TCabinetStanding root = Standing(TSignerStanding::StoreRoot);
    TInstallOutcome out = DecideInstall(root, root, empty, empty);
    EXPECT_EQ(out.Decision, TInstallDecision::Unprivileged);
    EXPECT_TRUE(AnyReasonHas(out.Reasons, "carries no Role"));
    // A profile without the policies: the locked values, said so.
    const TCabinetStanding unsigned_ = Standing(TSignerStanding::Unsigned);
    out = DecideInstall(unsigned_, unsigned_, empty, empty);
    EXPECT_EQ(out.Decision, TInstallDecision::Blocked);
    EXPECT_TRUE(AnyReasonHas(out.Reasons, "is not set by the profile"));
}

TEST(DeviceDecision, RunFollowsUnsignedApplicationsPromptAndPrivilegedApps) {
    using R = TRunDecision;
    struct RunCase {
        uint32_t UnsignedApps, Prompt, OneTier;
        bool Signed;
        R Expected;
    };
    const RunCase cases[] = {
        {0, 0, 1, false, R::Blocked}, {0, 1, 0, false, R::Blocked}, {0, 1, 1, true, R::Blocked},
        {1, 0, 1, false, R::Asks},    {1, 0, 0, false, R::Asks},    {1, 1, 1, false, R::Privileged},
        {1, 1, 0, false, R::Normal},  {1, 1, 0, true, R::Normal},   {1, 1, 1, true, R::Privileged},
        {1, 0, 0, true, R::Asks},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "4102=" << c.UnsignedApps << " 4122=" << c.Prompt
                                        << " 4123=" << c.OneTier << " signed=" << c.Signed);
        const TDeviceProfile device = WithPolicies({{kPolicyUnsignedApps, c.UnsignedApps},
                                                    {kPolicyUnsignedPrompt, c.Prompt},
                                                    {kPolicyPrivilegedApps, c.OneTier}});
        TRunFacts facts;
        facts.HasSignature = c.Signed;
        const TRunOutcome out = DecideRun(facts, device, device);
        EXPECT_EQ(out.Decision, c.Expected) << RunDecisionText(out.Decision);
        EXPECT_FALSE(out.DependsOnSetup);
        // A program's signature is never called checked.
        EXPECT_EQ(AnyReasonHas(out.Reasons, "was not checked"), c.Signed);
    }
}

TEST(DeviceDecision, RunThatTheSetupItselfAllowsDependsOnIt) {
    const TDeviceProfile device = WithPolicies(
        {{kPolicyUnsignedApps, 0}, {kPolicyUnsignedPrompt, 1}, {kPolicyPrivilegedApps, 0}});
    const TDeviceProfile changed = WithPolicies(
        {{kPolicyUnsignedApps, 1}, {kPolicyUnsignedPrompt, 1}, {kPolicyPrivilegedApps, 1}});
    const TRunOutcome out = DecideRun({}, device, changed);
    EXPECT_EQ(out.Decision, TRunDecision::Privileged);
    EXPECT_TRUE(out.DependsOnSetup);
    EXPECT_TRUE(AnyReasonHas(out.Reasons, "\"blocked\""));
}

TEST(DeviceDecision, TextsAreTheDesignatedWords) {
    EXPECT_STREQ(InstallDecisionText(TInstallDecision::Blocked), "blocked");
    EXPECT_STREQ(InstallDecisionText(TInstallDecision::AsksUser), "asks the user");
    EXPECT_STREQ(InstallDecisionText(TInstallDecision::Unprivileged), "installs unprivileged");
    EXPECT_STREQ(InstallDecisionText(TInstallDecision::Privileged), "installs privileged");
    EXPECT_STREQ(RunDecisionText(TRunDecision::Asks), "asks");
    EXPECT_STREQ(RunDecisionText(TRunDecision::Normal), "runs normal");
    EXPECT_STREQ(RunDecisionText(TRunDecision::Privileged), "runs privileged");
}
