// Reading an allowlist document: UTF-8, then JSON, then every section, key and
// type the creator writes, the identities and parent links of the entries, and
// the counters that must match the entries. A document that stops early (a
// failed run leaves the files array open, an interrupted one stops anywhere)
// is read as far as it goes, and the findings say why it stopped.
#include "document.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "json_scan.h"
#include "platform/keyed_hash.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

namespace baseline::doc {

std::string lowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

Text TextStore::keep(std::string_view text) {
    if (text.empty()) return {};
    if (capacity_ - used_ < text.size()) {
        // Blocks grow with the store, and are left uninitialised: every byte
        // handed out is written first.
        const std::size_t grown = blocks_.size() >= 8 ? std::size_t{1} << 20 : std::size_t{4096} << blocks_.size();
        const std::size_t size = std::max(text.size(), grown);
        blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
        used_ = 0;
        capacity_ = size;
    }
    char* at = blocks_.back().get() + used_;
    std::copy(text.begin(), text.end(), at);
    used_ += text.size();
    return Text(at, text.size());
}

namespace {

enum class Type : std::uint8_t { Integer, String, Boolean, Array, Object };

const char* typeName(Type type) {
    switch (type) {
        case Type::Integer: return "an integer";
        case Type::String: return "a string";
        case Type::Boolean: return "true or false";
        case Type::Array: return "an array";
        case Type::Object: return "an object";
    }
    return "";
}

const char* kindName(JsonKind kind) {
    switch (kind) {
        case JsonKind::Null: return "null";
        case JsonKind::Boolean: return "a boolean";
        case JsonKind::Number: return "a number";
        case JsonKind::String: return "a string";
        case JsonKind::Array: return "an array";
        case JsonKind::Object: return "an object";
    }
    return "";
}

struct Key {
    std::string_view name;
    Type type;
    bool required;
};

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();

// The keys of each block, in the order the creator writes them.
constexpr std::array<Key, 2> kRootKeys = {{{"inventoryinfo", Type::Object, true}, {"inventory", Type::Object, true}}};
constexpr std::array<Key, 5> kInventoryKeys = {{{"files", Type::Array, true},
                                                {"publishers", Type::Array, true},
                                                {"directories", Type::Array, true},
                                                {"misc", Type::Object, true},
                                                {"discoverysummary", Type::Object, true}}};
enum HeaderKey { hBuildnumber, hCdate, hDesc, hHostname, hOs, hOsdrive, hOsdrivevar, hOsid, hOsname, hOsver, hPlatform, hSuite, hTitle };
constexpr std::array<Key, 13> kHeaderKeys = {{{"buildnumber", Type::Integer, true},
                                              {"cdate", Type::Integer, true},
                                              {"desc", Type::String, true},
                                              {"hostname", Type::String, true},
                                              {"os", Type::String, true},
                                              {"osdrive", Type::String, true},
                                              {"osdrivevar", Type::String, true},
                                              {"osid", Type::Integer, true},
                                              {"osname", Type::String, true},
                                              {"osver", Type::String, true},
                                              {"platform", Type::String, true},
                                              {"suite", Type::Integer, true},
                                              {"title", Type::String, true}}};
enum FileKey {
    fAllowstate, fAttr, fCname, fDefault, fFname, fFpath, fFtype, fFver, fId, fIfname, fIssuer, fMtime, fMutable,
    fOfname, fOsdrive, fPid, fProdname, fProdver, fPubname, fSerialno
};
constexpr std::array<Key, 20> kFileKeys = {{{"allowstate", Type::Integer, true},
                                            {"attr", Type::Integer, true},
                                            {"cname", Type::String, false},
                                            {"default", Type::Boolean, true},
                                            {"fname", Type::String, true},
                                            {"fpath", Type::String, true},
                                            {"ftype", Type::String, true},
                                            {"fver", Type::String, false},
                                            {"id", Type::Integer, true},
                                            {"ifname", Type::String, false},
                                            {"issuer", Type::String, false},
                                            {"mtime", Type::Integer, true},
                                            {"mutable", Type::Boolean, true},
                                            {"ofname", Type::String, false},
                                            {"osdrive", Type::Integer, true},
                                            {"pid", Type::Integer, true},
                                            {"prodname", Type::String, false},
                                            {"prodver", Type::String, false},
                                            {"pubname", Type::String, false},
                                            {"serialno", Type::String, false}}};
constexpr std::array<FileKey, 3> kSignerKeys = {fSerialno, fIssuer, fPubname};
constexpr std::array<FileKey, 6> kVersionKeys = {fCname, fFver, fIfname, fOfname, fProdname, fProdver};
enum PublisherKey { pAllowstate, pCertinfo, pMutable, pPubname, pType };
constexpr std::array<Key, 5> kPublisherKeys = {{{"allowstate", Type::Integer, true},
                                                {"certinfo", Type::Array, false},
                                                {"mutable", Type::Boolean, true},
                                                {"pubname", Type::String, true},
                                                {"type", Type::Integer, true}}};
constexpr std::array<Key, 2> kCertificateKeys = {{{"issuer", Type::String, true}, {"serialno", Type::String, true}}};
enum DirectoryKey { dAllowstate, dDefault, dDirpath, dMutable, dStrictpub, dType };
constexpr std::array<Key, 6> kDirectoryKeys = {{{"allowstate", Type::Integer, true},
                                                {"default", Type::Boolean, true},
                                                {"dirpath", Type::String, true},
                                                {"mutable", Type::Boolean, true},
                                                {"strictpub", Type::Boolean, true},
                                                {"type", Type::Integer, true}}};
constexpr std::array<Key, 1> kMiscKeys = {{{"globalstrictpub", Type::Boolean, true}}};
enum SummaryKey { sAlloweddircnt, sAllowedfilecnt, sAllowedpubcnt, sDircnt, sEndtime, sFilecnt, sStarttime, sStatus, sSupportedfilecnt };
constexpr std::array<Key, 9> kSummaryKeys = {{{"alloweddircnt", Type::Integer, true},
                                              {"allowedfilecnt", Type::Integer, true},
                                              {"allowedpubcnt", Type::Integer, true},
                                              {"dircnt", Type::Integer, true},
                                              {"endtime", Type::String, true},
                                              {"filecnt", Type::Integer, true},
                                              {"starttime", Type::String, true},
                                              {"status", Type::String, true},
                                              {"supportedfilecnt", Type::Integer, true}}};

// The bounds of a time in seconds since 1970 that the creator can write: it
// comes from a FILETIME, 0 to 0x7FFFFFFFFFFFFFFF ticks of 100 ns since 1601.
// Every such value, times 1000, is also a valid JavaScript Date (at most
// 8.64e15 ms either side of 1970), so the report can draw every one.
constexpr std::int64_t kFiletimeSecondsMin = -11644473600;
constexpr std::int64_t kFiletimeSecondsMax = std::numeric_limits<std::int64_t>::max() / 10000000 - 11644473600;

// The kinds of finding. A kind is also told apart by where it sits
// (section and key), so that 150 bad "mtime" values do not hide one bad "id";
// each kind at each place is listed up to kListedPerKind times.
enum class Kind : std::uint8_t {
    NotUtf8, NotJson, CutOff, RunFailed, NotObject, UnknownKey, RepeatedKey, WrongType, MissingKey, OutOfRange,
    BadValue, DirectoryIdentity, PartialSigner, PartialVersion, RepeatedId, NoParent, RepeatedPublisher,
    EmptyCertinfo, EmptyDirpath, RepeatedDirpath, CounterMismatch, NulEscape, LoneSurrogate, BadName,
    ControlInName, WrongFpath, RootSplit, RepeatedPath, OsdriveNotInherited, RepeatedCertificate,
};
constexpr std::array<const char*, 30> kKindNames = {
    "text that is not UTF-8", "a syntax error", "a cut", "a failed run", "an element that is no object",
    "an unknown key", "a repeated key", "a value of the wrong type", "a missing key", "a number out of range",
    "a value the creator does not write", "a directory with signer or version keys", "a partial signer",
    "partial version strings", "a repeated id", "a parent that is no earlier directory", "a repeated publisher",
    "an empty certinfo", "an empty dirpath", "a repeated allowed directory", "a counter that does not match",
    "an escaped NUL", "a lone surrogate escape", "a name no directory listing gives", "a control character in a name",
    "an fpath that is not its parent's path", "a root path split otherwise", "a path listed twice",
    "a system-drive flag unlike its parent's", "a certificate listed twice",
};
constexpr std::size_t kListedPerKind = 100;

// Document text inside a finding: hidden characters made visible, and long
// values cut, so that a finding is one short line whatever the document holds.
std::string shown(std::string_view text) {
    constexpr std::size_t kLongest = 160;
    if (text.size() <= kLongest) return "\"" + visibleUtf8(std::string(text)) + "\"";
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    return "\"" + visibleUtf8(std::string(text.substr(0, cut))) + "\"... (" + std::to_string(text.size()) + " bytes)";
}

// Where a value sits, as "inventory.files[3].mtime"; made into text only
// when there is something to report.
struct Place {
    Place() = default;
    explicit Place(const char* name, std::int64_t position = -1) : section(name), index(position) {}

