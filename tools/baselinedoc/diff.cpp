// Comparing two documents. Only the run's own times ("cdate", "starttime",
// "endtime") are left out; every other difference is reported, so that "same"
// means the machine, the configuration's outcome and every entry are as before.
#include "diff.h"

#include <json/json.h>

#include <memory>
#include <ostream>
#include <unordered_map>

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

std::string quoted(const std::string& text) { return "\"" + text + "\""; }
std::string flag(bool value) { return value ? "true" : "false"; }

void compareText(std::vector<FieldChange>& changes, const char* field, const std::string& a, const std::string& b) {
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

// Matches entries of one kind by a key; repeated keys pair up in order.
template <typename Item, typename KeyOf>
Matched match(const std::vector<const Item*>& a, const std::vector<const Item*>& b, KeyOf keyOf) {
    std::unordered_map<std::string, std::vector<std::size_t>> inB;
    inB.reserve(b.size());
    for (std::size_t i = 0; i < b.size(); ++i) inB[keyOf(*b[i])].push_back(i);
    std::unordered_map<std::string, std::size_t> used;
    std::vector<bool> matchedB(b.size(), false);
    Matched m;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::string key = keyOf(*a[i]);
        const auto found = inB.find(key);
        std::size_t& next = used[key];
        if (found == inB.end() || next >= found->second.size()) {
            m.removed.push_back(i);
            continue;
        }
        const std::size_t j = found->second[next++];
        matchedB[j] = true;
        m.pairs.emplace_back(i, j);
    }
    for (std::size_t j = 0; j < b.size(); ++j) {
        if (!matchedB[j]) m.added.push_back(j);
    }
    return m;
}

void compareFiles(const Document& before, const Document& after, DocumentDiff& d) {
    for (const bool directories : {false, true}) {
        std::vector<const FileEntry*> a, b;
        for (const auto& e : before.files) if (e.isDirectory == directories) a.push_back(&e);
        for (const auto& e : after.files) if (e.isDirectory == directories) b.push_back(&e);
        const Matched m = match(a, b, [](const FileEntry& e) { return lowerAscii(e.path()); });
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
    const Matched m = match(a, b, [](const Publisher& p) { return p.pubname; });
    for (std::size_t i : m.removed) d.publishersRemoved.push_back(a[i]->pubname);
    for (std::size_t j : m.added) d.publishersAdded.push_back(b[j]->pubname);
    auto certificateText = [](const Certificate& c) { return "issuer " + quoted(c.issuer) + ", serial " + c.serialno; };
    for (const auto& [i, j] : m.pairs) {
        const Publisher& p = *a[i];
        const Publisher& q = *b[j];
        std::vector<FieldChange> c;
        compareNumber(c, "allowstate", p.allowstate, q.allowstate);
        compareFlag(c, "mutable", p.isMutable, q.isMutable);
        compareNumber(c, "type", p.type, q.type);
        if (!c.empty()) d.publishersChanged.push_back({q.pubname, std::move(c)});
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
        if (auto extra = difference(p, q); !extra.empty()) d.certificatesAdded.push_back({q.pubname, std::move(extra)});
        if (auto gone = difference(q, p); !gone.empty()) d.certificatesRemoved.push_back({q.pubname, std::move(gone)});
    }
    // A publisher that is new brings its certificates with it.
    for (std::size_t j : m.added) {
        std::vector<FieldChange> certificates;
        for (const Certificate& cert : b[j]->certificates) certificates.push_back({"certificate", "", certificateText(cert)});
        if (!certificates.empty()) d.certificatesAdded.push_back({b[j]->pubname, std::move(certificates)});
    }
}

void compareAllowedDirectories(const Document& before, const Document& after, DocumentDiff& d) {
    std::vector<const AllowedDirectory*> a, b;
    for (const auto& e : before.directories) a.push_back(&e);
    for (const auto& e : after.directories) b.push_back(&e);
    const Matched m = match(a, b, [](const AllowedDirectory& e) {
        std::string normal = lowerAscii(e.dirpath);
        if (!normal.empty() && normal.back() == '\\') normal.pop_back();
        return normal;
    });
    for (std::size_t i : m.removed) d.allowedDirectoriesRemoved.push_back(a[i]->dirpath);
    for (std::size_t j : m.added) d.allowedDirectoriesAdded.push_back(b[j]->dirpath);
    for (const auto& [i, j] : m.pairs) {
        std::vector<FieldChange> c;
        compareNumber(c, "allowstate", a[i]->allowstate, b[j]->allowstate);
        compareFlag(c, "mutable", a[i]->isMutable, b[j]->isMutable);
        compareFlag(c, "strictpub", a[i]->strictpub, b[j]->strictpub);
        compareFlag(c, "default", a[i]->isDefault, b[j]->isDefault);
        compareNumber(c, "type", a[i]->type, b[j]->type);
        compareText(c, "dirpath", a[i]->dirpath, b[j]->dirpath);
        if (!c.empty()) d.allowedDirectoriesChanged.push_back({b[j]->dirpath, std::move(c)});
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
