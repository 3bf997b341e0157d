// Reading an allowlist document: UTF-8, then JSON, then every section, key and
// type the creator writes, the identities and parent links of the entries, and
// the counters that must match the entries. A document that stops early (a
// failed run leaves the files array open, an interrupted one stops anywhere)
// is read as far as it goes, and the findings say why it stopped.
#include "document.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "json_scan.h"
#include "platform/utf.h"

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
        const std::size_t size = std::max<std::size_t>(text.size(), std::min<std::size_t>(4096 << blocks_.size(), 1 << 20));
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

// Where a value sits, as "inventory.files[3].mtime"; made into text only
// when there is something to report.
struct Place {
    Place() = default;
    explicit Place(const char* name, std::int64_t position = -1) : section(name), index(position) {}

    const char* section = "";
    std::int64_t index = -1;
    std::string_view key;
    std::int64_t subIndex = -1;
    const char* subSection = "";

    Place at(std::string_view member) const {
        Place place = *this;
        place.key = member;
        return place;
    }
    std::string text() const {
        std::string out = section;
        if (index >= 0) out += "[" + std::to_string(index) + "]";
        if (*subSection != 0) out += std::string(".") + subSection;
        if (subIndex >= 0) out += "[" + std::to_string(subIndex) + "]";
        if (!key.empty()) out += (out.empty() ? "" : ".") + std::string(key);
        return out;
    }
};

class Reader {
public:
    Reader(Document& document, const JsonTree& tree) : document_(document), tree_(tree), lines_(document.bytes) {}

    void report(std::size_t offset, const Place& place, std::string what) {
        const TextPosition position = lines_.at(offset);
        std::string where = "line " + std::to_string(position.line);
        const std::string path = place.text();
        if (!path.empty()) where += ": " + path;
        document_.findings.push_back({std::move(where), std::move(what), offset});
    }