    const char* section = "";
    std::int64_t index = -1;
    std::string_view key;  // always one of the key tables' names
    std::int64_t subIndex = -1;
    const char* subSection = "";

    Place at(std::string_view member) const {
        Place place = *this;
        place.key = member;
        return place;
    }
    std::string text(bool pattern = false) const {
        auto indexText = [&](std::int64_t i) { return pattern ? std::string("[*]") : "[" + std::to_string(i) + "]"; };
        std::string out = section;
        if (index >= 0) out += indexText(index);
        if (*subSection != 0) out += std::string(".") + subSection;
        if (subIndex >= 0) out += indexText(subIndex);
        if (!key.empty()) out += (out.empty() ? "" : ".") + std::string(key);
        return out;
    }
};

// A finding before its line is known: lines are counted once, at the end, in
// one pass over the text, so that no table of line starts is ever built.
struct Found {
    std::size_t offset = 0;
    std::size_t lastOffset = 0;  // for a line that stands for many: the last of them
    bool many = false;
    bool withColumn = false;
    std::string place;
    std::string what;
};

// One kind of finding at one place, counted.
struct KindAt {
    Kind kind;
    const char* section;
    const char* subSection;
    std::string_view key;
    bool operator<(const KindAt& other) const {
        return std::tie(kind, section, subSection, key) < std::tie(other.kind, other.section, other.subSection, other.key);
    }
};
struct Tally {
    std::size_t listed = 0, more = 0, firstMore = 0, lastMore = 0;
    Place place;
};

// ASCII letters lowered, byte by byte.
char lowered(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The creator splits a path at its last backslash, unless that is the last
// character; a drive root (C: or C:\) has no directory part.
bool creatorSplit(std::string_view path, std::string_view& directory, std::string_view& name) {
    if (path.empty()) return false;
    const std::size_t backslash = path.rfind('\\');
    if (backslash != std::string_view::npos && backslash + 1 < path.size()) {
        directory = path.substr(0, backslash + 1);
        name = path.substr(backslash + 1);
        return true;
    }
    if (path.rfind(':') == 1) {
        directory = {};
        name = path;
        return true;
    }
    return false;
}

// The first control character (C0, DEL or C1) of UTF-8 text, or -1.
int firstControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return c;
        // U+0080 to U+009F are C2 80 to C2 9F.
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
            static_cast<unsigned char>(text[i + 1]) >= 0x80) {
            return static_cast<unsigned char>(text[i + 1]);
        }
    }
    return -1;
}

std::string unitText(unsigned unit) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(unit >> shift) & 15];
    return out;
}

