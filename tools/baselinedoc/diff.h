// `baselinedoc diff`: what changed between two documents. Files are matched by
// their path without regard to ASCII letter case (the k-th of several entries
// with one path matches the k-th in the other document).
#pragma once

#include <json/value.h>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "document.h"

namespace baseline::doc {

struct FieldChange {
    std::string field;  // the document's key: "pubname", "fver", "mtime", "allowstate"
    std::string before, after;
    // The same two values typed as the document holds them, for scripts: a
    // string, a number, a boolean, or an object for a signer, a version
    // resource or a certificate (null for a signer or resource not there).
    // A certificate added has no old value, one removed no new value.
    std::optional<Json::Value> oldValue, newValue;
};

struct ItemChange {
    std::string name;  // a path, a publisher name, a header key
    std::vector<FieldChange> changes;
};

struct DocumentDiff {
    std::vector<FieldChange> header;    // run times excepted
    std::vector<FieldChange> counters;  // the summary's numbers and status
    std::vector<std::string> executablesAdded, executablesRemoved;
    std::vector<std::string> directoriesAdded, directoriesRemoved;
    std::vector<ItemChange> executablesChanged;  // signer, version strings, mtime and any other key
    std::vector<ItemChange> directoriesChanged;  // allowed or mutable state and any other key
    std::vector<std::string> publishersAdded, publishersRemoved;
    std::vector<ItemChange> certificatesAdded, certificatesRemoved;  // field "certificate", issuer / serial
    std::vector<ItemChange> publishersChanged;                       // allowstate, mutable, type
    std::vector<std::string> allowedDirectoriesAdded, allowedDirectoriesRemoved;
    std::vector<ItemChange> allowedDirectoriesChanged;
    std::vector<FieldChange> misc;

    // The items behind the added and removed names above, in the same order,
    // for the typed output. They point into the compared documents, which
    // must outlive the diff.
    struct OneSided {
        std::vector<const FileEntry*> executablesAdded, executablesRemoved, directoriesAdded, directoriesRemoved;
        std::vector<const Publisher*> publishersAdded, publishersRemoved;
        std::vector<const AllowedDirectory*> allowedDirectoriesAdded, allowedDirectoriesRemoved;
    } items;

    bool same() const;
};

DocumentDiff compareDocuments(const Document& before, const Document& after);

void printDiff(const std::string& oldName, const std::string& newName, const DocumentDiff& diff, std::ostream& out);
void printDiffJson(const std::string& oldName, const std::string& newName, const DocumentDiff& diff, std::ostream& out);

}  // namespace baseline::doc