    void reportAt(std::size_t offset, std::string what) {
        const TextPosition position = lines_.at(offset);
        document_.findings.push_back(
            {"line " + std::to_string(position.line) + ", column " + std::to_string(position.column), std::move(what), offset});
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
                report(member.keyBegin, path, "unknown key \"" + tree_.keyText(member) + "\"");
                good = false;
                continue;
            }
            if (seen[i]) {
                report(member.keyBegin, path, "key \"" + std::string(name) + "\" appears twice");
                good = false;
                continue;
            }
            seen[i] = true;
            hint = i + 1;
            if (!hasType(member, keys[i].type)) {
                report(member.begin, path.at(keys[i].name),
                       std::string("must be ") + typeName(keys[i].type) + ", not " + kindName(member.kind));
                good = false;
                continue;
            }
            found[i] = child;
        }
        if (object.complete) {
            for (std::size_t i = 0; i < N; ++i) {
                if (keys[i].required && !seen[i]) {
                    report(object.begin, path, "key \"" + std::string(keys[i].name) + "\" is missing");
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
            report(tree_.node(index).begin, path, std::to_string(value) + " is out of range for " + what);
        }
    }

    void read() {
        const JsonNode& root = tree_.node(0);
        if (root.kind != JsonKind::Object) {
            report(root.begin, Place{}, std::string("the document must be an object, not ") + kindName(root.kind));
            return;
        }
        std::array<std::int32_t, 2> sections{};
        members(root, kRootKeys, Place{"(root)"}, sections);
        if (sections[0] >= 0) readHeader(tree_.node(sections[0]));
        if (sections[1] < 0) return;
        std::array<std::int32_t, 5> inventory{};
        members(tree_.node(sections[1]), kInventoryKeys, Place{"inventory"}, inventory);
        if (inventory[0] >= 0) readFiles(tree_.node(inventory[0]));
        if (inventory[1] >= 0) readPublishers(tree_.node(inventory[1]));
        if (inventory[2] >= 0) readDirectories(tree_.node(inventory[2]));
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
            report(tree_.node(k[hPlatform]).begin, path.at("platform"), "must be \"64-bit\" or \"32-bit\", not \"" + std::string(h.platform) + "\"");
        }
        document_.hasHeader = block.complete;
    }

    // Called by the JSON reader for each element of an array two levels down;
    // reads the elements of "inventory.files" as they complete.
    static bool fileElement(void* context, const JsonTree& tree, std::int32_t array, std::int32_t element) {
        auto& reader = *static_cast<Reader*>(context);
        const JsonNode& arrayNode = tree.node(array);
        if (array == 0 || tree.key(arrayNode) != "files" || arrayNode.keyEscaped) return false;
        // Only the "files" of "inventory" in the root: the member being read
        // is always the last one of its object so far.
        auto lastChild = [&](std::int32_t parent) {
            std::int32_t last = -1;
            for (std::int32_t child = tree.node(parent).firstChild; child >= 0; child = tree.node(child).nextSibling) last = child;
            return last;
        };
        const std::int32_t inventory = lastChild(0);
        if (inventory < 0 || tree.key(tree.node(inventory)) != "inventory" || lastChild(inventory) != array) return false;
        reader.readFileEntry(tree.node(element), reader.fileIndex_++);
        return true;
    }

    void readFiles(const JsonNode& array) {
        reportPendingElement();
        document_.hasFiles = array.complete;
    }

    // A file element that is not an object is reported only once the next
    // element or the end of the array shows that it really is an element: a
    // failed run leaves the array open, and the "misc" key that follows its
    // last entry reads as one more element before the syntax error.
    void reportPendingElement() {
        if (!pending_) return;
        report(pendingAt_, Place("inventory.files", pendingIndex_), std::string("must be an object, not ") + kindName(pendingKind_));
        pending_ = false;
    }

    void readFileEntry(const JsonNode& node, std::size_t index) {
        reportPendingElement();
        {
            const Place path{"inventory.files", static_cast<std::int64_t>(index)};
            if (node.kind != JsonKind::Object) {
                pending_ = true;
                pendingAt_ = node.begin;
                pendingIndex_ = static_cast<std::int64_t>(index);
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
                report(tree_.node(k[fFtype]).begin, path.at("ftype"), "must be \"directory\" or \"application\", not \"" + std::string(ftype) + "\"");
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
            range(k[fOsdrive], path.at("osdrive"), 0, 1, "the system-drive flag (0 or 1)");

            const auto present = [&](auto keys) {
                std::size_t n = 0;
                for (FileKey key : keys) n += k[key] >= 0 ? 1 : 0;
                return n;
            };
            const std::size_t signer = present(kSignerKeys);
            const std::size_t version = present(kVersionKeys);
            if (entry.isDirectory && signer + version > 0) {
                report(node.begin, path, "a directory entry carries signer or version keys");
            } else if (!entry.isDirectory) {
                if (signer != 0 && signer != kSignerKeys.size()) {
                    report(node.begin, path, "\"serialno\", \"issuer\" and \"pubname\" come together or not at all");
                }
                if (version != 0 && version != kVersionKeys.size()) {
                    report(node.begin, path, "the six version strings come together or not at all");
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

            if (k[fId] >= 0 && !ids_.add(entry.id, entry.isDirectory)) {
                report(tree_.node(k[fId]).begin, path.at("id"), "id " + std::to_string(entry.id) + " is used twice");
            }
            if (k[fPid] >= 0 && entry.pid != -1) {
                const int parent = ids_.find(entry.pid);
                if (parent != 1 || entry.pid == entry.id) {
                    report(tree_.node(k[fPid]).begin, path.at("pid"),
                           "parent id " + std::to_string(entry.pid) + " names no earlier directory entry");
                }
            }
            document_.files.push_back(std::move(entry));
        }
    }

    void readPublishers(const JsonNode& array) {
        std::unordered_set<Text> names;
        std::size_t index = 0;
        for (std::int32_t child = array.firstChild; child >= 0; child = tree_.node(child).nextSibling, ++index) {
            const JsonNode& node = tree_.node(child);
            if (!node.complete) break;
            const Place path{"inventory.publishers", static_cast<std::int64_t>(index)};
            if (node.kind != JsonKind::Object) {
                report(node.begin, path, std::string("must be an object, not ") + kindName(node.kind));
                continue;
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
            if (k[pPubname] >= 0 && !names.insert(publisher.pubname).second) {
                report(tree_.node(k[pPubname]).begin, path.at("pubname"), "publisher \"" + std::string(publisher.pubname) + "\" is listed twice");
            }
            if (k[pCertinfo] >= 0) {
                const JsonNode& certinfo = tree_.node(k[pCertinfo]);
                if (certinfo.childCount == 0) {
                    report(certinfo.begin, path.at("certinfo"), "is empty (the creator leaves the key out instead)");
                }
                std::size_t c = 0;
                for (std::int32_t cert = certinfo.firstChild; cert >= 0; cert = tree_.node(cert).nextSibling, ++c) {
                    const JsonNode& certNode = tree_.node(cert);
                    Place certPath = path;
                    certPath.subSection = "certinfo";
                    certPath.subIndex = static_cast<std::int64_t>(c);
                    if (certNode.kind != JsonKind::Object) {
                        report(certNode.begin, certPath, std::string("must be an object, not ") + kindName(certNode.kind));
                        continue;
                    }
                    std::array<std::int32_t, 2> ck{};
                    members(certNode, kCertificateKeys, certPath, ck);
                    publisher.certificates.push_back({text(ck[0]), text(ck[1])});
                }
            }
            document_.publishers.push_back(std::move(publisher));
        }
        document_.hasPublishers = array.complete;
    }

    void readDirectories(const JsonNode& array) {
        std::unordered_set<std::string> normalForms;
        std::size_t index = 0;
        for (std::int32_t child = array.firstChild; child >= 0; child = tree_.node(child).nextSibling, ++index) {
            const JsonNode& node = tree_.node(child);
            if (!node.complete) break;
            const Place path{"inventory.directories", static_cast<std::int64_t>(index)};
            if (node.kind != JsonKind::Object) {
                report(node.begin, path, std::string("must be an object, not ") + kindName(node.kind));
                continue;
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
                    report(tree_.node(k[dDirpath]).begin, path.at("dirpath"), "is empty (the creator never writes an empty path)");
                } else if (!normalForms.insert(normalDirectoryPath(directory.dirpath)).second) {
                    report(tree_.node(k[dDirpath]).begin, path.at("dirpath"),
                           "\"" + std::string(directory.dirpath) + "\" is listed twice (letter case and a trailing backslash aside)");
                }
            }
            document_.directories.push_back(std::move(directory));
        }
        document_.hasDirectories = array.complete;
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
            report(tree_.node(k[sStatus]).begin, path.at("status"), "must be \"succeed\" or \"failed\", not \"" + std::string(s.status) + "\"");
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
            report(summaryAt_, path.at(key),
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
    std::size_t fileIndex_ = 0;
    bool pending_ = false;
    std::size_t pendingAt_ = 0;
    std::int64_t pendingIndex_ = 0;
    JsonKind pendingKind_ = JsonKind::Null;

    // The ids seen so far and whether each is a directory's. The creator's
    // ids only grow, so they are kept in order and searched; ids out of order
    // move everything into a hash map.
    class Ids {
    public:
        bool add(std::int64_t id, bool isDirectory) {
            if (hashed_.empty() && (ordered_.empty() || ordered_.back().first < id)) {
                ordered_.emplace_back(id, isDirectory);
                return true;
            }
            if (hashed_.empty()) hashed_.insert(ordered_.begin(), ordered_.end());
            return hashed_.emplace(id, isDirectory).second;
        }
        // 1 for a directory, 0 for another entry, -1 when not seen.
        int find(std::int64_t id) const {
            if (!hashed_.empty()) {
                const auto found = hashed_.find(id);
                return found == hashed_.end() ? -1 : found->second ? 1 : 0;
            }
            const auto found = std::lower_bound(ordered_.begin(), ordered_.end(), std::make_pair(id, false),
                                                [](const auto& a, const auto& b) { return a.first < b.first; });
            if (found == ordered_.end() || found->first != id) return -1;
            return found->second ? 1 : 0;
        }

    private:
        std::vector<std::pair<std::int64_t, bool>> ordered_;
        std::unordered_map<std::int64_t, bool> hashed_;
    };
    Ids ids_;

    static std::string normalDirectoryPath(Text path) {
        std::string normal = lowerAscii(path);
        if (!normal.empty() && normal.back() == '\\') normal.pop_back();
        return normal;
    }

private:
    Document& document_;
    const JsonTree& tree_;
    LineIndex lines_;
};

// The innermost section open where the text broke off, as a path.
std::string openSection(const JsonTree& tree) {
    std::string path;
    std::int32_t index = 0;
    while (true) {
        const JsonNode& node = tree.node(index);
        if (node.complete || (node.kind != JsonKind::Object && node.kind != JsonKind::Array)) break;
        std::int32_t last = -1;
        std::size_t position = 0;
        for (std::int32_t child = node.firstChild; child >= 0; child = tree.node(child).nextSibling) {
            last = child;
            ++position;
        }
        if (last < 0) break;
        const JsonNode& child = tree.node(last);
        if (node.kind == JsonKind::Object) {
            path += (path.empty() ? "" : ".") + tree.keyText(child);
        } else {
            path += "[" + std::to_string(position - 1) + "]";
        }
        index = last;
    }
    return path;
}

std::string entries(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " complete file entry" : " complete file entries");
}

}  // namespace

void readDocument(std::string bytes, Document& document) {
    document.bytes = std::move(bytes);
    const std::string_view text = document.bytes;
    JsonTree tree;
    Reader reader(document, tree);
    tree.onElement(2, &Reader::fileElement, &reader);
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
            reader.reportAt(i, "the text is not valid UTF-8");
            break;
        }
        i = end;
    }

    if (!isJson) {
        const JsonSyntaxError& error = tree.error();
        const std::string open = tree.empty() ? std::string() : openSection(tree);
        reader.reportAt(error.offset, "not JSON: " + error.message + (open.empty() ? "" : " (in " + open + ")"));
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
            if (brace != std::string_view::npos && trailer.parseValueAt(text.substr(brace)) &&
                trailer.node(0).kind == JsonKind::Object) {
                // Its findings would be placed wrongly; the syntax error says enough.
                const std::size_t findings = document.findings.size();
                Reader summaryReader(document, trailer);
                summaryReader.readSummary(trailer.node(0));
                document.findings.resize(findings);
                failedRun = document.hasSummary && document.summary.status == "failed";
            }
        }
        const std::string complete = entries(document.files.size());
        if (failedRun) {
            reader.report(at, Place{"inventory.discoverysummary"},
                          "the run failed (\"status\" : \"failed\"): the creator stopped after " + complete +
                              " and left the sections after that point out");
        } else if (tree.error().offset >= text.size()) {
            reader.reportAt(text.size(), "the document is cut off after " + complete +
                                             ": the run was interrupted or the file was truncated");
        }
    } else {
        if (document.hasSummary && document.summary.status == "failed") {
            reader.report(reader.summaryAt_, Place{"inventory.discoverysummary"}, "the run failed (\"status\" : \"failed\")");
        }
        reader.checkCounters();
    }
    // In the order of the text: entries are checked while the parser reads
    // them, the blocks around them afterwards.
    std::stable_sort(document.findings.begin(), document.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
}

}  // namespace baseline::doc
