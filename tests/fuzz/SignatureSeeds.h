#pragma once
// The seeds of the signature fuzz target, shared with the targets that read signatures too:
// small cabinets signed here with SHA-1 and SHA-256 (and the certificate that signed them), and
// the shared signed ones when present.
#include "tests/support/CabinetBuilder.h"
#include "tests/support/CabinetSigner.h"
#include "tests/support/Corpus.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::vector<uint8_t>> SignedCabinetSeeds(bool withCertificate = false) {
    std::vector<std::vector<uint8_t>> seeds;
    if (HaveOsslsigncode()) {
        TempDir dir;
        const SigningKey key = MakeSigningKey(dir.Path(), "Fuzz Publisher");
        if (withCertificate) seeds.push_back(ReadFileBytes(key.CertPath));
        WriteCabinet(dir.File("plain.cab"), {{"fuzz.001", Bytes("fuzz data")}},
                     FixtureCompression::None);
        for (const char* digest : {"sha1", "sha256"}) {
            std::string log;
            const std::string out = dir.File(std::string("signed-") + digest + ".cab");
            if (SignCabinet(key, dir.File("plain.cab"), out, digest, 1700000000, log))
                seeds.push_back(ReadFileBytes(out));
        }
    }
    if (HaveCorpus())
        for (const char* name : {"SecurityOff.cpf"})
            seeds.push_back(ReadFileBytes(RealCabinet(name)));
    return seeds;
}
