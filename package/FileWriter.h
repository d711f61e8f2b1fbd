#pragma once
// Writes blocks to files on a thread of its own. A cabinet of cabinets is inflated on the
// caller's thread while the system copies what was inflated before into its files: the two
// overlap instead of taking turns.
#include "cab/FileSystem.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TFileWriter {
  public:
    TFileWriter() = default;
    // Waits for the writes queued, then lets the thread go; a block still being gathered, of a
    // file never flushed, is dropped with that file.
    ~TFileWriter();
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    // Queues a copy of the bytes for file, which must stay alive until Flush has answered;
    // waits while more than a few MiB are queued. False, with nothing queued, once any write
    // has failed: Error() says which.
    [[nodiscard]] bool Write(TSafeFile& file, const void* data, size_t count);
    // Waits until everything queued is written. False when a write failed.
    [[nodiscard]] bool Flush();
    [[nodiscard]] std::string Error() const;

  private:
    struct TBlock {
        TSafeFile* File = nullptr;
        std::vector<uint8_t> Bytes;
    };
    // Queues the block being gathered; false once a write has failed.
    bool Submit();
    void Run();
    TBlock FPending; // gathered on the caller's thread, not shared
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TBlock> FQueue;
    size_t FQueued = 0; // bytes in FQueue and in the write under way
    bool FWriting = false;
    bool FEnding = false;
    std::string FError;  // the first failure; nothing is written after it
    std::thread FThread; // started with the first write
};
