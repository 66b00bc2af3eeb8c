#pragma once
// The parameters of one tracking event: a hash map of 17 buckets (hash
// h = h * 33 + c over the name's UTF-16 units), emitted bucket by bucket and,
// within a bucket, newest first. The order is part of the URLs the tracking
// endpoint receives.
#include <string>
#include <utility>
#include <vector>

class TrackingParameters {
public:
    static const unsigned kBucketCount = 17;
    static unsigned BucketOf(const std::wstring& name);

    // Inserts or replaces the value of name.
    void Set(const std::wstring& name, const std::wstring& value);
    // (name, value) pairs in emission order.
    std::vector<std::pair<std::wstring, std::wstring>> InOrder() const;

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_buckets[kBucketCount];
};
