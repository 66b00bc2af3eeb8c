#include "services/TrackingParameters.h"

unsigned TrackingParameters::BucketOf(const std::wstring& name) {
    unsigned hash = 0;
    for (wchar_t c : name) hash = hash * 33 + static_cast<unsigned>(c);
    return hash % kBucketCount;
}

void TrackingParameters::Set(const std::wstring& name, const std::wstring& value) {
    auto& bucket = m_buckets[BucketOf(name)];
    for (auto& entry : bucket) {
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    }
    bucket.insert(bucket.begin(), {name, value});
}

std::vector<std::pair<std::wstring, std::wstring>> TrackingParameters::InOrder() const {
    std::vector<std::pair<std::wstring, std::wstring>> ordered;
    for (const auto& bucket : m_buckets) ordered.insert(ordered.end(), bucket.begin(), bucket.end());
    return ordered;
}
