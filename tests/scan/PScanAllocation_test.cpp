#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "scan/PScan.h"

// The scanner runs for every line of a log file: once the caller's variables
// have their capacity, splitting a line must not touch the heap.

namespace {

bool counting = false;
std::size_t allocations = 0;

}  // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace vireo {
namespace {

class AllocationCount {
public:
    AllocationCount() {
        allocations = 0;
        counting = true;
    }
    ~AllocationCount() { counting = false; }
    std::size_t Count() const { return allocations; }
};

TEST(ScanAllocation, HotPatternsAllocateNothing) {
    const std::string line = "TEMP,06/15/2005,12:30:00,21.5,G";
    const std::string walkLine = "1.5,2.5,3.5,4.5,5.5,6.5,7.5,8.5,9.5,10.5,11.5,12.5,13.5,14.5,15.5,16.5,17.5,18.5";
    const std::string blankLine = "12.5   3.7   1234.125";
    std::string f[5];
    for (std::string& s : f) s.reserve(64);
    std::int32_t stamp = 0;
    // The first use builds the sub-patterns.
    Scan("06/15/2005 12:30:00", "%j", {&stamp});

    const AllocationCount count;
    for (int repeat = 0; repeat < 3; ++repeat) {
        Scan(line, "%P%P%P%P%P", {&f[0], &f[1], &f[2], &f[3], &f[4]});
        for (std::size_t position = 1; position <= walkLine.size();) ScanFrom(walkLine, position, "%P", {&f[0]});
        for (std::size_t position = 1; position <= blankLine.size();) {
            ScanFrom(blankLine, position, "%s %_", {&f[1]});
        }
        Scan("06/15/2005 12:30:00", "%j", {&stamp});
    }
    EXPECT_EQ(count.Count(), 0u);
    EXPECT_EQ(f[4], "G");
    EXPECT_EQ(f[1], "1234.125");
}

TEST(ScanAllocation, AFieldLongerThanTheCapacityIsCopiedOnce) {
    const std::string line(100, 'x');
    std::string field;
    const AllocationCount count;
    Scan(line, "%P", {&field});
    EXPECT_EQ(count.Count(), 1u);
    EXPECT_EQ(field, line);
}

}  // namespace
}  // namespace vireo
