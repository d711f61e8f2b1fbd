// The decision on the shared real cabinets, under the built-in profiles and profiles made from
// the real cabinets users apply.
#include "cab/cabfiles.h"
#include "device/Decision.h"
#include "device/DevicePage.h"
#include "provisioning/Rows.h"
#include "setup/CESetup.h"
#include "tests/device/Reasons.h"
#include "tests/support/Corpus.h"

#include <gtest/gtest.h>

using namespace device;

namespace {

TDeviceDecision DecideReal(const std::string& name, const std::vector<std::string>& sources) {
    TCABFile cabinet;
    TCESetup setup;
    setup.Cabinet = &cabinet;
    EXPECT_TRUE(setup.LoadSetup(RealCabinet(name), "", false));
    cabinet.ListContents();
    const auto programs = AnalysePrograms(setup, cabinet, cabinet.CABFileContents);
    const TCabinetSignature signature = VerifyCabinetSignature(RealCabinet(name));
    provisioning::TProvisioningTree tree;
    const bool haveTree = provisioning::ReadCabinetProvisioning(cabinet, tree);
    TDecisionInput input;
    input.Signature = &signature;
    input.Provisioning = haveTree ? &tree : nullptr;
    input.Programs = &programs;
    return DecideForDevice(BuildProfile(sources), input);
}

} // namespace

TEST(DeviceCorpus, SecurityOffUnderEachBuiltinProfile) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const std::pair<const char*, TInstallDecision> expected[] = {
        {"pocketpc", TInstallDecision::AsksUser},
        {"smartphone", TInstallDecision::AsksUser},
        {"locked", TInstallDecision::Blocked},
    };
    ASSERT_EQ(BuiltinProfiles().size(), std::size(expected));
    for (const auto& [profile, decision] : expected) {
        SCOPED_TRACE(profile);
        const TDeviceDecision d = DecideReal("SecurityOff.cpf", {profile});
        EXPECT_EQ(d.Install.Decision, decision);
        EXPECT_TRUE(d.Problems.empty());
        // Signed by the SDK's test developer certificate, whose root no built-in profile has.
        EXPECT_TRUE(AnyReasonHas(d.Install.Reasons, "Sample Privileged Developer"));
        EXPECT_TRUE(AnyReasonHas(d.Install.Reasons, "treats the cabinet as unsigned"));
    }
    // Asking and unprivileged, its own policies need the Manager: refused.
    const TDeviceDecision pocket = DecideReal("SecurityOff.cpf", {"pocketpc"});
    EXPECT_TRUE(AnyReasonHas(pocket.Install.Reasons, "the device refuses them"));
}

TEST(DeviceCorpus, SecurityOffInstallsPrivilegedOnceTheSdkRootsAreInSpc) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    // SdkCerts.cab files the SDK's privileged root in SPC with role 222; SecurityOff.cpf is
    // signed by a developer certificate that root issued.
    const TDeviceDecision d =
        DecideReal("SecurityOff.cpf", {"locked", RealCabinet("SdkCerts.cab")});
    EXPECT_EQ(d.Install.Decision, TInstallDecision::Privileged);
    EXPECT_TRUE(AnyReasonHas(d.Install.Reasons, "D4FB8924CFBA6C9C67360E7D6512FFDE99D2D283"));
    EXPECT_TRUE(AnyReasonHas(d.Install.Reasons, "role 222"));
    EXPECT_FALSE(d.Install.DependsOnSetup);
    EXPECT_EQ(d.Profile, "Locked, two-tier + SdkCerts.cab");
}

TEST(DeviceCorpus, UshahidiDependsOnTheSetupAddingItsOwnSigner) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const TDeviceDecision locked = DecideReal("Ushahidi.CAB", {"locked"});
    EXPECT_EQ(locked.Install.Decision, TInstallDecision::Blocked);
    EXPECT_TRUE(locked.Install.DependsOnSetup);
    EXPECT_TRUE(AnyReasonHas(locked.Install.Reasons, "vouches for itself"));
    EXPECT_TRUE(AnyReasonHas(locked.Install.Reasons, "\"installs privileged\""));
    // Blocked: none of its programs reaches the device.
    ASSERT_FALSE(locked.Programs.empty());
    for (const TProgramDecision& p : locked.Programs)
        EXPECT_EQ(p.Outcome.Decision, TRunDecision::Blocked);

    const TDeviceDecision pocket = DecideReal("Ushahidi.CAB", {"pocketpc"});
    EXPECT_EQ(pocket.Install.Decision, TInstallDecision::AsksUser);
    EXPECT_TRUE(pocket.Install.DependsOnSetup);
    // Its assemblies carry Authenticode signatures that are not verified: said, never trusted.
    bool signedProgram = false;
    for (const TProgramDecision& p : pocket.Programs) {
        EXPECT_EQ(p.Outcome.Decision, TRunDecision::Asks) << p.File;
        signedProgram |= AnyReasonHas(p.Outcome.Reasons, "was not checked");
    }
    EXPECT_TRUE(signedProgram);

    // A device that already trusts the signer (its own document applied first) installs it
    // privileged.
    const TDeviceDecision trusted =
        DecideReal("Ushahidi.CAB", {"locked", RealCabinet("Ushahidi.CAB")});
    EXPECT_EQ(trusted.Install.Decision, TInstallDecision::Privileged);
    EXPECT_FALSE(trusted.Install.DependsOnSetup);
}

TEST(DeviceCorpus, PagesShowTheSameDecisionAndReasons) {
    if (!HaveCorpus()) GTEST_SKIP() << "corpus missing";
    const TDeviceDecision d = DecideReal("Basic.WM.CAB", {"smartphone"});
    const TPage page = BuildDevicePage(d);
    ASSERT_GE(page.Rows.size(), 2u);
    EXPECT_EQ(page.Rows[1].Cells[0].Text, "Install");
    EXPECT_EQ(page.Rows[1].Cells[1].Text, "asks the user");
    // The install's reasons, in order, each a row of its own right below it.
    ASSERT_GE(page.Rows.size(), 1 + d.Install.Reasons.size());
    for (size_t i = 0; i < d.Install.Reasons.size(); ++i)
        EXPECT_EQ(page.Rows[1 + i].Cells[2].Text, d.Install.Reasons[i]);
    EXPECT_EQ(InstallDecisionValue(d), "asks the user (Smartphone / Standard, two-tier prompt)");
}
