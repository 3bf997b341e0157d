// The insertion-ordered publisher table: a vector of entries with a hash index
// by exact name.
#include "document/document_records.h"

namespace baseline {

PublisherEntry* PublisherTable::find(const std::u16string& name) {
    const auto found = index_.find(name);
    return found == index_.end() ? nullptr : &items_[found->second].second;
}

const PublisherEntry* PublisherTable::find(const std::u16string& name) const {
    const auto found = index_.find(name);
    return found == index_.end() ? nullptr : &items_[found->second].second;
}

PublisherEntry& PublisherTable::operator[](const std::u16string& name) {
    if (PublisherEntry* existing = find(name)) return *existing;
    items_.emplace_back(name, PublisherEntry{});
    try {
        index_.emplace(name, items_.size() - 1);
    } catch (...) {
        items_.pop_back();  // an entry the index cannot find must not stay behind
        throw;
    }
    return items_.back().second;
}

}  // namespace baseline
