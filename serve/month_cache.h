// A bounded cache of month fields: the values of a variable's layer in a
// month, with their stretch, kept while they are among the most recently
// used within a size in bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "viewer/core/colour_ramps.h"

namespace veldra::serve {

struct MonthField {
    std::vector<float> values;
    viewer::StretchStats stretch;  // of the valid values, as the viewer stretches a month
    std::size_t bytes() const { return values.size() * sizeof(float) + sizeof(MonthField); }
};

class MonthCache {
public:
    explicit MonthCache(std::size_t max_bytes) : max_bytes_(max_bytes) {}

    // The field of `key`, from the cache or from `load` (called without the
    // lock held; a field larger than the whole cache is given but not kept).
    std::shared_ptr<const MonthField> get(const std::string& key,
                                          const std::function<std::shared_ptr<const MonthField>()>& load);

    std::size_t bytes() const;
    std::size_t entries() const;
    std::size_t loads() const;

private:
    using Entry = std::pair<std::string, std::shared_ptr<const MonthField>>;
    mutable std::mutex mutex_;
    std::size_t max_bytes_;
    std::size_t bytes_ = 0;
    std::size_t loads_ = 0;
    std::list<Entry> order_;  // most recent first
    std::unordered_map<std::string, std::list<Entry>::iterator> where_;
};

}  // namespace veldra::serve
