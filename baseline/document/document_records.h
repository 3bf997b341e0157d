// The records a build run collects and the document lists: counters, the
// publisher table with its entries and the allowed directories. Discovery
// fills them; the writer only reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/keyed_hash.h"

namespace baseline {

struct DiscoveryCounters {
    std::string starttime;
    std::string endtime;
    std::uint32_t dircnt = 0;
    std::uint32_t filecnt = 0;
    std::int32_t allowedfilecnt = 0;
    std::uint32_t alloweddircnt = 0;
    std::uint32_t allowedpubcnt = 0;
    std::uint32_t supportedfilecnt = 0;
    bool status = false;
};

struct PublisherEntry {
    // (serial number, issuer) of each distinct signer certificate, in the order seen.
    std::vector<std::pair<std::u16string, std::u16string>> certificates;
    std::int32_t allowState = 0;
    std::int32_t type = 0;
    bool seen = false;
    bool isMutable = false;
};

struct AllowedDirectoryEntry {
    std::int32_t type = 1;
    std::int32_t allowState = 1;
    bool isDefault = true;
    bool isMutable = false;
    bool strictPublisher = true;
    std::u16string dirPath;
};

// Publisher name (exact, letter case included) to entry. Entries come back in
// the order they were first inserted, so the document lists publishers in the
// order the run met them; replacing an entry keeps its place.
class PublisherTable {
public:
    using Item = std::pair<std::u16string, PublisherEntry>;

    PublisherEntry* find(const std::u16string& name);
    const PublisherEntry* find(const std::u16string& name) const;
    // The entry under `name`, inserted empty at the end when missing.
    PublisherEntry& operator[](const std::u16string& name);
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    std::vector<Item>::const_iterator begin() const { return items_.begin(); }
    std::vector<Item>::const_iterator end() const { return items_.end(); }

private:
    std::vector<Item> items_;
    // Keyed: a signer name is whatever a planted file's certificate says.
    std::unordered_map<std::u16string, std::size_t, KeyedHash> index_;
};

}  // namespace baseline
