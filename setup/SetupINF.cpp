#include "setup/SetupINF.h"

#include "cab/Errors.h"
#include "cab/Streams.h"
#include "setup/BinaryDecoder.h"
#include "setup/BinaryDescriptor.h"
#include "setup/SetupFuncs.h"

#include <cstring>
#include <memory>
#include <new>

bool TSetupINF::ParseDescriptor(const std::string& fileName, TStream* stream) {
    DescriptorError.clear();
    std::unique_ptr<TFileStream> file;
    if (!stream) {
        try {
            file = std::make_unique<TFileStream>(fileName);
        } catch (const EStreamError&) {
            return false;
        }
        stream = file.get();
    }
    char magic[4];
    if (stream->Seek(0, TSeekOrigin::Beginning) != 0 || stream->Read(magic, 4) != 4) return false;
    const bool ce4Plus = std::memcmp(magic, "CE4+", 4) == 0;
    if (!ce4Plus && std::memcmp(magic, "MSCE", 4) != 0) return false;
    Project.CE4Plus = ce4Plus ? 1 : 0;

    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeStream(*stream);
    } catch (const EStreamError&) {
        return false;
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory reading the setup descriptor");
    }
    file.reset();

    ClearModel();
    try {
        DecodeBinaryDescriptor(*this, bytes);
    } catch (const EDescriptorError& e) {
        DescriptorError = e.what();
        return false;
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory decoding the setup descriptor");
    } catch (const std::length_error&) {
        throw EOutOfMemory("Out of memory decoding the setup descriptor");
    }
    return true;
}

bool TSetupINF::FindDescriptor(TCABFile& cabinet, TStream& stream) {
    return FindDescriptorEntry(cabinet, stream, IsBinaryDescriptorName);
}

bool TSetupINF::LoadDescriptor() {
    return LoadDescriptorFromCabinet();
}

void TSetupINF::WriteDescriptor(TStream&) {}

std::string TSetupINF::GetDescriptorEntryName() {
    return {};
}

// Wider than FindDescriptor: extensions such as "0" or "00" count too. The conversion error of
// an oversized digit string reaches the caller; the entry walks catch it.
bool TSetupINF::IsDescriptorEntry(const std::string& entryName) {
    return EntryNumber(entryName) == 0;
}
