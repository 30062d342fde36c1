// The shared heap: blocks from the process heap, zero-filled, and a refused allocation.
#include "KestCommon.h"

#include "ImportPatch.h"
#include "Installation.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kest::test {
namespace {

using ::testing::ElementsAre;

class MemoryTest : public InstallationTest {};

TEST_F(MemoryTest, BlocksAreZeroFilledAndBelongToTheProcessHeap) {
    // Dirty the heap first so that a zero-filled block is not zero by chance.
    for (int i = 0; i < 8; ++i) {
        void* dirty = HeapAlloc(GetProcessHeap(), 0, 4096);
        ASSERT_NE(dirty, nullptr);
        std::memset(dirty, 0xA5, 4096);
        HeapFree(GetProcessHeap(), 0, dirty);
    }
    void* block = nullptr;
    ASSERT_EQ(allocMemory(4096, &block), KEST_OK);
    ASSERT_NE(block, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(block);
    EXPECT_EQ(std::count(bytes, bytes + 4096, 0), 4096);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, block));
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, block), 4096u);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));
    EXPECT_THAT(logMessages(), ElementsAre("allocMemory() start", "allocMemory() end"));
}

// KestCommon's frees, passed through: heap, block and whether the heap took it back.
struct HeapFreeCall {
    HANDLE heap;
    LPVOID block;
    BOOL freed;
};
std::vector<HeapFreeCall> gHeapFrees;
decltype(&HeapFree) gRealHeapFree = nullptr;
BOOL WINAPI recordingHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    const BOOL freed = gRealHeapFree(heap, flags, block);
    gHeapFrees.push_back(HeapFreeCall{heap, block, freed});
    return freed;
}

TEST_F(MemoryTest, ABlockFromTheProcessHeapIsFreedByFreeMemory) {
    void* block = HeapAlloc(GetProcessHeap(), 0, 32);
    ASSERT_NE(block, nullptr);
    gHeapFrees.clear();
    {
        const ImportPatch frees("KestCommon.dll", "KERNEL32.dll", "HeapFree",
                                reinterpret_cast<const void*>(&recordingHeapFree));
        gRealHeapFree = frees.original<decltype(&HeapFree)>();
        freeMemory(block);
    }
    ASSERT_EQ(gHeapFrees.size(), 1u);
    EXPECT_EQ(gHeapFrees[0].heap, GetProcessHeap());
    EXPECT_EQ(gHeapFrees[0].block, block);
    EXPECT_TRUE(gHeapFrees[0].freed);
    EXPECT_THAT(logMessages(), ElementsAre("freeMemory() start", "freeMemory() end"));
}

TEST_F(MemoryTest, SizeZeroGivesAZeroLengthBlock) {
    void* block = nullptr;
    ASSERT_EQ(allocMemory(0, &block), KEST_OK);
    EXPECT_NE(block, nullptr);
    freeMemory(block);
}

TEST_F(MemoryTest, FreeMemoryOfNullOnlyTraces) {
    freeMemory(nullptr);
    const std::vector<LogRecord> records = logRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].sourceFile, "KestCommonUtil.cpp");
    EXPECT_EQ(records[0].message, "freeMemory() start");
    EXPECT_EQ(records[1].message, "freeMemory() end");
}

LPVOID WINAPI refuseHeapAlloc(HANDLE, DWORD, SIZE_T) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST_F(MemoryTest, ARefusedAllocationGivesNoMemoryAndLeavesTheOutParameter) {
    ImportPatch refuse("KestCommon.dll", "KERNEL32.dll", "HeapAlloc", reinterpret_cast<const void*>(&refuseHeapAlloc));
    void* const untouched = reinterpret_cast<void*>(0x1234);
    void* block = untouched;
    EXPECT_EQ(allocMemory(100, &block), KEST_E_NO_MEMORY);
    EXPECT_EQ(block, untouched);
    EXPECT_THAT(
        logMessages(),
        ElementsAre("allocMemory() start",
                    "allocMemory() = 0x25000000 : メモリーの確保に失敗しました。 : HeapAlloc() failed (0x00000000)",
                    "allocMemory() end"));
}

}  // namespace
}  // namespace kest::test
