// Comparing two documents. Only the run's own times ("cdate", "starttime",
// "endtime") are left out; every other difference is reported, so that "same"
// means the machine, the configuration's outcome and every entry are as before.
#include "diff.h"

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <sstream>

#include "platform/visible_text.h"
#include "summary.h"
#include "tool_files.h"

namespace baseline::doc {

bool DocumentDiff::same() const {
    return header.empty() && counters.empty() && executablesAdded.empty() && executablesRemoved.empty() &&
           directoriesAdded.empty() && directoriesRemoved.empty() && executablesChanged.empty() &&
           directoriesChanged.empty() && publishersAdded.empty() && publishersRemoved.empty() &&
           certificatesAdded.empty() && certificatesRemoved.empty() && publishersChanged.empty() &&
           allowedDirectoriesAdded.empty() && allowedDirectoriesRemoved.empty() && allowedDirectoriesChanged.empty() &&
           misc.empty();
}

namespace {

// A value of the document in double quotes, its own quotes as \", so that
// where it begins and ends is plain. Hidden characters are escaped when the
// line is printed.
std::string quotedText(Text text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out += '"';
}
std::string flag(bool value) { return value ? "true" : "false"; }

Json::Value typed(Text text) { return Json::Value(std::string(text)); }
Json::Value typed(std::int64_t number) { return Json::Value(static_cast<Json::Int64>(number)); }
Json::Value typedFlag(bool value) { return Json::Value(value); }

void compareText(std::vector<FieldChange>& changes, const char* field, Text a, Text b) {
    if (a != b) changes.push_back({field, quotedText(a), quotedText(b), typed(a), typed(b)});
}
void compareNumber(std::vector<FieldChange>& changes, const char* field, std::int64_t a, std::int64_t b) {
    if (a != b) changes.push_back({field, std::to_string(a), std::to_string(b), typed(a), typed(b)});
}
void compareFlag(std::vector<FieldChange>& changes, const char* field, bool a, bool b) {
    if (a != b) changes.push_back({field, flag(a), flag(b), typedFlag(a), typedFlag(b)});
}

std::string mtimeText(std::int64_t seconds) { return utcText(seconds) + " (" + std::to_string(seconds) + ")"; }

// A signer, a version resource, a certificate: the document's keys and texts.
Json::Value signerJson(const FileEntry& e) {
    if (!e.hasSigner) return Json::Value(Json::nullValue);
    Json::Value v(Json::objectValue);
    v["pubname"] = typed(e.pubname);
    v["issuer"] = typed(e.issuer);
    v["serialno"] = typed(e.serialno);
    return v;
}
Json::Value versionJson(const FileEntry& e) {
    if (!e.hasVersion) return Json::Value(Json::nullValue);
    Json::Value v(Json::objectValue);
    v["cname"] = typed(e.cname);
    v["fver"] = typed(e.fver);
    v["ifname"] = typed(e.ifname);
    v["ofname"] = typed(e.ofname);
    v["prodname"] = typed(e.prodname);
    v["prodver"] = typed(e.prodver);
    return v;
}
Json::Value certificateJson(const Certificate& c) {
    Json::Value v(Json::objectValue);
    v["issuer"] = typed(c.issuer);
    v["serialno"] = typed(c.serialno);
    return v;
}

std::vector<FieldChange> compareEntries(const FileEntry& a, const FileEntry& b) {
    std::vector<FieldChange> c;
    // The signer first, then the version strings, then the times and states.
    if (a.hasSigner != b.hasSigner) {
        c.push_back({"signer", a.hasSigner ? quotedText(a.pubname) : "(unsigned)", b.hasSigner ? quotedText(b.pubname) : "(unsigned)",
                     signerJson(a), signerJson(b)});
    } else if (a.hasSigner) {
        compareText(c, "pubname", a.pubname, b.pubname);
        compareText(c, "issuer", a.issuer, b.issuer);
        compareText(c, "serialno", a.serialno, b.serialno);
    }
    if (a.hasVersion != b.hasVersion) {
        c.push_back({"version", a.hasVersion ? quotedText(a.fver) : "(no version resource)",
                     b.hasVersion ? quotedText(b.fver) : "(no version resource)", versionJson(a), versionJson(b)});
    } else if (a.hasVersion) {
        compareText(c, "fver", a.fver, b.fver);
        compareText(c, "prodver", a.prodver, b.prodver);
        compareText(c, "prodname", a.prodname, b.prodname);
        compareText(c, "cname", a.cname, b.cname);
        compareText(c, "ifname", a.ifname, b.ifname);
        compareText(c, "ofname", a.ofname, b.ofname);
    }
    if (a.mtime != b.mtime) c.push_back({"mtime", mtimeText(a.mtime), mtimeText(b.mtime), typed(a.mtime), typed(b.mtime)});
    compareNumber(c, "allowstate", a.allowstate, b.allowstate);
    compareFlag(c, "mutable", a.isMutable, b.isMutable);
    compareNumber(c, "attr", a.attr, b.attr);
    compareFlag(c, "default", a.isDefault, b.isDefault);
    compareNumber(c, "osdrive", a.osdrive, b.osdrive);
    // The letter case of the name itself may change while the match holds.
    compareText(c, "path", a.path(), b.path());
    return c;
}

struct Matched {
    std::vector<std::size_t> removed, added;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
};

// FNV-1a over text, letters folded when asked; several pieces hash as one.
class KeyHash {
public:
    KeyHash& add(std::string_view text, bool foldCase) {
        for (char c : text) {
            if (foldCase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            value_ = (value_ ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        return *this;
    }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 14695981039346656037ULL;
};

// Three-way comparison with ASCII letters folded, as the creator folds them.
int compareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compareExact(std::string_view a, std::string_view b) { return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1); }

// Matches items by key: `hashOf` hashes an item's key and `order` compares two
// keys three-way. Repeated keys pair up in order: the k-th of one key in the
// first list with the k-th in the second. Both lists are sorted by hash, then
// key, then position, and walked once side by side, so that a document of one
// path repeated a hundred thousand times costs no more than any other; sorting
// instead of building a map keeps a diff of two large documents to a few
// allocations.
template <typename Item, typename HashOf, typename Order>
Matched match(const std::vector<const Item*>& a, const std::vector<const Item*>& b, HashOf hashOf, Order order) {
    using Keyed = std::pair<std::uint64_t, std::size_t>;
    auto keyed = [&](const std::vector<const Item*>& items) {
        std::vector<Keyed> keys(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) keys[i] = {hashOf(*items[i]), i};
        std::sort(keys.begin(), keys.end(), [&](const Keyed& x, const Keyed& y) {
            if (x.first != y.first) return x.first < y.first;
            const int byKey = order(*items[x.second], *items[y.second]);
            return byKey != 0 ? byKey < 0 : x.second < y.second;
        });
        return keys;
    };
    const std::vector<Keyed> ka = keyed(a), kb = keyed(b);
    Matched m;
    std::size_t i = 0, j = 0;
    while (i < ka.size() || j < kb.size()) {
        int side = 0;  // <0: the first list's item comes first; >0: the second's
        if (j == kb.size()) {
            side = -1;
        } else if (i == ka.size()) {
            side = 1;
        } else if (ka[i].first != kb[j].first) {
            side = ka[i].first < kb[j].first ? -1 : 1;
        } else {
            side = order(*a[ka[i].second], *b[kb[j].second]);
        }
        if (side < 0) {
            m.removed.push_back(ka[i++].second);
        } else if (side > 0) {
            m.added.push_back(kb[j++].second);
        } else {
            m.pairs.emplace_back(ka[i++].second, kb[j++].second);
        }
    }
    // Reported in the order of the documents.
    std::sort(m.removed.begin(), m.removed.end());
    std::sort(m.added.begin(), m.added.end());
    std::sort(m.pairs.begin(), m.pairs.end(), [](const auto& x, const auto& y) { return x.second < y.second; });
    return m;
}

std::string_view withoutTrailingBackslash(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

void compareFiles(const Document& before, const Document& after, DocumentDiff& d) {
    for (const bool directories : {false, true}) {
        std::vector<const FileEntry*> a, b;
        for (const auto& e : before.files) if (e.isDirectory == directories) a.push_back(&e);
        for (const auto& e : after.files) if (e.isDirectory == directories) b.push_back(&e);
        // fpath and fname side by side: the same path may be split anywhere
        // only in theory, since fpath always ends at the last backslash.
        const Matched m = match(
            a, b, [](const FileEntry& e) { return KeyHash().add(e.fpath, true).add(e.fname, true).value(); },
            [](const FileEntry& x, const FileEntry& y) {
                const int byFolder = compareFolded(x.fpath, y.fpath);
                return byFolder != 0 ? byFolder : compareFolded(x.fname, y.fname);
            });
        auto& removed = directories ? d.directoriesRemoved : d.executablesRemoved;
        auto& added = directories ? d.directoriesAdded : d.executablesAdded;
        auto& changed = directories ? d.directoriesChanged : d.executablesChanged;
        auto& removedItems = directories ? d.items.directoriesRemoved : d.items.executablesRemoved;
        auto& addedItems = directories ? d.items.directoriesAdded : d.items.executablesAdded;
        for (std::size_t i : m.removed) {
            removed.push_back(a[i]->path());
            removedItems.push_back(a[i]);
        }
        for (std::size_t j : m.added) {
            added.push_back(b[j]->path());
            addedItems.push_back(b[j]);
        }
        for (const auto& [i, j] : m.pairs) {
            auto changes = compareEntries(*a[i], *b[j]);
            if (!changes.empty()) changed.push_back({b[j]->path(), std::move(changes)});
        }
    }
}

void comparePublishers(const Document& before, const Document& after, DocumentDiff& d) {
    std::vector<const Publisher*> a, b;
    for (const auto& p : before.publishers) a.push_back(&p);
    for (const auto& p : after.publishers) b.push_back(&p);
    // Publisher names are compared exactly, as the creator compares them.
    const Matched m = match(
        a, b, [](const Publisher& p) { return KeyHash().add(p.pubname, false).value(); },
        [](const Publisher& x, const Publisher& y) { return compareExact(x.pubname, y.pubname); });
    for (std::size_t i : m.removed) {
        d.publishersRemoved.emplace_back(a[i]->pubname);
        d.items.publishersRemoved.push_back(a[i]);
    }
    for (std::size_t j : m.added) {
        d.publishersAdded.emplace_back(b[j]->pubname);
        d.items.publishersAdded.push_back(b[j]);
    }
    auto certificateText = [](const Certificate& c) { return "issuer " + quotedText(c.issuer) + ", serial " + quotedText(c.serialno); };
    for (const auto& [i, j] : m.pairs) {
        const Publisher& p = *a[i];
        const Publisher& q = *b[j];
        std::vector<FieldChange> c;
        compareNumber(c, "allowstate", p.allowstate, q.allowstate);
        compareFlag(c, "mutable", p.isMutable, q.isMutable);
        compareNumber(c, "type", p.type, q.type);
        if (!c.empty()) d.publishersChanged.push_back({std::string(q.pubname), std::move(c)});
        // A sorted look-up, not a scan per certificate: a publisher of many
        // certificates must not make the diff quadratic. The certificates of
        // `to` that `from` lacks: those new in q are the change's new values,
        // those gone from p its old ones.
        auto difference = [&](const Publisher& from, const Publisher& to, bool added) {
            std::vector<std::pair<Text, Text>> there;
            there.reserve(from.certificates.size());
            for (const Certificate& other : from.certificates) there.emplace_back(other.issuer, other.serialno);
            std::sort(there.begin(), there.end());
            std::vector<FieldChange> extra;
            for (const Certificate& cert : to.certificates) {
                if (!std::binary_search(there.begin(), there.end(), std::make_pair(cert.issuer, cert.serialno))) {
                    FieldChange change{"certificate", "", certificateText(cert), std::nullopt, std::nullopt};
                    (added ? change.newValue : change.oldValue) = certificateJson(cert);
                    extra.push_back(std::move(change));
                }
            }
            return extra;
        };
        if (auto extra = difference(p, q, true); !extra.empty()) d.certificatesAdded.push_back({std::string(q.pubname), std::move(extra)});
        if (auto gone = difference(q, p, false); !gone.empty()) d.certificatesRemoved.push_back({std::string(q.pubname), std::move(gone)});
    }
    // A publisher that is new brings its certificates with it.
    for (std::size_t j : m.added) {
        std::vector<FieldChange> certificates;
        for (const Certificate& cert : b[j]->certificates) {
            certificates.push_back({"certificate", "", certificateText(cert), std::nullopt, certificateJson(cert)});
        }
        if (!certificates.empty()) d.certificatesAdded.push_back({std::string(b[j]->pubname), std::move(certificates)});
    }
}

void compareAllowedDirectories(const Document& before, const Document& after, DocumentDiff& d) {
    std::vector<const AllowedDirectory*> a, b;
    for (const auto& e : before.directories) a.push_back(&e);
    for (const auto& e : after.directories) b.push_back(&e);
    const Matched m = match(
        a, b, [](const AllowedDirectory& e) { return KeyHash().add(withoutTrailingBackslash(e.dirpath), true).value(); },
        [](const AllowedDirectory& x, const AllowedDirectory& y) {
            return compareFolded(withoutTrailingBackslash(x.dirpath), withoutTrailingBackslash(y.dirpath));
        });
    for (std::size_t i : m.removed) {
        d.allowedDirectoriesRemoved.emplace_back(a[i]->dirpath);
        d.items.allowedDirectoriesRemoved.push_back(a[i]);
    }
    for (std::size_t j : m.added) {
        d.allowedDirectoriesAdded.emplace_back(b[j]->dirpath);
        d.items.allowedDirectoriesAdded.push_back(b[j]);
    }
    for (const auto& [i, j] : m.pairs) {
        std::vector<FieldChange> c;
        compareNumber(c, "allowstate", a[i]->allowstate, b[j]->allowstate);
        compareFlag(c, "mutable", a[i]->isMutable, b[j]->isMutable);
        compareFlag(c, "strictpub", a[i]->strictpub, b[j]->strictpub);
        compareFlag(c, "default", a[i]->isDefault, b[j]->isDefault);
        compareNumber(c, "type", a[i]->type, b[j]->type);
        compareText(c, "dirpath", a[i]->dirpath, b[j]->dirpath);
        if (!c.empty()) d.allowedDirectoriesChanged.push_back({std::string(b[j]->dirpath), std::move(c)});
    }
}

}  // namespace

DocumentDiff compareDocuments(const Document& before, const Document& after) {
    DocumentDiff d;
    const Header& h = before.header;
    const Header& k = after.header;
    compareNumber(d.header, "buildnumber", h.buildnumber, k.buildnumber);
    compareText(d.header, "desc", h.desc, k.desc);
    compareText(d.header, "hostname", h.hostname, k.hostname);
    compareText(d.header, "os", h.os, k.os);
    compareText(d.header, "osdrive", h.osdrive, k.osdrive);
    compareText(d.header, "osdrivevar", h.osdrivevar, k.osdrivevar);
    compareNumber(d.header, "osid", h.osid, k.osid);
    compareText(d.header, "osname", h.osname, k.osname);
    compareText(d.header, "osver", h.osver, k.osver);
    compareText(d.header, "platform", h.platform, k.platform);
    compareNumber(d.header, "suite", h.suite, k.suite);
    compareText(d.header, "title", h.title, k.title);
    const Summary& s = before.summary;
    const Summary& t = after.summary;
    compareNumber(d.counters, "dircnt", s.dircnt, t.dircnt);
    compareNumber(d.counters, "filecnt", s.filecnt, t.filecnt);
    compareNumber(d.counters, "supportedfilecnt", s.supportedfilecnt, t.supportedfilecnt);
    compareNumber(d.counters, "alloweddircnt", s.alloweddircnt, t.alloweddircnt);
    compareNumber(d.counters, "allowedfilecnt", s.allowedfilecnt, t.allowedfilecnt);
    compareNumber(d.counters, "allowedpubcnt", s.allowedpubcnt, t.allowedpubcnt);
    compareText(d.counters, "status", s.status, t.status);
    compareFlag(d.misc, "globalstrictpub", before.globalstrictpub, after.globalstrictpub);
    compareFiles(before, after, d);
    comparePublishers(before, after, d);
    compareAllowedDirectories(before, after, d);
    return d;
}

namespace {

// Every line of the text output is ours: a name or value from a document is
// quoted and shows its hidden characters as escapes, so that no line break,
// terminal sequence or reordering character in it can start a line, hide a
// change or disguise a name.
void printNames(const char* title, const char* mark, const std::vector<std::string>& names, std::ostream& out) {
    if (names.empty()) return;
    out << "\n" << title << " (" << names.size() << "):\n";
    for (const auto& name : names) out << "  " << mark << " " << visibleUtf8(quotedText(name)) << "\n";
}

void printFields(const std::vector<FieldChange>& changes, const char* indent, std::ostream& out) {
    for (const auto& c : changes) {
        out << indent << c.field << ": ";
        if (c.before.empty()) {
            out << visibleUtf8(c.after) << "\n";
        } else {
            out << visibleUtf8(c.before) << " -> " << visibleUtf8(c.after) << "\n";
        }
    }
}

void printItems(const char* title, const char* mark, const std::vector<ItemChange>& items, std::ostream& out) {
    if (items.empty()) return;
    out << "\n" << title << " (" << items.size() << "):\n";
    for (const auto& item : items) {
        out << "  " << mark << " " << visibleUtf8(quotedText(item.name)) << "\n";
        printFields(item.changes, "      ", out);
    }
}

Json::Value fieldsJson(const std::vector<FieldChange>& changes) {
    Json::Value list(Json::arrayValue);
    for (const auto& c : changes) {
        Json::Value v(Json::objectValue);
        v["field"] = c.field;
        if (c.oldValue) v["old"] = *c.oldValue;
        if (c.newValue) v["new"] = *c.newValue;
        list.append(std::move(v));
    }
    return list;
}

Json::Value itemsJson(const std::vector<ItemChange>& items) {
    Json::Value list(Json::arrayValue);
    for (const auto& item : items) {
        Json::Value v(Json::objectValue);
        v["name"] = item.name;
        v["changes"] = fieldsJson(item.changes);
        list.append(std::move(v));
    }
    return list;
}

// An item found in one document only, with the state a script decides on.
Json::Value itemJson(const FileEntry& e) {
    Json::Value v(Json::objectValue);
    v["path"] = e.path();
    if (!e.isDirectory) {
        const Json::Value signer = signerJson(e);
        for (const char* key : {"pubname", "issuer", "serialno"}) v[key] = signer.isNull() ? signer : signer[key];
        v["fver"] = e.hasVersion ? typed(e.fver) : Json::Value(Json::nullValue);
    }
    v["allowstate"] = typed(e.allowstate);
    v["mutable"] = e.isMutable;
    return v;
}
Json::Value itemJson(const Publisher& p) {
    Json::Value v(Json::objectValue);
    v["pubname"] = typed(p.pubname);
    v["allowstate"] = typed(p.allowstate);
    v["mutable"] = p.isMutable;
    v["type"] = typed(p.type);
    v["certinfo"] = Json::Value(Json::arrayValue);
    for (const Certificate& c : p.certificates) v["certinfo"].append(certificateJson(c));
    return v;
}
Json::Value itemJson(const AllowedDirectory& a) {
    Json::Value v(Json::objectValue);
    v["dirpath"] = typed(a.dirpath);
    v["allowstate"] = typed(a.allowstate);
    v["default"] = a.isDefault;
    v["mutable"] = a.isMutable;
    v["strictpub"] = a.strictpub;
    v["type"] = typed(a.type);
    return v;
}
template <typename Item>
Json::Value itemsJson(const std::vector<const Item*>& items) {
    Json::Value list(Json::arrayValue);
    for (const Item* item : items) list.append(itemJson(*item));
    return list;
}

}  // namespace

void printDiff(const std::string& oldName, const std::string& newName, const DocumentDiff& d, std::ostream& out) {
    out << "--- " << visibleUtf8(oldName) << "\n+++ " << visibleUtf8(newName) << "\n";
    if (d.same()) {
        out << "\nThe documents are the same but for the run's times.\n";
        return;
    }
    if (!d.header.empty()) {
        out << "\nHeader:\n";
        printFields(d.header, "  ", out);
    }
    if (!d.counters.empty()) {
        out << "\nCounters:\n";
        printFields(d.counters, "  ", out);
    }
    if (!d.misc.empty()) {
        out << "\nMisc:\n";
        printFields(d.misc, "  ", out);
    }
    printNames("Executables added", "+", d.executablesAdded, out);
    printNames("Executables removed", "-", d.executablesRemoved, out);
    printItems("Executables changed", "~", d.executablesChanged, out);
    printNames("Directories added", "+", d.directoriesAdded, out);
    printNames("Directories removed", "-", d.directoriesRemoved, out);
    printItems("Directories changed", "~", d.directoriesChanged, out);
    printNames("Publishers added", "+", d.publishersAdded, out);
    printNames("Publishers removed", "-", d.publishersRemoved, out);
    printItems("Publishers changed", "~", d.publishersChanged, out);
    printItems("Certificates added", "+", d.certificatesAdded, out);
    printItems("Certificates removed", "-", d.certificatesRemoved, out);
    printNames("Allowed directories added", "+", d.allowedDirectoriesAdded, out);
    printNames("Allowed directories removed", "-", d.allowedDirectoriesRemoved, out);
    printItems("Allowed directories changed", "~", d.allowedDirectoriesChanged, out);
}

void printDiffJson(const std::string& oldName, const std::string& newName, const DocumentDiff& d, std::ostream& out) {
    Json::Value root(Json::objectValue);
    root["old"] = oldName;
    root["new"] = newName;
    root["same"] = d.same();
    root["header"] = fieldsJson(d.header);
    root["counters"] = fieldsJson(d.counters);
    root["misc"] = fieldsJson(d.misc);
    const DocumentDiff::OneSided& items = d.items;
    root["executables"]["added"] = itemsJson(items.executablesAdded);
    root["executables"]["removed"] = itemsJson(items.executablesRemoved);
    root["executables"]["changed"] = itemsJson(d.executablesChanged);
    root["directories"]["added"] = itemsJson(items.directoriesAdded);
    root["directories"]["removed"] = itemsJson(items.directoriesRemoved);
    root["directories"]["changed"] = itemsJson(d.directoriesChanged);
    root["publishers"]["added"] = itemsJson(items.publishersAdded);
    root["publishers"]["removed"] = itemsJson(items.publishersRemoved);
    root["publishers"]["changed"] = itemsJson(d.publishersChanged);
    root["certificates"]["added"] = itemsJson(d.certificatesAdded);
    root["certificates"]["removed"] = itemsJson(d.certificatesRemoved);
    root["alloweddirectories"]["added"] = itemsJson(items.allowedDirectoriesAdded);
    root["alloweddirectories"]["removed"] = itemsJson(items.allowedDirectoriesRemoved);
    root["alloweddirectories"]["changed"] = itemsJson(d.allowedDirectoriesChanged);
    // ASCII only: every character past ASCII comes out as a \u escape, so
    // that no name from a scanned machine reaches a terminal raw, and any
    // JSON reader still gets the document's exact text back. JsonCpp leaves
    // DEL as it is; inside this output it can only stand in a string.
    Json::StreamWriterBuilder builder;
    builder["indentation"] = " ";
    builder["emitUTF8"] = false;
    std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream text;
    writer->write(root, &text);
    std::string json = tool::wholeText(text);
    for (std::size_t at = json.find('\x7F'); at != std::string::npos; at = json.find('\x7F', at)) {
        json.replace(at, 1, "\\u007F");
    }
    out << json << "\n";
}

}  // namespace baseline::doc
