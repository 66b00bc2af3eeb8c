#pragma once
// The test binary's replacement of the global allocation functions: while a
// FailingAllocations scope is alive, allocations fail as it says, so that
// out-of-memory paths can be driven on purpose. Single test thread only.
#include <cstddef>

class FailingAllocations {
public:
    // Every allocation of at least minBytes fails; with afterCount, only
    // those after the first afterCount allocations of any size.
    explicit FailingAllocations(size_t minBytes, size_t afterCount = 0);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
    // How many allocations were refused so far.
    static size_t Refused();
};
