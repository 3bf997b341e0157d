// An allowlist document as baselinedoc sees it: the creator's sections read
// into plain records, and every way in which the file falls short of a
// complete document the creator could have written, each with its place.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace baseline::doc {

struct Header {
    std::int64_t buildnumber = 0;
    std::int64_t cdate = 0;
    std::int64_t osid = 0;
    std::int64_t suite = 0;
    std::string desc, hostname, os, osdrive, osdrivevar, osname, osver, platform, title;
};

struct FileEntry {
    std::string fname, fpath;
    bool isDirectory = false;
    std::int64_t allowstate = 0, attr = 0, id = 0, pid = 0, mtime = 0, osdrive = 0;
    bool isDefault = false;
    bool isMutable = false;
    bool hasSigner = false;   // "serialno", "issuer", "pubname"
    bool hasVersion = false;  // the six version strings
    std::string serialno, issuer, pubname;
    std::string cname, fver, ifname, ofname, prodname, prodver;

    std::string path() const { return fpath + fname; }
};

struct Certificate {
    std::string issuer, serialno;
};

struct Publisher {
    std::string pubname;
    std::int64_t allowstate = 0, type = 0;
    bool isMutable = false;
    std::vector<Certificate> certificates;
};

struct AllowedDirectory {
    std::string dirpath;
    std::int64_t allowstate = 0, type = 0;
    bool isDefault = false, isMutable = false, strictpub = false;
};

struct Summary {
    std::int64_t alloweddircnt = 0, allowedfilecnt = 0, allowedpubcnt = 0, dircnt = 0, filecnt = 0,
                 supportedfilecnt = 0;
    std::string starttime, endtime, status;
};

struct Finding {
    std::string where;  // "line 12: inventory.files[3].mtime", or "line 4, column 9"
    std::string what;
};

struct Document {
    std::string bytes;

    // What could be read. A section is there when its block was read whole.
    bool hasHeader = false, hasFiles = false, hasPublishers = false, hasDirectories = false, hasMisc = false,
         hasSummary = false;
    Header header;
    std::vector<FileEntry> files;  // every complete entry, in the file's order
    std::vector<Publisher> publishers;
    std::vector<AllowedDirectory> directories;
    bool globalstrictpub = false;
    Summary summary;

    std::vector<Finding> findings;  // empty for a complete document
    bool complete() const { return findings.empty(); }
};

// Reads and checks `bytes` (moved into the result).
Document readDocument(std::string bytes);

// ASCII letters lowered: the creator's only case folding.
std::string lowerAscii(std::string_view text);

}  // namespace baseline::doc
