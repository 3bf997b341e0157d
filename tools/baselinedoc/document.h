// An allowlist document as baselinedoc sees it: the creator's sections read
// into plain records, and every way in which the file falls short of a
// complete document the creator could have written, each with its place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace baseline::doc {

// Text of the document: a view into the document's bytes where the JSON
// string holds no escape, else into the document's own store of decoded text.
// Either way it lives as long as the Document (which must not be copied).
using Text = std::string_view;

struct Header {
    std::int64_t buildnumber = 0;
    std::int64_t cdate = 0;
    std::int64_t osid = 0;
    std::int64_t suite = 0;
    Text desc, hostname, os, osdrive, osdrivevar, osname, osver, platform, title;
};

struct FileEntry {
    Text fname, fpath;
    bool isDirectory = false;
    std::int64_t allowstate = 0, attr = 0, id = 0, pid = 0, mtime = 0, osdrive = 0;
    bool isDefault = false;
    bool isMutable = false;
    bool hasSigner = false;   // "serialno", "issuer", "pubname"
    bool hasVersion = false;  // the six version strings
    Text serialno, issuer, pubname;
    Text cname, fver, ifname, ofname, prodname, prodver;

    std::string path() const {
        std::string whole;
        whole.reserve(fpath.size() + fname.size());
        return whole.append(fpath).append(fname);
    }
};

struct Certificate {
    Text issuer, serialno;
};

struct Publisher {
    Text pubname;
    std::int64_t allowstate = 0, type = 0;
    bool isMutable = false;
    std::vector<Certificate> certificates;
};

struct AllowedDirectory {
    Text dirpath;
    std::int64_t allowstate = 0, type = 0;
    bool isDefault = false, isMutable = false, strictpub = false;
};

struct Summary {
    std::int64_t alloweddircnt = 0, allowedfilecnt = 0, allowedpubcnt = 0, dircnt = 0, filecnt = 0,
                 supportedfilecnt = 0;
    Text starttime, endtime, status;
};

struct Finding {
    std::string where;  // "line 12: inventory.files[3].mtime", or "line 4, column 9"
    std::string what;
    std::size_t offset = 0;  // where in the bytes, for ordering
};

// Decoded text, kept in large blocks so that a document of many entries
// does not make one allocation per string.
class TextStore {
public:
    Text keep(std::string_view text);

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0, capacity_ = 0;
};

struct Document {
    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    std::string bytes;
    TextStore store;

    // What could be read. A section is there when its block was read whole.
    bool hasHeader = false, hasFiles = false, hasPublishers = false, hasDirectories = false, hasMisc = false,
         hasSummary = false;
    Header header;
    std::vector<FileEntry> files;  // every complete entry, in the file's order
    std::vector<Publisher> publishers;
    std::vector<AllowedDirectory> directories;
    bool globalstrictpub = false;
    Summary summary;

    // Empty for a complete document. At most the first 100 of each kind at
    // each place are listed, then one finding that says how many more.
    std::vector<Finding> findings;
    std::size_t findingCount = 0;  // every finding, listed or not
    bool complete() const { return findings.empty(); }
};

// Reads and checks `bytes` into `document`, which must be fresh. (Text
// views point into the document's bytes, so the document never moves.)
void readDocument(std::string bytes, Document& document);

// ASCII letters lowered: the creator's only case folding.
std::string lowerAscii(std::string_view text);

}  // namespace baseline::doc