// What the escapes of raw JSON string bytes hold that the creator cannot
// write: a NUL (its strings end at one) or a surrogate without its partner
// (text conversion turns one into U+FFFD). Empty when there is neither.
std::string impossibleEscape(std::string_view raw, Kind& kind) {
    auto unitAt = [&](std::size_t at, unsigned& unit) {
        if (at + 6 > raw.size() || raw[at] != '\\' || raw[at + 1] != 'u') return false;
        unit = 0;
        for (std::size_t k = 2; k < 6; ++k) {
            const char c = raw[at + k];
            const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (v < 0) return false;
            unit = unit * 16 + static_cast<unsigned>(v);
        }
        return true;
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') continue;
        unsigned unit = 0;
        if (!unitAt(i, unit)) {
            ++i;  // a two-character escape
            continue;
        }
        if (unit == 0) {
            kind = Kind::NulEscape;
            return "holds \\u0000 (NUL), which the creator cannot write";
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            unsigned next = 0;
            if (unitAt(i + 6, next) && next >= 0xDC00 && next <= 0xDFFF) {
                i += 11;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            kind = Kind::LoneSurrogate;
            return "holds the lone surrogate " + unitText(unit) + ", which the creator cannot write";
        }
        i += 5;
    }
    return {};
}

class Reader {
public:
    Reader(Document& document, const JsonTree& tree) : document_(document), tree_(tree) {}

    // `kindKey`, when given, tells this kind apart by a key that the place
    // itself does not name.
    void report(Kind kind, std::size_t offset, const Place& place, std::string what, std::string_view kindKey = {}) {
        if (!take(kind, offset, place, kindKey)) return;
        found_.push_back({offset, offset, false, false, place.text(), std::move(what)});
    }

    void reportAt(Kind kind, std::size_t offset, std::string what) {
        if (!take(kind, offset, Place{})) return;
        found_.push_back({offset, offset, false, true, {}, std::move(what)});
    }

    // Counts a finding; true when it is still to be listed.
    bool take(Kind kind, std::size_t offset, const Place& place, std::string_view kindKey = {}) {
        ++document_.findingCount;
        Tally& tally = tallies_[KindAt{kind, place.section, place.subSection, kindKey.empty() ? place.key : kindKey}];
        if (tally.listed < kListedPerKind) {
            ++tally.listed;
            return true;
        }
        if (tally.more++ == 0) {
            tally.firstMore = offset;
            tally.place = kindKey.empty() ? place : place.at(kindKey);
        }
        tally.firstMore = std::min(tally.firstMore, offset);
        tally.lastMore = std::max(tally.lastMore, offset);
        return false;
    }

    // The findings into the document, in the order of the text, with their
    // lines and columns.
    void finish() {
        for (const auto& [kindAt, tally] : tallies_) {
            if (tally.more == 0) continue;
            found_.push_back({tally.firstMore, tally.lastMore, true, false, tally.place.text(true),
                              std::to_string(tally.more) + " more findings of this kind not listed (" +
                                  kKindNames[static_cast<std::size_t>(kindAt.kind)] + ")"});
        }
        std::stable_sort(found_.begin(), found_.end(), [](const Found& a, const Found& b) { return a.offset < b.offset; });
        std::vector<std::size_t> offsets;
        offsets.reserve(found_.size() * 2);
        for (const Found& f : found_) {
            offsets.push_back(f.offset);
            if (f.many) offsets.push_back(f.lastOffset);
        }
        std::sort(offsets.begin(), offsets.end());
        offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
        std::vector<TextPosition> positions(offsets.size());
        const std::string_view text = document_.bytes;
        std::size_t at = 0, line = 1, lineStart = 0;
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            const std::size_t until = std::min(offsets[i], text.size());
            if (at < until) {
                const auto feeds = std::count(text.begin() + static_cast<std::ptrdiff_t>(at), text.begin() + static_cast<std::ptrdiff_t>(until), '\n');
                if (feeds > 0) {
                    line += static_cast<std::size_t>(feeds);
                    lineStart = text.rfind('\n', until - 1) + 1;
                }
                at = until;
            }
            positions[i] = {line, offsets[i] - lineStart + 1};
        }
        auto position = [&](std::size_t offset) {
            return positions[static_cast<std::size_t>(std::lower_bound(offsets.begin(), offsets.end(), offset) - offsets.begin())];
        };
        document_.findings.reserve(found_.size());
        for (Found& f : found_) {
            const TextPosition first = position(f.offset);
            std::string where = "line " + std::to_string(first.line);
            if (f.many) {
                const std::size_t last = position(f.lastOffset).line;
                if (last != first.line) where = "lines " + std::to_string(first.line) + " to " + std::to_string(last);
            }
            if (f.withColumn) where += ", column " + std::to_string(first.column);
            if (!f.place.empty()) where += ": " + f.place;
            document_.findings.push_back({std::move(where), std::move(f.what), f.offset});
        }
        found_.clear();
    }

    // The members of `object` against `keys`: `found[i]` is the node of key i,
    // or -1. Unknown and repeated keys, missing required keys and values of
    // the wrong type are findings; a value of the wrong type is not found.
    template <std::size_t N>
    bool members(const JsonNode& object, const std::array<Key, N>& keys, const Place& path,
                 std::array<std::int32_t, N>& found) {
        found.fill(-1);
        std::array<bool, N> seen{};
        std::size_t hint = 0;
        bool good = true;
        for (std::int32_t child = object.firstChild; child >= 0; child = tree_.node(child).nextSibling) {
            const JsonNode& member = tree_.node(child);
            if (!member.complete) {
                good = false;
                continue;
            }
            const std::string_view name = tree_.key(member);
            // The creator writes keys in order: try the one after the last first.
            std::size_t i = N;
            if (!member.keyEscaped) {
                for (std::size_t tried = 0; tried < N; ++tried) {
                    const std::size_t candidate = (hint + tried) % N;
                    if (keys[candidate].name == name) {
                        i = candidate;
                        break;
                    }
                }
            }
            if (i == N) {
                report(Kind::UnknownKey, member.keyBegin, path, "unknown key " + shown(tree_.keyText(member)));
                good = false;
                continue;
            }
            if (seen[i]) {
                report(Kind::RepeatedKey, member.keyBegin, path, "key \"" + std::string(name) + "\" appears twice", keys[i].name);
                good = false;
                continue;
            }
            seen[i] = true;
            hint = i + 1;
            if (!hasType(member, keys[i].type)) {
                report(Kind::WrongType, member.begin, path.at(keys[i].name),
                       std::string("must be ") + typeName(keys[i].type) + ", not " + kindName(member.kind));
                good = false;
                continue;
            }
            if (member.kind == JsonKind::String && member.escaped) {
                Kind kind = Kind::NulEscape;
                std::string fault = impossibleEscape(tree_.rawText(member), kind);
                if (!fault.empty()) {
                    report(kind, member.begin, path.at(keys[i].name), std::move(fault));
                    good = false;
                }
            }
            found[i] = child;
        }
        if (object.complete) {
            for (std::size_t i = 0; i < N; ++i) {
                if (keys[i].required && !seen[i]) {
                    report(Kind::MissingKey, object.begin, path, "key \"" + std::string(keys[i].name) + "\" is missing", keys[i].name);
                    good = false;
                }
            }
        }
        return good && object.complete;
    }

    bool hasType(const JsonNode& node, Type type) const {
        switch (type) {
            case Type::Integer: {
                std::int64_t value = 0;
                return tree_.integer(node, value);
            }
            case Type::String: return node.kind == JsonKind::String;
            case Type::Boolean: return node.kind == JsonKind::Boolean;
            case Type::Array: return node.kind == JsonKind::Array;
            case Type::Object: return node.kind == JsonKind::Object;
        }
        return false;
    }

    std::int64_t integer(std::int32_t index) const {
        std::int64_t value = 0;
        if (index >= 0) tree_.integer(tree_.node(index), value);
        return value;
    }
    Text text(std::int32_t index) {
        if (index < 0) return {};
        const JsonNode& node = tree_.node(index);
        if (!node.escaped) return tree_.rawText(node);
        return document_.store.keep(unescapeJson(tree_.rawText(node)));
    }
    bool boolean(std::int32_t index) const { return index >= 0 && tree_.node(index).boolean; }

    // An integer member within [low, high].
    void range(std::int32_t index, const Place& path, std::int64_t low, std::int64_t high, const char* what) {
        if (index < 0) return;
        const std::int64_t value = integer(index);
        if (value < low || value > high) {
            report(Kind::OutOfRange, tree_.node(index).begin, path, std::to_string(value) + " is out of range for " + what);
        }
    }

    void read() {
        const JsonNode& root = tree_.node(0);
        if (root.kind != JsonKind::Object) {
            report(Kind::NotObject, root.begin, Place{}, std::string("the document must be an object, not ") + kindName(root.kind));
            return;
        }
        std::array<std::int32_t, 2> sections{};
        members(root, kRootKeys, Place{"(root)"}, sections);
        if (sections[0] >= 0) readHeader(tree_.node(sections[0]));
        if (sections[1] < 0) return;
        std::array<std::int32_t, 5> inventory{};
        members(tree_.node(sections[1]), kInventoryKeys, Place{"inventory"}, inventory);
        // The elements of the three arrays were read as the parser met them.
        if (inventory[0] >= 0) {
            reportPendingElement();
            document_.hasFiles = tree_.node(inventory[0]).complete;
        }
        if (inventory[1] >= 0) document_.hasPublishers = tree_.node(inventory[1]).complete;
        if (inventory[2] >= 0) document_.hasDirectories = tree_.node(inventory[2]).complete;
        if (inventory[3] >= 0) readMisc(tree_.node(inventory[3]));
        if (inventory[4] >= 0) readSummary(tree_.node(inventory[4]));
    }

    void readHeader(const JsonNode& block) {
        const Place path{"inventoryinfo"};
        std::array<std::int32_t, 13> k{};
        members(block, kHeaderKeys, path, k);
        Header& h = document_.header;
        h.buildnumber = integer(k[hBuildnumber]);
        h.cdate = integer(k[hCdate]);
        h.osid = integer(k[hOsid]);
        h.suite = integer(k[hSuite]);
        range(k[hBuildnumber], path.at("buildnumber"), 0, kUint32Max, "an unsigned 32-bit number");
        range(k[hCdate], path.at("cdate"), kFiletimeSecondsMin, kFiletimeSecondsMax, "a time the system clock gives");
        range(k[hOsid], path.at("osid"), 0, kUint32Max, "an unsigned 32-bit number");
        range(k[hSuite], path.at("suite"), 0, kUint32Max, "an unsigned 32-bit number");
        h.desc = text(k[hDesc]);
        h.hostname = text(k[hHostname]);
        h.os = text(k[hOs]);
        h.osdrive = text(k[hOsdrive]);
        h.osdrivevar = text(k[hOsdrivevar]);
        h.osname = text(k[hOsname]);
        h.osver = text(k[hOsver]);
        h.platform = text(k[hPlatform]);
        h.title = text(k[hTitle]);
        if (k[hPlatform] >= 0 && h.platform != "64-bit" && h.platform != "32-bit") {
            report(Kind::BadValue, tree_.node(k[hPlatform]).begin, path.at("platform"),
                   "must be \"64-bit\" or \"32-bit\", not " + shown(h.platform));
        }
        document_.hasHeader = block.complete;
    }

    // Where an array being read sits, from the containers open around it.
    enum class Section { Other, Files, Publishers, Directories, Certificates };
    Section sectionOf(const JsonTree& tree, int depth) const {
        const std::vector<std::int32_t>& open = tree.openContainers();
        auto named = [&](std::size_t level, std::string_view name) {
            const JsonNode& node = tree.node(open[level]);
            return !node.keyEscaped && tree.key(node) == name;
        };
        if (depth != 2 && depth != 4) return Section::Other;
        if (open.size() != static_cast<std::size_t>(depth) + 1 || tree.node(open[0]).kind != JsonKind::Object) return Section::Other;
        if (tree.node(open[1]).kind != JsonKind::Object || !named(1, "inventory")) return Section::Other;
        if (tree.node(open[2]).kind != JsonKind::Array) return Section::Other;
        if (depth == 2) {
            if (named(2, "files")) return Section::Files;
            if (named(2, "publishers")) return Section::Publishers;
            if (named(2, "directories")) return Section::Directories;
            return Section::Other;
        }
        if (named(2, "publishers") && tree.node(open[3]).kind == JsonKind::Object && named(4, "certinfo")) {
            return Section::Certificates;
        }
        return Section::Other;
    }

    // Called by the JSON reader for each element of every array, once it is
    // whole: the elements of the files, publishers and directories arrays
    // (and of a publisher's certinfo) are read into records at once, and every
    // element then leaves the tree, so that the tree never holds more than
    // one entry. No other array's elements are ever looked at.
    static bool element(void* context, const JsonTree& tree, int depth, std::int32_t array, std::int32_t element) {
        auto& reader = *static_cast<Reader*>(context);
        const auto index = static_cast<std::int64_t>(tree.node(array).childCount) - 1;
        switch (reader.sectionOf(tree, depth)) {
            case Section::Files: reader.readFileEntry(tree.node(element), index); break;
            case Section::Publishers: reader.readPublisher(tree.node(element), index); break;
            case Section::Directories: reader.readDirectory(tree.node(element), index); break;
            case Section::Certificates: {
                const std::vector<std::int32_t>& open = tree.openContainers();
                reader.readCertificate(tree.node(element), static_cast<std::int64_t>(tree.node(open[2]).childCount) - 1, index);
                break;
            }
            case Section::Other: break;
        }
        return true;
    }

    // A file element that is not an object is reported only once the next
    // element or the end of the array shows that it really is an element: a
    // failed run leaves the array open, and the "misc" key that follows its
    // last entry reads as one more element before the syntax error.
    void reportPendingElement() {
        if (!pending_) return;
        report(Kind::NotObject, pendingAt_, Place("inventory.files", pendingIndex_),
               std::string("must be an object, not ") + kindName(pendingKind_));
        pending_ = false;
    }

    void readFileEntry(const JsonNode& node, std::int64_t index) {
        reportPendingElement();
        const Place path{"inventory.files", index};
        if (node.kind != JsonKind::Object) {
            pending_ = true;
            pendingAt_ = node.begin;
            pendingIndex_ = index;
            pendingKind_ = node.kind;
            return;
        }
        std::array<std::int32_t, 20> k{};
        members(node, kFileKeys, path, k);
        FileEntry entry;
        entry.fname = text(k[fFname]);
        entry.fpath = text(k[fFpath]);
        const Text ftype = text(k[fFtype]);
        entry.isDirectory = ftype == "directory";
        if (k[fFtype] >= 0 && !entry.isDirectory && ftype != "application") {
            report(Kind::BadValue, tree_.node(k[fFtype]).begin, path.at("ftype"),
                   "must be \"directory\" or \"application\", not " + shown(ftype));
        }
        entry.allowstate = integer(k[fAllowstate]);
        entry.attr = integer(k[fAttr]);
        entry.id = integer(k[fId]);
        entry.pid = integer(k[fPid]);
        entry.mtime = integer(k[fMtime]);
        entry.osdrive = integer(k[fOsdrive]);
        entry.isDefault = boolean(k[fDefault]);
        entry.isMutable = boolean(k[fMutable]);
        range(k[fAllowstate], path.at("allowstate"), kInt32Min, kInt32Max, "a signed 32-bit number");
        range(k[fAttr], path.at("attr"), kInt32Min, kInt32Max, "a signed 32-bit number");
        range(k[fId], path.at("id"), 0, kInt32Max, "an entry's id");
        range(k[fPid], path.at("pid"), -1, kInt32Max, "a parent id");
        range(k[fMtime], path.at("mtime"), kFiletimeSecondsMin, kFiletimeSecondsMax, "a file time");
        range(k[fOsdrive], path.at("osdrive"), 0, 1, "the system-drive flag (0 or 1)");

        const auto present = [&](auto keys) {
            std::size_t n = 0;
            for (FileKey key : keys) n += k[key] >= 0 ? 1 : 0;
            return n;
        };
        const std::size_t signer = present(kSignerKeys);
        const std::size_t version = present(kVersionKeys);
        if (entry.isDirectory && signer + version > 0) {
            report(Kind::DirectoryIdentity, node.begin, path, "a directory entry carries signer or version keys");
        } else if (!entry.isDirectory) {
            if (signer != 0 && signer != kSignerKeys.size()) {
                report(Kind::PartialSigner, node.begin, path, "\"serialno\", \"issuer\" and \"pubname\" come together or not at all");
            }
            if (version != 0 && version != kVersionKeys.size()) {
                report(Kind::PartialVersion, node.begin, path, "the six version strings come together or not at all");
            }
        }
        entry.hasSigner = !entry.isDirectory && signer == kSignerKeys.size();
        entry.hasVersion = !entry.isDirectory && version == kVersionKeys.size();
        if (entry.hasSigner) {
            entry.serialno = text(k[fSerialno]);
            entry.issuer = text(k[fIssuer]);
            entry.pubname = text(k[fPubname]);
        }
        if (entry.hasVersion) {
            entry.cname = text(k[fCname]);
            entry.fver = text(k[fFver]);
            entry.ifname = text(k[fIfname]);
            entry.ofname = text(k[fOfname]);
            entry.prodname = text(k[fProdname]);
            entry.prodver = text(k[fProdver]);
        }

        // Only an entry with every member it must have becomes a record: an
        // entry's cost then stays below a few times its own text, however
        // small the document makes its elements.
        for (std::size_t i = 0; i < kFileKeys.size(); ++i) {
            if (kFileKeys[i].required && k[i] < 0) return;
        }
        const auto fileIndex = static_cast<std::uint32_t>(document_.files.size());
        std::int64_t root = entry.id;
        if (!ids_.add(entry.id, fileIndex)) {
            report(Kind::RepeatedId, tree_.node(k[fId]).begin, path.at("id"), "id " + std::to_string(entry.id) + " is used twice");
        }
        const FileEntry* parent = nullptr;
        if (entry.pid != -1) {
            const std::uint32_t found = ids_.find(entry.pid);
            // An entry that names itself is looked up before it is stored:
            // its own index is not yet in the list.
            if (found != Ids::kNone && entry.pid != entry.id && document_.files[found].isDirectory) {
                parent = &document_.files[found];
            }
            if (parent == nullptr) {
                report(Kind::NoParent, tree_.node(k[fPid]).begin, path.at("pid"),
                       "parent id " + std::to_string(entry.pid) + " names no earlier directory entry");
                root = -1 - entry.pid;  // an orphan's own group, apart from every real root
            } else {
                root = roots_[found];
            }
        }
        checkPlace(entry, parent, path, k[fFname], k[fFpath]);
        document_.files.push_back(std::move(entry));
        roots_.push_back(root);
        if (!paths_.insert(fileIndex).second) {
            const FileEntry& first = document_.files[*paths_.find(fileIndex)];
            report(Kind::RepeatedPath, tree_.node(k[fFname]).begin, path.at("fname"),
                   "path " + shown(document_.files.back().path()) + " is listed twice (letter case aside; first as id " +
                       std::to_string(first.id) + ")");
        }
    }

    // The name and the directory part of an entry as the walk makes them:
    // a child's path is its parent's path, one backslash and a name the
    // directory listing gave; a root's path is split as the creator splits it.
    void checkPlace(const FileEntry& entry, const FileEntry* parent, const Place& path, std::int32_t fnameNode, std::int32_t fpathNode) {
        const std::size_t fnameAt = tree_.node(fnameNode).begin, fpathAt = tree_.node(fpathNode).begin;
        if (const int control = firstControl(entry.fname); control >= 0) {
            report(Kind::ControlInName, fnameAt, path.at("fname"),
                   shown(entry.fname) + " holds the control character " + unitText(static_cast<unsigned>(control)));
        }
        if (entry.pid == -1) {
            std::string_view directory, name;
            const std::string whole = entry.path();
            if (!creatorSplit(whole, directory, name) || directory != entry.fpath || name != entry.fname) {
                report(Kind::RootSplit, fpathAt, path.at("fpath"),
                       "the root path " + shown(whole) + " is not split so (the creator writes the part up to its last "
                       "backslash as \"fpath\", a drive root with an empty one)");
            }
            return;
        }
        if (entry.fname.empty() || entry.fname == "." || entry.fname == ".." ||
            entry.fname.find_first_of("\\/") != std::string_view::npos) {
            report(Kind::BadName, fnameAt, path.at("fname"), shown(entry.fname) + " is not a name a directory listing gives");
        }
        if (parent == nullptr) return;
        const std::size_t size = parent->fpath.size() + parent->fname.size() + 1;
        if (entry.fpath.size() != size || !entry.fpath.starts_with(parent->fpath) ||
            entry.fpath.substr(parent->fpath.size(), parent->fname.size()) != parent->fname || entry.fpath.back() != '\\') {
            report(Kind::WrongFpath, fpathAt, path.at("fpath"),
                   shown(entry.fpath) + " is not the path of its parent (id " + std::to_string(parent->id) + ", " +
                       shown(parent->path()) + ") and a backslash");
        }
        if (entry.osdrive != parent->osdrive) {
            report(Kind::OsdriveNotInherited, fpathAt, path.at("osdrive"),
                   std::to_string(entry.osdrive) + " differs from its parent's " + std::to_string(parent->osdrive) +
                       " (an entry is on the system drive when its root is)");
        }
    }

    void readPublisher(const JsonNode& node, std::int64_t index) {
        std::vector<Certificate> certificates;
        certificates.swap(certificates_);
        std::vector<std::size_t> certificateAt;
        certificateAt.swap(certificateAt_);
        const Place path{"inventory.publishers", index};
        if (node.kind != JsonKind::Object) {
            report(Kind::NotObject, node.begin, path, std::string("must be an object, not ") + kindName(node.kind));
            return;
        }
        std::array<std::int32_t, 5> k{};
        members(node, kPublisherKeys, path, k);
        Publisher publisher;
        publisher.pubname = text(k[pPubname]);
        publisher.allowstate = integer(k[pAllowstate]);
        publisher.type = integer(k[pType]);
        publisher.isMutable = boolean(k[pMutable]);
        range(k[pAllowstate], path.at("allowstate"), kInt32Min, kInt32Max, "a signed 32-bit number");
        range(k[pType], path.at("type"), kInt32Min, kInt32Max, "a signed 32-bit number");
        if (k[pPubname] >= 0 && !publisherNames_.insert(publisher.pubname).second) {
            report(Kind::RepeatedPublisher, tree_.node(k[pPubname]).begin, path.at("pubname"),
                   "publisher " + shown(publisher.pubname) + " is listed twice");
        }
        if (k[pCertinfo] >= 0) {
            const JsonNode& certinfo = tree_.node(k[pCertinfo]);
            if (certinfo.childCount == 0) {
                report(Kind::EmptyCertinfo, certinfo.begin, path.at("certinfo"), "is empty (the creator leaves the key out instead)");
            }
            refuseRepeatedCertificates(certificates, certificateAt, index);
            publisher.certificates = std::move(certificates);
        }
        document_.publishers.push_back(std::move(publisher));
    }

    // The creator collects a certificate once, by its serial number, so one
    // publisher never lists a serial twice. Sorted, not hashed: the serials
    // are the document's text.
    void refuseRepeatedCertificates(const std::vector<Certificate>& certificates, const std::vector<std::size_t>& at,
                                    std::int64_t publisher) {
        std::vector<std::uint32_t> order(certificates.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return certificates[a].serialno < certificates[b].serialno;
        });
        std::vector<std::pair<std::uint32_t, std::uint32_t>> repeats;  // (repeat, first)
        for (std::size_t i = 1, first = 0; i < order.size(); ++i) {
            if (certificates[order[i]].serialno != certificates[order[first]].serialno) {
                first = i;  // a stable sort keeps each serial's first place first
            } else {
                repeats.push_back({order[i], order[first]});
            }
        }
        std::sort(repeats.begin(), repeats.end());
        for (const auto& [repeat, first] : repeats) {
            Place path{"inventory.publishers", publisher};
            path.subSection = "certinfo";
            path.subIndex = repeat;
            report(Kind::RepeatedCertificate, at[repeat], path.at("serialno"),
                   "serial number " + shown(certificates[repeat].serialno) + " is listed twice under this publisher (first as certinfo[" +
                       std::to_string(first) + "])");
        }
    }

    // An element of a publisher's certinfo; kept until the publisher is whole.
    void readCertificate(const JsonNode& node, std::int64_t publisher, std::int64_t index) {
        Place path{"inventory.publishers", publisher};
        path.subSection = "certinfo";
        path.subIndex = index;
        if (node.kind != JsonKind::Object) {
            report(Kind::NotObject, node.begin, path, std::string("must be an object, not ") + kindName(node.kind));
            return;
        }
        std::array<std::int32_t, 2> k{};
        members(node, kCertificateKeys, path, k);
        certificates_.push_back({text(k[0]), text(k[1])});
        certificateAt_.push_back(k[1] >= 0 ? tree_.node(k[1]).begin : node.begin);
    }

    void readDirectory(const JsonNode& node, std::int64_t index) {
        const Place path{"inventory.directories", index};
        if (node.kind != JsonKind::Object) {
            report(Kind::NotObject, node.begin, path, std::string("must be an object, not ") + kindName(node.kind));
            return;
        }
        std::array<std::int32_t, 6> k{};
        members(node, kDirectoryKeys, path, k);
        AllowedDirectory directory;
        directory.dirpath = text(k[dDirpath]);
        directory.allowstate = integer(k[dAllowstate]);
        directory.type = integer(k[dType]);
        directory.isDefault = boolean(k[dDefault]);
        directory.isMutable = boolean(k[dMutable]);
        directory.strictpub = boolean(k[dStrictpub]);
        range(k[dAllowstate], path.at("allowstate"), kInt32Min, kInt32Max, "a signed 32-bit number");
        range(k[dType], path.at("type"), kInt32Min, kInt32Max, "a signed 32-bit number");
        if (k[dDirpath] >= 0) {
            if (directory.dirpath.empty()) {
                report(Kind::EmptyDirpath, tree_.node(k[dDirpath]).begin, path.at("dirpath"), "is empty (the creator never writes an empty path)");
            } else if (!directoryForms_.insert(normalDirectoryPath(directory.dirpath)).second) {
                report(Kind::RepeatedDirpath, tree_.node(k[dDirpath]).begin, path.at("dirpath"),
                       shown(directory.dirpath) + " is listed twice (letter case and a trailing backslash aside)");
            }
        }
        document_.directories.push_back(std::move(directory));
    }

    void readMisc(const JsonNode& block) {
        std::array<std::int32_t, 1> k{};
        members(block, kMiscKeys, Place{"inventory.misc"}, k);
        document_.globalstrictpub = boolean(k[0]);
        document_.hasMisc = block.complete;
    }

    void readSummary(const JsonNode& block) {
        const Place path{"inventory.discoverysummary"};
        std::array<std::int32_t, 9> k{};
        members(block, kSummaryKeys, path, k);
        Summary& s = document_.summary;
        s.alloweddircnt = integer(k[sAlloweddircnt]);
        s.allowedfilecnt = integer(k[sAllowedfilecnt]);
        s.allowedpubcnt = integer(k[sAllowedpubcnt]);
        s.dircnt = integer(k[sDircnt]);
        s.filecnt = integer(k[sFilecnt]);
        s.supportedfilecnt = integer(k[sSupportedfilecnt]);
        for (SummaryKey key : {sAlloweddircnt, sAllowedfilecnt, sAllowedpubcnt, sDircnt, sFilecnt, sSupportedfilecnt}) {
            range(k[key], path.at(kSummaryKeys[key].name), 0, kInt32Max, "a count");
        }
        s.starttime = text(k[sStarttime]);
        s.endtime = text(k[sEndtime]);
        s.status = text(k[sStatus]);
        if (k[sStatus] >= 0 && s.status != "succeed" && s.status != "failed") {
            report(Kind::BadValue, tree_.node(k[sStatus]).begin, path.at("status"),
                   "must be \"succeed\" or \"failed\", not " + shown(s.status));
        }
        document_.hasSummary = block.complete;
        summaryAt_ = block.begin;
    }

    // Counters that the creator ties to the entries it wrote.
    void checkCounters() {
        if (!document_.hasSummary || document_.summary.status != "succeed") return;
        if (!document_.hasFiles || !document_.hasPublishers || !document_.hasDirectories) return;
        std::int64_t applications = 0, directories = 0;
        for (const FileEntry& entry : document_.files) (entry.isDirectory ? directories : applications)++;
        const Summary& s = document_.summary;
        const Place path{"inventory.discoverysummary"};
        auto mismatch = [&](const char* key, std::int64_t value, const char* relation, std::int64_t count, const char* what) {
            report(Kind::CounterMismatch, summaryAt_, path.at(key),
                   std::to_string(value) + " should be " + relation + " the " + std::to_string(count) + " " + what);
        };
        if (s.supportedfilecnt != applications) mismatch("supportedfilecnt", s.supportedfilecnt, "equal to", applications, "application entries");
        if (s.allowedfilecnt != applications) mismatch("allowedfilecnt", s.allowedfilecnt, "equal to", applications, "application entries");
        if (s.filecnt < s.supportedfilecnt) mismatch("filecnt", s.filecnt, "at least", s.supportedfilecnt, "supported files");
        if (s.dircnt < directories) mismatch("dircnt", s.dircnt, "at least", directories, "directory entries");
        const auto written = static_cast<std::int64_t>(document_.directories.size());
        if (s.alloweddircnt < written) mismatch("alloweddircnt", s.alloweddircnt, "at least", written, "allowed directories listed");
        const auto publishers = static_cast<std::int64_t>(document_.publishers.size());
        if (s.allowedpubcnt > publishers) mismatch("allowedpubcnt", s.allowedpubcnt, "at most", publishers, "publishers listed");
    }

    std::size_t summaryAt_ = 0;
    bool pending_ = false;
    std::size_t pendingAt_ = 0;
    std::int64_t pendingIndex_ = 0;
    JsonKind pendingKind_ = JsonKind::Null;

    // The ids seen so far, each with its entry's place in the files. The
    // creator's ids only grow, so they are kept in order and searched; ids
    // out of order move everything into a hash map.
    class Ids {
    public:
        static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
        bool add(std::int64_t id, std::uint32_t file) {
            if (hashed_.empty() && (ordered_.empty() || ordered_.back().first < id)) {
                ordered_.emplace_back(id, file);
                return true;
            }
            if (hashed_.empty()) {
                hashed_.insert(ordered_.begin(), ordered_.end());
                std::vector<std::pair<std::int64_t, std::uint32_t>>().swap(ordered_);
            }
            return hashed_.emplace(id, file).second;
        }
        // The entry's place in the files, or kNone when not seen.
        std::uint32_t find(std::int64_t id) const {
            if (!hashed_.empty()) {
                const auto found = hashed_.find(id);
                return found == hashed_.end() ? kNone : found->second;
            }
            const auto found = std::lower_bound(ordered_.begin(), ordered_.end(), std::make_pair(id, std::uint32_t{0}),
                                                [](const auto& a, const auto& b) { return a.first < b.first; });
            if (found == ordered_.end() || found->first != id) return kNone;
            return found->second;
        }

    private:
        std::vector<std::pair<std::int64_t, std::uint32_t>> ordered_;
        std::unordered_map<std::int64_t, std::uint32_t, KeyedHash> hashed_;
    };
    Ids ids_;

    static std::string normalDirectoryPath(Text path) {
        std::string normal = lowerAscii(path);
        if (!normal.empty() && normal.back() == '\\') normal.pop_back();
        return normal;
    }

