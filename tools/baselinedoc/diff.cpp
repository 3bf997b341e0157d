// Comparing two documents. Only the run's own times ("cdate", "starttime",
// "endtime") are left out; every other difference is reported, so that "same"
// means the machine, the configuration's outcome and every entry are as before.
#include "diff.h"

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <ostream>

#include "summary.h"

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

std::string quoted(Text text) { return "\"" + std::string(text) + "\""; }
std::string flag(bool value) { return value ? "true" : "false"; }

void compareText(std::vector<FieldChange>& changes, const char* field, Text a, Text b) {
    if (a != b) changes.push_back({field, quoted(a), quoted(b)});
}
void compareNumber(std::vector<FieldChange>& changes, const char* field, std::int64_t a, std::int64_t b) {
    if (a != b) changes.push_back({field, std::to_string(a), std::to_string(b)});
}
void compareFlag(std::vector<FieldChange>& changes, const char* field, bool a, bool b) {
    if (a != b) changes.push_back({field, flag(a), flag(b)});
}

std::string mtimeText(std::int64_t seconds) { return utcText(seconds) + " (" + std::to_string(seconds) + ")"; }

std::vector<FieldChange> compareEntries(const FileEntry& a, const FileEntry& b) {
    std::vector<FieldChange> c;
    // The signer first, then the version strings, then the times and states.
    if (a.hasSigner != b.hasSigner) {
        c.push_back({"signer", a.hasSigner ? quoted(a.pubname) : "(unsigned)", b.hasSigner ? quoted(b.pubname) : "(unsigned)"});
    } else if (a.hasSigner) {
        compareText(c, "pubname", a.pubname, b.pubname);
        compareText(c, "issuer", a.issuer, b.issuer);
        compareText(c, "serialno", a.serialno, b.serialno);
    }
    if (a.hasVersion != b.hasVersion) {
        c.push_back({"version", a.hasVersion ? quoted(a.fver) : "(no version resource)",
                     b.hasVersion ? quoted(b.fver) : "(no version resource)"});
    } else if (a.hasVersion) {
        compareText(c, "fver", a.fver, b.fver);
        compareText(c, "prodver", a.prodver, b.prodver);
        compareText(c, "prodname", a.prodname, b.prodname);
        compareText(c, "cname", a.cname, b.cname);
        compareText(c, "ifname", a.ifname, b.ifname);
        compareText(c, "ofname", a.ofname, b.ofname);
    }
    if (a.mtime != b.mtime) c.push_back({"mtime", mtimeText(a.mtime), mtimeText(b.mtime)});
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

bool equalFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Matches items by key: `hashOf` hashes an item's key and `same` compares two
// keys. Repeated keys pair up in order. Sorting by hash instead of building a
// map keeps a diff of two large documents to a few allocations.
template <typename Item, typename HashOf, typename Same>
Matched match(const std::vector<const Item*>& a, const std::vector<const Item*>& b, HashOf hashOf, Same same) {
    using Keyed = std::pair<std::uint64_t, std::size_t>;
    auto keyed = [&](const std::vector<const Item*>& items) {
        std::vector<Keyed> keys(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) keys[i] = {hashOf(*items[i]), i};
        std::sort(keys.begin(), keys.end());
        return keys;
    };
    const std::vector<Keyed> ka = keyed(a), kb = keyed(b);
    Matched m;
    std::size_t i = 0, j = 0;
    while (i < ka.size() || j < kb.size()) {
        if (j == kb.size() || (i < ka.size() && ka[i].first < kb[j].first)) {
            m.removed.push_back(ka[i++].second);
        } else if (i == ka.size() || kb[j].first < ka[i].first) {
            m.added.push_back(kb[j++].second);
        } else {
            // One hash: pair equal keys in order (different keys here are a
            // hash collision, and stay unpaired).
            const std::uint64_t hash = ka[i].first;
            std::size_t ie = i, je = j;
            while (ie < ka.size() && ka[ie].first == hash) ++ie;
            while (je < kb.size() && kb[je].first == hash) ++je;
            std::vector<bool> used(je - j, false);
            for (std::size_t x = i; x < ie; ++x) {
                bool paired = false;
                for (std::size_t y = j; y < je && !paired; ++y) {
                    if (used[y - j] || !same(*a[ka[x].second], *b[kb[y].second])) continue;
                    used[y - j] = true;
                    m.pairs.emplace_back(ka[x].second, kb[y].second);
                    paired = true;
                }
                if (!paired) m.removed.push_back(ka[x].second);
            }
            for (std::size_t y = j; y < je; ++y) {
                if (!used[y - j]) m.added.push_back(kb[y].second);
            }
            i = ie;
            j = je;
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
            [](const FileEntry& x, const FileEntry& y) { return equalFolded(x.fpath, y.fpath) && equalFolded(x.fname, y.fname); });
        auto& removed = directories ? d.directoriesRemoved : d.executablesRemoved;
        auto& added = directories ? d.directoriesAdded : d.executablesAdded;
        auto& changed = directories ? d.directoriesChanged : d.executablesChanged;
        for (std::size_t i : m.removed) removed.push_back(a[i]->path());
        for (std::size_t j : m.added) added.push_back(b[j]->path());
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
        [](const Publisher& x, const Publisher& y) { return x.pubname == y.pubname; });
    for (std::size_t i : m.removed) d.publishersRemoved.emplace_back(a[i]->pubname);
    for (std::size_t j : m.added) d.publishersAdded.emplace_back(b[j]->pubname);
    auto certificateText = [](const Certificate& c) { return "issuer " + quoted(c.issuer) + ", serial " + std::string(c.serialno); };
    for (const auto& [i, j] : m.pairs) {
        const Publisher& p = *a[i];
        const Publisher& q = *b[j];
        std::vector<FieldChange> c;
        compareNumber(c, "allowstate", p.allowstate, q.allowstate);
        compareFlag(c, "mutable", p.isMutable, q.isMutable);
        compareNumber(c, "type", p.type, q.type);
        if (!c.empty()) d.publishersChanged.push_back({std::string(q.pubname), std::move(c)});
        auto difference = [&](const Publisher& from, const Publisher& to) {
            std::vector<FieldChange> extra;
            for (const Certificate& cert : to.certificates) {
                bool there = false;
                for (const Certificate& other : from.certificates) {
                    there = there || (other.issuer == cert.issuer && other.serialno == cert.serialno);
                }
                if (!there) extra.push_back({"certificate", "", certificateText(cert)});
            }
            return extra;
        };
        if (auto extra = difference(p, q); !extra.empty()) d.certificatesAdded.push_back({std::string(q.pubname), std::move(extra)});
        if (auto gone = difference(q, p); !gone.empty()) d.certificatesRemoved.push_back({std::string(q.pubname), std::move(gone)});
    }
    // A publisher that is new brings its certificates with it.
    for (std::size_t j : m.added) {
        std::vector<FieldChange> certificates;
        for (const Certificate& cert : b[j]->certificates) certificates.push_back({"certificate", "", certificateText(cert)});
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
            return equalFolded(withoutTrailingBackslash(x.dirpath), withoutTrailingBackslash(y.dirpath));
        });
    for (std::size_t i : m.removed) d.allowedDirectoriesRemoved.emplace_back(a[i]->dirpath);
    for (std::size_t j : m.added) d.allowedDirectoriesAdded.emplace_back(b[j]->dirpath);
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

void printNames(const char* title, const char* mark, const std::vector<std::string>& names, std::ostream& out) {
    if (names.empty()) return;
    out << "\n" << title << " (" << names.size() << "):\n";
    for (const auto& name : names) out << "  " << mark << " " << name << "\n";
}

void printFields(const std::vector<FieldChange>& changes, const char* indent, std::ostream& out) {
    for (const auto& c : changes) {
        out << indent << c.field << ": ";
        if (c.before.empty()) {
            out << c.after << "\n";
        } else {
            out << c.before << " -> " << c.after << "\n";
        }
    }
}

void printItems(const char* title, const char* mark, const std::vector<ItemChange>& items, std::ostream& out) {
    if (items.empty()) return;
    out << "\n" << title << " (" << items.size() << "):\n";
    for (const auto& item : items) {
        out << "  " << mark << " " << item.name << "\n";
        printFields(item.changes, "      ", out);
    }
}

Json::Value fieldsJson(const std::vector<FieldChange>& changes) {
    Json::Value list(Json::arrayValue);
    for (const auto& c : changes) {
        Json::Value v(Json::objectValue);
        v["field"] = c.field;
        if (!c.before.empty()) v["old"] = c.before;
        v["new"] = c.after;
        list.append(v);
    }
    return list;
}

Json::Value namesJson(const std::vector<std::string>& names) {
    Json::Value list(Json::arrayValue);
    for (const auto& n : names) list.append(n);
    return list;
}

Json::Value itemsJson(const std::vector<ItemChange>& items) {
    Json::Value list(Json::arrayValue);
    for (const auto& item : items) {
        Json::Value v(Json::objectValue);
        v["name"] = item.name;
        v["changes"] = fieldsJson(item.changes);
        list.append(v);
    }
    return list;
}

}  // namespace

