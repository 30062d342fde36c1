// Linked into every test executable: after every test, every heap of the process is validated. Under Wine's heap
// checking (cmake/wine-run.sh with KEST_HEAP_CHECK=1) that includes the tail of every block in use, and an overrun
// prints an err:heap line, which fails the run; without it the heaps' structure is still checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace kest::test {
namespace {

bool allHeapsValid() {
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    bool valid = true;
    for (DWORD index = 0; index < count && index < heaps.size(); ++index)
        valid = HeapValidate(heaps[index], 0, nullptr) != FALSE && valid;
    return valid;
}

class HeapValidation : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        EXPECT_TRUE(allHeapsValid()) << "a heap of the process is damaged";
    }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new HeapValidation);
    return true;
}();

}  // namespace
}  // namespace kest::test
