#include "programs/Programs.h"

#include "cab/cabfiles.h"
#include "programs/EntryReader.h"
#include "setup/CESetup.h"
#include "setup/SetupFuncs.h"

#include <map>
#include <unordered_map>

std::vector<TProgramRow> AnalysePrograms(TCESetup& setup, TCABFile& cabinet,
                                         const TCABFileContents& listing, int64_t cap) {
    std::vector<TProgramRow> rows(setup.Files.size());
    const auto entries = setup.FindCabEntries(listing);
    std::vector<std::string> wanted;
    // Rows by entry: two rows can name the same entry, which is still read once.
    std::unordered_map<std::string, std::vector<size_t>> rowsOfEntry;
    for (size_t i = 0; i < rows.size(); ++i) {
        TProgramRow& row = rows[i];
        TCECAB_File f;
        setup.GetFile(static_cast<int>(i), f);
        row.FileRow = i;
        row.Name = f.Name;
        row.Folder = IncludeBackslash(f.Dir);
        if (!entries[i]) continue;
        row.Entry = entries[i]->Name;
        row.Size = entries[i]->Size;
        if (row.Size > cap || row.Size < 0) {
            row.Status = TProgramStatus::TooLarge;
            continue;
        }
        auto& list = rowsOfEntry[row.Entry];
        if (list.empty()) wanted.push_back(row.Entry);
        list.push_back(i);
    }
    ReadEntries(cabinet, wanted, cap,
                [&](size_t index, const std::vector<uint8_t>& bytes, bool ok) {
                    TPEImage image;
                    if (ok) image = ReadPEImage(bytes);
                    for (const size_t i : rowsOfEntry[wanted[index]]) {
                        TProgramRow& row = rows[i];
                        row.Status = !ok             ? TProgramStatus::Unreadable
                                     : image.IsImage ? TProgramStatus::Image
                                                     : TProgramStatus::NotImage;
                        row.Image = image;
                    }
                });
    MarkMismatches(rows, setup.Project.Processor);
    return rows;
}

std::string ProcessorFamily(int32_t processor) {
    switch (processor) {
    case 386:
    case 486:
    case 586:
    case 686:
        return "x86";
    case 1824:
    case 2080:
    case 2336:
    case 2577:
        return "ARM";
    case 2000:
    case 3000:
    case 4000:
    case 5000:
        return "MIPS";
    case 10003:
        return "SH3";
    case 10005:
        return "SH4";
    default:
        return "";
    }
}

void MarkMismatches(std::vector<TProgramRow>& rows, int32_t processor) {
    auto family = [](const TProgramRow& row) {
        if (row.Status != TProgramStatus::Image || RunsOnAnyCpu(row.Image)) return std::string();
        return MachineFamily(row.Image.Machine);
    };
    std::string expected = ProcessorFamily(processor);
    const bool fromProcessor = !expected.empty();
    if (!fromProcessor) {
        // The family most native images share; a tie goes to the one met first.
        std::map<std::string, size_t> count;
        std::vector<std::string> order;
        for (const TProgramRow& row : rows)
            if (const std::string f = family(row); !f.empty())
                if (count[f]++ == 0) order.push_back(f);
        size_t best = 0;
        for (const std::string& f : order)
            if (count[f] > best) {
                best = count[f];
                expected = f;
            }
    }
    for (TProgramRow& row : rows) {
        row.Mismatch.clear();
        const std::string f = family(row);
        if (f.empty() || f == expected) continue;
        row.Mismatch = fromProcessor ? "The setup's processor is " + expected
                                     : "The setup's other programs are " + expected;
    }
}

bool IsProgramsRow(const TProgramRow& row) {
    return row.Status != TProgramStatus::NotImage;
}

std::string ProgramStatusText(TProgramStatus status) {
    switch (status) {
    case TProgramStatus::Image:
        return "Image";
    case TProgramStatus::NotImage:
        return "Not an image";
    case TProgramStatus::TooLarge:
        return "Too large";
    case TProgramStatus::Missing:
        return "Not in cabinet";
    case TProgramStatus::Unreadable:
        return "Unreadable";
    }
    return "";
}
