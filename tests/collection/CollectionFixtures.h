#pragma once
// Setups for the collection tests, made with the project's builders: a few varied ones in a
// folder, and the helpers that read an index back.
#include "collection/Collection.h"
#include "tests/support/CabinetBuilder.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/HostileFixtures.h"
#include "tests/support/PEBuilder.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

// An ARM program with a company in its version resource, importing coredll.dll.
inline std::vector<uint8_t> ArmProgram(const std::string& company) {
    PEPlan plan;
    plan.Machine = 0x01c0;
    plan.Imports = {"coredll.dll"};
    PEVersionPlan version;
    version.Strings = {{"CompanyName", company}};
    plan.Version = version;
    return BuildPEImage(plan);
}

// A setup of `files` files named "<stem>N.txt" with bodies that say which setup they are in,
// one ARM program, a shortcut and a registry value; boot adds a value under HKLM\Init.
inline void WriteVariedSetup(const std::string& path, const std::string& name, int files,
                             bool boot = false) {
    DescriptorBuilder b(name, "Fixture Co", "%CE1%\\" + name);
    const uint16_t dir = b.Dir("%CE1%\\" + name);
    SetupCabinetContents contents;
    for (int i = 0; i < files; ++i) {
        const uint16_t id = b.File(dir, name + std::to_string(i) + ".txt");
        const std::string body = name + " file " + std::to_string(i);
        contents.FileData[id] = std::vector<uint8_t>(body.begin(), body.end());
    }
    const uint16_t program = b.File(dir, name + ".exe");
    contents.FileData[program] = ArmProgram(name + " Software");
    b.Shortcut(name, program);
    const uint16_t key = b.RegKey(3, "Software\\" + name);
    b.RegString(key, "Path", "\\Program Files\\" + name);
    if (boot) b.RegString(b.RegKey(3, "Init"), "Launch90", name + ".exe");
    WriteSetupCabinet(path, b.Plan(), contents);
}

// A setup cabinet cut short inside its file bodies: the cabinet still lists, the bodies fail.
inline void WriteDamagedSetup(const std::string& path) {
    DescriptorBuilder b("Broken", "Fixture Co", "%CE1%\\Broken");
    const uint16_t dir = b.Dir("%CE1%\\Broken");
    SetupCabinetContents contents;
    std::vector<uint8_t> big(200000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>((i * 7919) >> 3);
    contents.FileData[b.File(dir, "big.bin")] = big;
    std::vector<uint8_t> bytes = BuildSetupCabinet(b.Plan(), contents, FixtureCompression::None);
    bytes.resize(bytes.size() - 100000);
    WriteFileBytes(path, bytes);
}

inline int64_t CountRows(const std::string& db, const std::string& sql) {
    int64_t n = -1;
    collection::RunSql(
        db, sql, [](const std::vector<std::string>&) {},
        [&](const collection::TSqlRow& row) { n = row[0] ? std::stoll(*row[0]) : -1; });
    return n;
}

// The first column of every row, as a set.
inline std::set<std::string> Column(const std::string& db, const std::string& sql) {
    std::set<std::string> values;
    collection::RunSql(
        db, sql, [](const std::vector<std::string>&) {},
        [&](const collection::TSqlRow& row) { values.insert(row[0] ? *row[0] : "NULL"); });
    return values;
}

inline std::string Abs(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

inline collection::TIndexSummary Index(const std::string& db, std::vector<std::string> paths,
                                       unsigned readers = 2) {
    collection::TIndexOptions options;
    options.Paths = std::move(paths);
    options.Readers = readers;
    return collection::IndexCollection(db, options);
}
