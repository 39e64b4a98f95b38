// The memory service on the process heap.
#include <windows.h>

#include "app/Memory.h"

#include "app/System.h"
#include "app/FatalErrorText.h"

#include <cstring>

namespace picbox {

namespace {

HANDLE g_heap = nullptr;

} // namespace

void UseProcessHeap()
{
    g_heap = GetProcessHeap();
}

void* AllocateBlock(std::int32_t bytes)
{
    if (!g_heap)
        UseProcessHeap();
    // A negative count is a request no 32-bit heap can meet; refuse it on every build alike.
    void* block = bytes < 0 ? nullptr : HeapAlloc(g_heap, 0, static_cast<SIZE_T>(bytes));
#ifdef PICBOX_REFUSE_BLOCK_SIZE
    // Test build: the heap "refuses" requests of this one size, to show the fatal report.
    if (bytes == PICBOX_REFUSE_BLOCK_SIZE) {
        HeapFree(g_heap, 0, block);
        block = nullptr;
    }
#endif
    if (!block) {
        const AllocationFailedMessage message(bytes);
        ReportFatalError(message.View(), 0, FatalWindow::None);
    }
    return block;
}

void FreeBlock(void* block)
{
    if (block)
        HeapFree(g_heap ? g_heap : GetProcessHeap(), 0, block);
}

ByteSet CopyToByteSet(const std::uint8_t* data, std::int32_t length)
{
    ByteSet set;
    if (length <= 0 || !data)
        return set;
    set.bytes.reset(static_cast<std::uint8_t*>(AllocateBlock(length)));
    std::memcpy(set.bytes.get(), data, static_cast<std::size_t>(length));
    set.length = length;
    return set;
}

} // namespace picbox
