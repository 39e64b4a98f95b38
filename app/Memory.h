// The memory service: blocks from the process heap, whose refusal ends the program.
#pragma once

#include <cstdint>
#include <memory>

namespace picbox {

// Takes the process's default heap for all later blocks.
void UseProcessHeap();

// A new block of `bytes` bytes, not zeroed. Never absent: a refusal is reported as a fatal
// error, which ends the process.
void* AllocateBlock(std::int32_t bytes);

// Gives a block back; an absent block is ignored.
void FreeBlock(void* block);

struct BlockDeleter {
    void operator()(void* block) const { FreeBlock(block); }
};

// Owner of one block.
template <typename T>
using Block = std::unique_ptr<T, BlockDeleter>;

// A counted byte set in a block; an empty byte set holds no block.
struct ByteSet {
    Block<std::uint8_t[]> bytes;
    std::int32_t length = 0;

    bool Empty() const { return length == 0 || !bytes; }
};

// A new byte set holding a copy of `length` bytes; absent (empty) for length 0.
ByteSet CopyToByteSet(const std::uint8_t* data, std::int32_t length);

} // namespace picbox
