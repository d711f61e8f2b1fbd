// The text audit writes its Programs list straight from the rows, without the page the windows
// show: it must read exactly as that page would, the device's column too.
#include "device/DevicePage.h"
#include "programs/ProgramsPage.h"
#include "tools/ProgramsReport.h"
#include "tools/TextReport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TProgramRow Program(size_t index, std::string name, TProgramStatus status, std::string company) {
    TProgramRow row;
    row.Index = index;
    row.FileRow = index;
    row.Name = std::move(name);
    row.Folder = "%InstallDir%\\";
    row.Entry = row.Name + ".00" + std::to_string(index);
    row.Status = status;
    if (status == TProgramStatus::Image) {
        TPEImage image;
        image.IsImage = true;
        image.Machine = 0x01C0;
        image.Version.FileVersion = "1.0.0.1";
        image.Version.CompanyName = std::move(company);
        row.Facts = MakeProgramFacts(std::move(image));
    }
    return row;
}

} // namespace

TEST(ProgramsReport, ListReadsAsThePageTheWindowsShow) {
    std::vector<TProgramRow> rows;
    rows.push_back(Program(0, "zeta.exe", TProgramStatus::Image, "Zeta \x1b]0;x\x07 Corp"));
    rows.push_back(Program(1, "alpha.dll", TProgramStatus::Image, std::string(300, 'w')));
    rows.push_back(Program(2, "notes.txt", TProgramStatus::NotImage, ""));
    rows.push_back(Program(3, "gone.exe", TProgramStatus::Missing, ""));
    rows.push_back(Program(4, "Mitte.exe", TProgramStatus::Image, "Grüße GmbH"));
    rows.back().Mismatch = "built for x86";
    TProgramRow setupDll = Program(5, "SETUP.999", TProgramStatus::Image, "Acme");
    setupDll.SetupDll = true;
    setupDll.FileRow.reset();
    setupDll.Folder.clear();
    rows.push_back(setupDll);

    // Some rows decided, one of them twice (the later decision stands), one not at all.
    device::TDeviceDecision decision;
    decision.ProgramsRead = true;
    for (const auto& [row, run] :
         std::vector<std::pair<size_t, device::TRunDecision>>{{0, device::TRunDecision::Blocked},
                                                              {1, device::TRunDecision::Normal},
                                                              {1, device::TRunDecision::Privileged},
                                                              {5, device::TRunDecision::Asks}}) {
        device::TProgramDecision& p = decision.Programs.emplace_back();
        p.Row = row;
        p.Outcome.Decision = run;
    }

    for (const bool onDevice : {false, true}) {
        std::ostringstream direct;
        WriteProgramsReport(direct, rows, onDevice ? &decision : nullptr);
        TPage page = BuildProgramsPage(rows);
        if (onDevice) device::AddRunColumn(page, decision);
        std::ostringstream viaPage;
        WriteCountedPage(viaPage, page);
        ASSERT_EQ(page.Rows.size(), 5u) << "the file that is no image is not listed";
        const std::string list = direct.str().substr(0, viaPage.str().size());
        EXPECT_EQ(list, viaPage.str()) << (onDevice ? "with" : "without") << " a device";
        EXPECT_EQ(direct.str().substr(viaPage.str().size(), 1), "\n") << "the details follow";
    }
}