private:
    // Entries by their path, ASCII letter case aside, within one root: a
    // root that the configuration lists twice (or inside another) is walked
    // again, and its paths written again, by the creator itself.
    struct PathHash {
        const Reader* reader;
        std::size_t operator()(std::uint32_t file) const {
            const FileEntry& entry = reader->document_.files[file];
            KeyedHasher hasher;
            const std::int64_t root = reader->roots_[file];
            hasher.add(&root, sizeof root);
            for (Text part : {entry.fpath, entry.fname}) {
                for (char c : part) hasher.add(static_cast<unsigned char>(lowered(c)));
            }
            return static_cast<std::size_t>(hasher.finish());
        }
    };
    struct PathEqual {
        const Reader* reader;
        bool operator()(std::uint32_t a, std::uint32_t b) const {
            const FileEntry& x = reader->document_.files[a];
            const FileEntry& y = reader->document_.files[b];
            if (reader->roots_[a] != reader->roots_[b] || x.fpath.size() + x.fname.size() != y.fpath.size() + y.fname.size()) {
                return false;
            }
            auto at = [](const FileEntry& e, std::size_t i) { return lowered(i < e.fpath.size() ? e.fpath[i] : e.fname[i - e.fpath.size()]); };
            for (std::size_t i = 0; i < x.fpath.size() + x.fname.size(); ++i) {
                if (at(x, i) != at(y, i)) return false;
            }
            return true;
        }
    };

    Document& document_;
    const JsonTree& tree_;
    std::vector<Found> found_;
    std::map<KindAt, Tally> tallies_;
    std::vector<std::int64_t> roots_;  // the root id of each file record
    std::unordered_set<std::uint32_t, PathHash, PathEqual> paths_{64, PathHash{this}, PathEqual{this}};
    // Keyed hashes: every key here is text or a number from the document.
    std::unordered_set<Text, KeyedHash> publisherNames_;
    std::unordered_set<std::string, KeyedHash> directoryForms_;
    std::vector<Certificate> certificates_;  // of the publisher being read
    std::vector<std::size_t> certificateAt_;  // where each one's serial number is
};

