#include "cab/Streams.h"

#include "cab/Errors.h"
#include "cab/FileSystem.h"

#include <algorithm>
#include <cstring>

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || FPosition >= Size()) return 0;
    const int64_t n = std::min(count, Size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const auto end = static_cast<size_t>(FPosition + count);
    if (end > FData.size()) FData.resize(end);
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::Current) base = FPosition;
    if (origin == TSeekOrigin::End) base = Size();
    const int64_t pos = base + offset;
    if (pos < 0) return -1;
    FPosition = pos;
    return FPosition;
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

TFileStream::TFileStream(const std::string& fileName) {
    FFile = std::fopen(fileName.c_str(), "rb");
    if (!FFile)
        throw EStreamError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream() {
    if (FFile) std::fclose(FFile);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const size_t n = std::fread(buffer, 1, static_cast<size_t>(count), FFile);
    if (n == 0 && std::ferror(FFile)) return -1;
    return static_cast<int64_t>(n);
}

int64_t TFileStream::Write(const void*, int64_t) {
    return -1;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    if (fseeko(FFile, static_cast<off_t>(offset), whence) != 0) return -1;
    return static_cast<int64_t>(ftello(FFile));
}

int64_t TFileStream::Size() const {
    const off_t here = ftello(FFile);
    fseeko(FFile, 0, SEEK_END);
    const off_t size = ftello(FFile);
    fseeko(FFile, here, SEEK_SET);
    return static_cast<int64_t>(size);
}

std::vector<uint8_t> ReadWholeStream(TStream& stream) {
    std::vector<uint8_t> bytes;
    // The size a stream tells is only a hint: the bytes read decide.
    if (const int64_t size = stream.Size(); size > 0 && size <= (int64_t{1} << 30))
        bytes.reserve(static_cast<size_t>(size));
    stream.SetPosition(0);
    uint8_t chunk[65536];
    for (;;) {
        const int64_t n = stream.Read(chunk, sizeof chunk);
        if (n < 0) throw EStreamError("Stream read error");
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

TFileWriteStream::TFileWriteStream(const std::string& fileName) {
    FHandle = CreateFileHandle(fileName);
    if (FHandle == -1)
        throw EStreamError("Cannot create file \"" + fileName + "\". " + LastSystemErrorText());
}

TFileWriteStream::~TFileWriteStream() {
    // Only let go: a writer that must know whether the file is whole calls Close first.
    if (FHandle != -1) CloseFileHandle(FHandle);
}

int64_t TFileWriteStream::Read(void*, int64_t) {
    return -1;
}

int64_t TFileWriteStream::Write(const void* buffer, int64_t count) {
    if (FHandle == -1 || count < 0 || count > 0x7FFFFFFF) return -1;
    const unsigned int n = WriteFileHandle(FHandle, buffer, static_cast<unsigned int>(count));
    if (n != static_cast<unsigned int>(count)) {
        FLastError = LastSystemErrorText();
        return -1;
    }
    FSize += count;
    return count;
}

int64_t TFileWriteStream::Seek(int64_t offset, TSeekOrigin origin) {
    if (FHandle == -1) return -1;
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
                       : origin == TSeekOrigin::Current ? SEEK_CUR
                                                        : SEEK_END;
    return SeekFileHandle(FHandle, static_cast<long>(offset), whence);
}

int64_t TFileWriteStream::Size() const {
    return FSize;
}

bool TFileWriteStream::Close() {
    if (FHandle == -1) return FLastError.empty();
    const bool closed = CloseFileHandle(FHandle) == 0;
    if (!closed) FLastError = LastSystemErrorText();
    FHandle = -1;
    return closed;
}