void printDiff(const std::string& oldName, const std::string& newName, const DocumentDiff& d, std::ostream& out) {
    out << "--- " << oldName << "\n+++ " << newName << "\n";
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
    root["executables"]["added"] = namesJson(d.executablesAdded);
    root["executables"]["removed"] = namesJson(d.executablesRemoved);
    root["executables"]["changed"] = itemsJson(d.executablesChanged);
    root["directories"]["added"] = namesJson(d.directoriesAdded);
    root["directories"]["removed"] = namesJson(d.directoriesRemoved);
    root["directories"]["changed"] = itemsJson(d.directoriesChanged);
    root["publishers"]["added"] = namesJson(d.publishersAdded);
    root["publishers"]["removed"] = namesJson(d.publishersRemoved);
    root["publishers"]["changed"] = itemsJson(d.publishersChanged);
    root["certificates"]["added"] = itemsJson(d.certificatesAdded);
    root["certificates"]["removed"] = itemsJson(d.certificatesRemoved);
    root["alloweddirectories"]["added"] = namesJson(d.allowedDirectoriesAdded);
    root["alloweddirectories"]["removed"] = namesJson(d.allowedDirectoriesRemoved);
    root["alloweddirectories"]["changed"] = itemsJson(d.allowedDirectoriesChanged);
    Json::StreamWriterBuilder builder;
    builder["indentation"] = " ";
    builder["emitUTF8"] = true;
    std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    writer->write(root, &out);
    out << "\n";
}

}  // namespace baseline::doc
