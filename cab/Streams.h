#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class TSeekOrigin { Beginning, Current, End };

// Byte stream with a position, the shape the cabinet reader and the descriptor parsers share.
class TStream {
  public:
    virtual ~TStream() = default;
    // Read and Write move at most count bytes and answer how many moved; -1 on failure.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Answers the new position, or -1 when the position would be invalid.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    [[nodiscard]] virtual int64_t Size() const = 0;
    [[nodiscard]] int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::Beginning); }
};

class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    [[nodiscard]] int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
    [[nodiscard]] const uint8_t* Memory() const { return FData.data(); }
    [[nodiscard]] const std::vector<uint8_t>& Data() const { return FData; }
    // The bytes themselves, leaving the stream empty.
    [[nodiscard]] std::vector<uint8_t> TakeData() {
        std::vector<uint8_t> data;
        data.swap(FData);
        FPosition = 0;
        return data;
    }
    void Clear();

  private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

// Read-only file stream; the file stays open for others (shared read and write).
class TFileStream : public TStream {
  public:
    // Throws EStreamError when the file cannot be opened.
    explicit TFileStream(const std::string& fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    [[nodiscard]] int64_t Size() const override;

  private:
    std::FILE* FFile = nullptr;
};

// Write-only stream into a new file (created or truncated). The file closes with the stream, and
// a failure of that close is not said: call Close to learn it.
class TFileWriteStream : public TStream {
  public:
    // Throws EStreamError when the file cannot be created.
    explicit TFileWriteStream(const std::string& fileName);
    ~TFileWriteStream() override;
    TFileWriteStream(const TFileWriteStream&) = delete;
    TFileWriteStream& operator=(const TFileWriteStream&) = delete;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    [[nodiscard]] int64_t Size() const override;
    // Closes the file now; false with LastError set when the system says so.
    [[nodiscard]] bool Close();
    [[nodiscard]] std::intptr_t Handle() const { return FHandle; }
    [[nodiscard]] const std::string& LastError() const { return FLastError; }

  private:
    std::intptr_t FHandle = -1;
    int64_t FSize = 0;
    std::string FLastError;
};

// Reads the whole of a stream from its start; the position ends at the end.
[[nodiscard]] std::vector<uint8_t> ReadWholeStream(TStream& stream);
