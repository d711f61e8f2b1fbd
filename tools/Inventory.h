#pragma once
// --manifest and --sbom: what a setup installs, as a fixity manifest and as an inventory.
#include <string>

// Writes to standard output a hashdeep manifest of the setup's files as the device would place
// them ("size,md5,sha256,filename", the file named by its device folder and name). A file the
// cabinet holds no entry for is said on standard error and the status is 3.
[[nodiscard]] int WriteManifest(const std::string& path);

// Writes to standard output the setup as a CycloneDX 1.5 JSON document: the setup the root
// component (name, supplier, the cabinet's SHA-256), each file a component (a program an
// application or library with its version, CPU and supplier from its version resource) with
// its MD5 and SHA-256.
[[nodiscard]] int WriteSbom(const std::string& path);

// The texts the two write, made whole before anything is written: the status as theirs, a
// failure said on standard error. A manifest with files left out is made all the same, with
// the status 3.
[[nodiscard]] int MakeManifest(const std::string& path, std::string& text);
[[nodiscard]] int MakeSbom(const std::string& path, std::string& text);
