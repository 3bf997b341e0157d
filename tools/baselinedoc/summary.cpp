// The summary: header, counters and status, publishers with what they signed,
// and the mutable allowed items, which are where an allowlist is weakest.
#include "summary.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <unordered_map>

#include "platform/keyed_hash.h"
#include "platform/visible_text.h"

namespace baseline::doc {

std::string utcText(std::int64_t seconds) {
    // Civil date from days since 1970 (proleptic Gregorian), so that no C
    // runtime's gmtime range or time zone comes into it.
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

Tally tally(const Document& document) {
    Tally t;
    std::unordered_map<Text, std::size_t, KeyedHash> index;  // names from the document: keyed
    for (const Publisher& publisher : document.publishers) {
        if (index.emplace(publisher.pubname, t.publishers.size()).second) {
            t.publishers.push_back({publisher.pubname, 0, &publisher});
        }
    }
    for (const Publisher& publisher : document.publishers) t.hiddenNames += holdsHiddenCharacters(publisher.pubname);
    for (const AllowedDirectory& directory : document.directories) {
        t.hiddenNames += holdsHiddenCharacters(directory.dirpath);
    }
    for (const FileEntry& entry : document.files) {
        t.hiddenNames += holdsHiddenCharacters(entry.fpath) || holdsHiddenCharacters(entry.fname);
        const bool allowed = entry.allowstate != 0;
        if (entry.isDirectory) {
            ++t.directories;
            if (allowed) {
                ++t.allowedDirectories;
                if (entry.isMutable) ++t.mutableAllowedDirectories;
            }
            continue;
        }
        ++t.executables;
        if (allowed) {
            ++t.allowedExecutables;
            if (entry.isMutable) ++t.mutableAllowedExecutables;
        }
        if (!entry.hasSigner) {
            ++t.unsigned_;
            continue;
        }
        const auto [at, inserted] = index.emplace(entry.pubname, t.publishers.size());
        if (inserted) t.publishers.push_back({entry.pubname, 0, nullptr});
        ++t.publishers[at->second].executables;
    }
    for (const AllowedDirectory& directory : document.directories) {
        if (directory.isMutable) ++t.mutableListedDirectories;
    }
    return t;
}

namespace {

constexpr std::size_t kPublisherLines = 12;

std::string yesNo(bool value) { return value ? "yes" : "no"; }

// Text of the document as a terminal may show it.
std::string shown(Text text) { return visibleUtf8(text); }

}  // namespace

void printSummary(const std::string& name, const Document& document, std::ostream& out) {
    const Header& h = document.header;
    const Summary& s = document.summary;
    const Tally t = tally(document);
    out << "Allowlist " << visibleUtf8(name) << (document.complete() ? "" : " (incomplete: see baselinedoc check)") << "\n";
    if (document.hasHeader) {
        out << "  Title:        " << shown(h.title) << "\n"
            << "  Description:  " << shown(h.desc) << "\n"
            << "  Host:         " << shown(h.hostname) << ", " << shown(h.osname) << " (" << shown(h.os) << " "
            << shown(h.osver) << " build " << h.buildnumber << ", " << shown(h.platform) << ", os id " << h.osid
            << ", suite " << h.suite << ")\n"
            << "  System drive: " << shown(h.osdrive) << "\n"
            << "  Created:      " << utcText(h.cdate) << "\n";
    } else {
        out << "  (no header)\n";
    }
    if (document.hasSummary) {
        out << "  Run:          " << shown(s.starttime) << " to " << shown(s.endtime) << ", status " << shown(s.status)
            << "\n"
            << "  Discovered:   " << s.dircnt << " directories, " << s.filecnt << " files, " << s.supportedfilecnt
            << " supported files\n"
            << "  Allowed:      " << s.alloweddircnt << " directories, " << s.allowedfilecnt << " files, "
            << s.allowedpubcnt << " publishers\n";
    } else {
        out << "  Run:          no summary in the document\n";
    }
    out << "  Listed:       " << t.directories << " directory entries, " << t.executables << " executables, "
        << document.publishers.size() << " publishers, " << document.directories.size() << " allowed directories\n"
        << "  Global strict publisher: " << (document.hasMisc ? yesNo(document.globalstrictpub) : "(missing)") << "\n"
        << "  Hidden characters: " << t.hiddenNames << (t.hiddenNames == 1 ? " name holds" : " names hold")
        << " control, bidirectional or invisible characters (shown as \\uXXXX)\n";

    out << "\nPublishers and the executables each signed:\n";
    std::vector<const PublisherCount*> order;
    for (const auto& p : t.publishers) order.push_back(&p);
    std::stable_sort(order.begin(), order.end(),
                     [](const PublisherCount* a, const PublisherCount* b) { return a->executables > b->executables; });
    for (std::size_t i = 0; i < order.size() && i < kPublisherLines; ++i) {
        const PublisherCount& p = *order[i];
        out << "  " << p.executables << "\t" << shown(p.name);
        if (p.listed == nullptr) {
            out << "  (not in the publishers list)";
        } else {
            out << "  (" << (p.listed->allowstate != 0 ? "allowed" : "not allowed")
                << (p.listed->isMutable ? ", mutable" : "") << ", " << p.listed->certificates.size() << " certificate"
                << (p.listed->certificates.size() == 1 ? "" : "s") << ")";
        }
        out << "\n";
    }
    if (order.size() > kPublisherLines) out << "  ... and " << order.size() - kPublisherLines << " more publishers\n";
    if (order.empty()) out << "  (none)\n";
    out << "  " << t.unsigned_ << "\tunsigned executables (no signer)\n";

    out << "\nMutable allowed items (ordinary users may change them):\n"
        << "  executables:           " << t.mutableAllowedExecutables << " of " << t.allowedExecutables << " allowed\n"
        << "  directory entries:     " << t.mutableAllowedDirectories << " of " << t.allowedDirectories << " allowed\n"
        << "  allowed directories:   " << t.mutableListedDirectories << " of " << document.directories.size() << "\n";
    printRiskiest(document, out);
}

std::vector<RiskyNames> riskiest(const Document& document) {
    constexpr std::size_t kShown = 20;
    std::vector<RiskyNames> kinds = {{"allowed executables that are mutable", {}, 0},
                                     {"allowed directory entries that are mutable", {}, 0},
                                     {"allowed directories that are mutable", {}, 0},
                                     {"publishers allowed by name alone (no certificate in the document)", {}, 0}};
    const auto add = [&](RiskyNames& kind, std::string name) {
        if (kind.names.size() < kShown) kind.names.push_back(std::move(name));
        ++kind.count;
    };
    for (const FileEntry& f : document.files) {
        if (f.allowstate == 0 || !f.isMutable) continue;
        add(kinds[f.isDirectory ? 1 : 0], f.path());
    }
    for (const AllowedDirectory& d : document.directories) {
        if (d.isMutable) add(kinds[2], std::string(d.dirpath));
    }
    for (const Publisher& p : document.publishers) {
        if (p.allowstate != 0 && p.certificates.empty()) add(kinds[3], std::string(p.pubname));
    }
    return kinds;
}

void printRiskiest(const Document& document, std::ostream& out) {
    out << "\nThe riskiest items by name:\n";
    for (const RiskyNames& kind : riskiest(document)) {
        out << "  " << kind.title << " (" << kind.count << "):\n";
        for (const std::string& name : kind.names) out << "    " << visibleUtf8(name) << "\n";
        if (kind.count > kind.names.size()) out << "    ... and " << kind.count - kind.names.size() << " more\n";
        if (kind.count == 0) out << "    (none)\n";
    }
}

}  // namespace baseline::doc
