#include "serve/month_cache.h"

namespace veldra::serve {

std::shared_ptr<const MonthField> MonthCache::get(const std::string& key,
                                                  const std::function<std::shared_ptr<const MonthField>()>& load) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = where_.find(key); it != where_.end()) {
            order_.splice(order_.begin(), order_, it->second);
            return it->second->second;
        }
    }
    std::shared_ptr<const MonthField> field = load();
    std::lock_guard lock(mutex_);
    ++loads_;
    if (auto it = where_.find(key); it != where_.end()) return it->second->second;  // loaded meanwhile
    if (field->bytes() > max_bytes_) return field;
    order_.emplace_front(key, field);
    where_[key] = order_.begin();
    bytes_ += field->bytes();
    while (bytes_ > max_bytes_ && !order_.empty()) {
        bytes_ -= order_.back().second->bytes();
        where_.erase(order_.back().first);
        order_.pop_back();
    }
    return field;
}

std::size_t MonthCache::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}
std::size_t MonthCache::entries() const {
    std::lock_guard lock(mutex_);
    return order_.size();
}
std::size_t MonthCache::loads() const {
    std::lock_guard lock(mutex_);
    return loads_;
}

}  // namespace veldra::serve
