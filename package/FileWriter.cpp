#include "package/FileWriter.h"

#include <exception>

namespace {
// The inflater's 32 KiB pieces are gathered into blocks of this size before the thread is
// woken: woken for each piece, the thread's wakes took about 7% of an opening.
constexpr size_t kBlock = 1u << 20;
// Enough to keep the thread busy; little beside a cabinet.
constexpr size_t kMaxQueued = 4 * kBlock;
} // namespace

TFileWriter::~TFileWriter() {
    {
        std::unique_lock lock(FLock);
        FEnding = true;
    }
    FChanged.notify_all();
    if (FThread.joinable()) FThread.join();
}

bool TFileWriter::Write(TSafeFile& file, const void* data, size_t count) {
    if (FPending.File != &file && !Submit()) return false;
    if (FPending.Bytes.capacity() < kBlock) FPending.Bytes.reserve(kBlock);
    FPending.File = &file;
    const auto* bytes = static_cast<const uint8_t*>(data);
    FPending.Bytes.insert(FPending.Bytes.end(), bytes, bytes + count);
    return FPending.Bytes.size() < kBlock ? Error().empty() : Submit();
}

bool TFileWriter::Submit() {
    TBlock block = std::move(FPending);
    FPending = {};
    const size_t count = block.Bytes.size();
    std::unique_lock lock(FLock);
    if (count == 0) return FError.empty();
    FChanged.wait(lock, [&] { return FQueued < kMaxQueued || !FError.empty(); });
    if (!FError.empty()) return false;
    // Started before anything is queued: a thread the system refuses leaves no block that a
    // later Flush would wait for.
    if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
    FQueued += count;
    FQueue.push_back(std::move(block));
    lock.unlock();
    FChanged.notify_all();
    return true;
}

bool TFileWriter::Flush() {
    if (!Submit()) return false;
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [&] { return (FQueue.empty() && !FWriting) || !FError.empty(); });
    return FError.empty();
}

std::string TFileWriter::Error() const {
    std::lock_guard lock(FLock);
    return FError;
}

void TFileWriter::Run() {
    std::unique_lock lock(FLock);
    for (;;) {
        FChanged.wait(lock, [&] { return !FQueue.empty() || FEnding; });
        if (FQueue.empty()) return; // ending, and nothing left to write
        TBlock block = std::move(FQueue.front());
        FQueue.pop_front();
        FWriting = true;
        // After a failure the rest is dropped: the files are discarded by their owners.
        const bool failed = !FError.empty();
        lock.unlock();
        std::string error;
        // Nothing may leave the thread: an exception there would end the program.
        try {
            if (!failed && !block.File->Write(block.Bytes.data(), block.Bytes.size()))
                error = block.File->Error().empty() ? "a file could not be written"
                                                    : block.File->Error();
        } catch (const std::exception& e) {
            error = e.what();
        }
        lock.lock();
        if (!error.empty() && FError.empty()) FError = error;
        FQueued -= block.Bytes.size();
        FWriting = false;
        FChanged.notify_all();
    }
}
