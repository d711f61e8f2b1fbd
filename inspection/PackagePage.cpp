#include "inspection/PackagePage.h"

#include "cab/cabfiles.h"
#include "report/DisplayFormat.h"
#include "setup/CESetup.h"

#include <new>

namespace {

// The processor a contained setup's descriptor names, or why it is no setup to open.
void ReadProcessor(const TContainedSetup& contained, std::string& processor, std::string& problem) {
    if (!contained.Problem.empty()) {
        problem = contained.Problem;
        return;
    }
    TCABFile cab;
    TCESetup setup;
    setup.Cabinet = &cab;
    // A descriptor damaged part way still names its processor; opening the setup says the rest.
    bool loaded = false;
    try {
        loaded = setup.LoadSetup(contained.CabinetPath, std::string(), false);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        problem = e.what();
        return;
    }
    if (!loaded && setup.Format == kFormatNone)
        problem = "not a setup cabinet";
    else
        processor = ProcessorName(setup.Project.Processor);
}

} // namespace

TPage BuildPackagePage(const TPackage& package) {
    TPage page;
    page.Caption = "Package";
    page.Columns = {{"Component", 120}, {"CPU", 110}, {"Cabinet", 260}, {"Problem", 260}};
    for (size_t i = 0; i < package.Setups.size(); ++i) {
        const TContainedSetup& contained = package.Setups[i];
        std::string processor;
        std::string problem;
        ReadProcessor(contained, processor, problem);
        TRow row;
        row.Source = i;
        row.Cells = {TextCell(contained.Component, TAlign::Left, TIconKind::Setup),
                     TextCell(processor), TextCell(contained.PathInside), TextCell(problem)};
        row.Record = {{"component", contained.Component},
                      {"processor", processor},
                      {"cabinet", contained.PathInside},
                      {"problem", problem}};
        page.Rows.push_back(std::move(row));
    }
    return page;
}

std::string PackageStatusText(const TPackage& package) {
    std::string text = "Setups in package: " + std::to_string(package.Setups.size());
    if (!package.Error.empty()) text += " (" + package.Error + ")";
    return text;
}
