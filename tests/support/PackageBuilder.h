#pragma once
// What users receive around setup cabinets, built for tests: small setup cabinets, zip
// archives (through libarchive's writer; Linux only), self-extracting programs with cabinets
// appended.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using ZipEntries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// A small binary-descriptor setup cabinet named by appName, for a CPU (PE machine) of choice.
[[nodiscard]] std::vector<uint8_t> SmallSetupCabinet(const std::string& appName,
                                                     uint16_t machine = 0x01c0);
// A cabinet that is no setup: its entries as given (cabinets, for a cabinet in a cabinet).
[[nodiscard]] std::vector<uint8_t> PlainCabinet(const ZipEntries& entries);
// A zip archive of the entries, deflated. Linux only.
[[nodiscard]] std::vector<uint8_t> BuildZip(const ZipEntries& entries);
// A zip whose one entry name is a cabinet header declaring a large size followed by zeros:
// small on disk, huge unpacked. Linux only.
void WriteZipBomb(const std::string& path, uint64_t unpackedBytes);
// A program image (PE) with the cabinets appended after it, as a self-extractor stores them.
// fakeHeaderFirst: a bare "MSCF" with junk after it before the first real one.
[[nodiscard]] std::vector<uint8_t>
SelfExtractingProgram(const std::vector<std::vector<uint8_t>>& cabinets, bool fakeHeaderFirst);
// An application manager .ini naming components and their cabinets.
[[nodiscard]] std::string
AppManagerIniText(const std::vector<std::pair<std::string, std::vector<std::string>>>& components);
// A Windows Installer package built by msitools' wixl: the files installed from one embedded
// cabinet ("app.cab"), the binaries in its Binary table. False when wixl is not installed or
// fails. Linux only.
[[nodiscard]] bool BuildMsiWithWixl(const std::string& folder, const std::string& msiPath,
                                    const ZipEntries& files, const ZipEntries& binaries);
