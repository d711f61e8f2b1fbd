#pragma once
// Setup cabinets crafted to hurt, built with the project's own builders: each names the harm it
// tries. The test command also runs the tool on two of them, so a test writes those to a folder
// of the build (HostileFixtureDir).
#include <cstddef>
#include <string>

// A binary descriptor entry of 65 MiB of zeros behind a valid header: small as a cabinet, large
// once decompressed.
void WriteDescriptorBombCabinet(const std::string& path);
// A file whose device folder is 30,000 levels deep ("a\a\a...").
void WriteDeepFolderCabinet(const std::string& path);
// A _setup.xml naming one image from rows file rows, the image importing imports DLLs with
// names of 200 characters: facts copied per row multiply.
void WriteSharedImageCabinet(const std::string& path, int rows = 3000, int imports = 4097);
// One program whose company is 32,000 ESC characters, then that many others: every row of a
// Programs list would be padded to that cell's escaped width. Returns the bytes it holds.
size_t WriteWideCompanyCabinet(const std::string& path, int others);
// A setup of two files whose "_setup.xml" holds, after its install and file sections, the
// characteristics given.
void WriteDocumentCabinet(const std::string& path, const std::string& characteristics);
// A setup of two files whose "_setup.xml" also fills the device's root store with certificates
// (each a whole RSA certificate to decode) and nests depth characteristics: slow to decode,
// whichever the certificate library.
void WriteSlowDocumentCabinet(const std::string& path, int certificates = 3000, int depth = 50000);
// Where the two first ones are written for the test command: <build>/hostile-fixtures.
[[nodiscard]] std::string HostileFixtureDir();