// The innermost section open where the text broke off, as a path.
std::string openSection(const JsonTree& tree) {
    std::string path;
    std::int32_t index = 0;
    while (true) {
        const JsonNode& node = tree.node(index);
        if (node.complete || (node.kind != JsonKind::Object && node.kind != JsonKind::Array)) break;
        std::int32_t last = -1;
        for (std::int32_t child = node.firstChild; child >= 0; child = tree.node(child).nextSibling) last = child;
        if (last < 0) break;
        const JsonNode& child = tree.node(last);
        if (node.kind == JsonKind::Object) {
            path += (path.empty() ? "" : ".") + visibleUtf8(tree.keyText(child)).substr(0, 64);
        } else {
            // Elements read whole have left the tree; the count still holds them.
            path += "[" + std::to_string(node.childCount - 1) + "]";
        }
        index = last;
    }
    return path;
}

std::string entries(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " complete file entry" : " complete file entries");
}

// For a block read on its own, whose arrays are never looked into.
bool dropElement(void*, const JsonTree&, int, std::int32_t, std::int32_t) { return true; }

}  // namespace

void readDocument(std::string bytes, Document& document) {
    document.bytes = std::move(bytes);
    const std::string_view text = document.bytes;
    JsonTree tree;
    Reader reader(document, tree);
    tree.onElement(&Reader::element, &reader);
    // Address space only: an entry takes some 400 bytes of text at least, and
    // pages that are never used are never touched.
    document.files.reserve(text.size() / 256);
    const bool isJson = tree.parse(text);

    // Every byte of a UTF-8 sequence is 0x80 or above, so the runs of such
    // bytes are checked alone and ASCII text costs nothing.
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
        std::u16string units;
        if (!decodeUtf8(std::string(text.substr(i, end - i)), units)) {
            reader.reportAt(Kind::NotUtf8, i, "the text is not valid UTF-8");
            break;
        }
        i = end;
    }

    if (!isJson) {
        const JsonSyntaxError& error = tree.error();
        const std::string open = tree.empty() ? std::string() : openSection(tree);
        reader.reportAt(Kind::NotJson, error.offset, "not JSON: " + error.message + (open.empty() ? "" : " (in " + open + ")"));
    }
    if (!tree.empty()) reader.read();

    if (!isJson) {
        // A failed run still ends with its summary: find it, so that the reason
        // can be told apart from a file cut off in the middle.
        const std::string_view key = "\"discoverysummary\"";
        const std::size_t at = text.rfind(key);
        bool failedRun = false;
        if (at != std::string_view::npos && !document.hasSummary) {
            std::size_t brace = text.find('{', at + key.size());
            JsonTree trailer;
            trailer.onElement(&dropElement, nullptr);
            if (brace != std::string_view::npos && trailer.parseValueAt(text.substr(brace)) &&
                trailer.node(0).kind == JsonKind::Object) {
                // Its findings would be placed wrongly, and the syntax error
                // says enough: this reader's are never handed on.
                const std::size_t counted = document.findingCount;
                Reader summaryReader(document, trailer);
                summaryReader.readSummary(trailer.node(0));
                document.findingCount = counted;
                failedRun = document.hasSummary && document.summary.status == "failed";
            }
        }
        const std::string complete = entries(document.files.size());
        if (failedRun) {
            reader.report(Kind::RunFailed, at, Place{"inventory.discoverysummary"},
                          "the run failed (\"status\" : \"failed\"): the creator stopped after " + complete +
                              " and left the sections after that point out");
        } else if (tree.error().offset >= text.size()) {
            reader.reportAt(Kind::CutOff, text.size(), "the document is cut off after " + complete +
                                                           ": the run was interrupted or the file was truncated");
        }
    } else {
        if (document.hasSummary && document.summary.status == "failed") {
            reader.report(Kind::RunFailed, reader.summaryAt_, Place{"inventory.discoverysummary"}, "the run failed (\"status\" : \"failed\")");
        }
        reader.checkCounters();
    }
    // In the order of the text: entries are checked while the parser reads
    // them, the blocks around them afterwards.
    reader.finish();
}

}  // namespace baseline::doc
