// AllowlistWriter: the document's fragments in their fixed order and layout.
// Every write operation turns any exception into a status: 14004 for the JSON
// library, 14003 for everything else, a stream that refuses bytes included.
#include "document/allowlist_writer.h"

#include <json/json.h>

#include <new>
#include <set>
#include <stdexcept>

#include "platform/path_form.h"
#include "document/document_status.h"
#include "document/json_rendering.h"
#include "fileidentity/executable_file_record.h"
#include "hostinfo/host_inventory.h"
#include "platform/failure_cause.h"
#include "platform/utf.h"

namespace baseline {
namespace {

// A stream that refused bytes, with the system's reason read at once.
class StreamFailure : public std::runtime_error {
public:
    StreamFailure(const char* what, std::uint32_t error) : std::runtime_error(what), error(error) {}
    std::uint32_t error;
};

// Counts are written as signed 32-bit integers whatever their type.
Json::Value count(std::uint32_t value) { return Json::Value(static_cast<Json::Int>(value)); }

Json::Value publisherBlock(const std::u16string& name, const PublisherEntry& publisher) {
    Json::Value block(Json::objectValue);
    block["allowstate"] = Json::Value(static_cast<Json::Int>(publisher.allowState));
    if (!publisher.certificates.empty()) {
        Json::Value certificates(Json::arrayValue);
        for (const auto& [serialNumber, issuer] : publisher.certificates) {
            Json::Value certificate(Json::objectValue);
            certificate["issuer"] = jsonText(issuer);
            certificate["serialno"] = jsonText(serialNumber);
            certificates.append(certificate);
        }
        block["certinfo"] = certificates;
    }
    block["mutable"] = Json::Value(publisher.isMutable);
    block["pubname"] = jsonText(name);
    block["type"] = Json::Value(static_cast<Json::Int>(publisher.type));
    return block;
}

Json::Value directoryBlock(const AllowedDirectoryEntry& directory) {
    Json::Value block(Json::objectValue);
    block["allowstate"] = Json::Value(static_cast<Json::Int>(directory.allowState));
    block["default"] = Json::Value(directory.isDefault);
    block["dirpath"] = jsonText(directory.dirPath);
    block["mutable"] = Json::Value(directory.isMutable);
    block["strictpub"] = Json::Value(directory.strictPublisher);
    block["type"] = Json::Value(static_cast<Json::Int>(directory.type));
    return block;
}

}  // namespace

// A run writes one file entry per directory and executable it records. Their
// two blocks are kept from one entry to the next, so that their members are
// made once and only their values change; the keys are the library's static
// strings, and every text value points into a buffer here, rewritten for each
// entry, instead of owning a copy. Member order is the keys' order whatever
// the order they were set in, so the bytes are those of a fresh block.
struct AllowlistWriter::Blocks {
    BlockRenderer renderer;
    Json::Value directory{Json::objectValue};
    Json::Value application{Json::objectValue};
    std::string fname, fpath, serialno, issuer, pubname, cname, fver, ifname, ofname, prodname, prodver;
    SignerInfo signer;
    FileVersionStrings version;
    std::string rendered;

    Blocks() {
        directory[Json::StaticString("ftype")] = Json::StaticString("directory");
        application[Json::StaticString("ftype")] = Json::StaticString("application");
    }

    const Json::Value& fileEntry(ExecutableFileRecord& record);
};

const Json::Value& AllowlistWriter::Blocks::fileEntry(ExecutableFileRecord& record) {
    using Key = Json::StaticString;
    Json::Value& entry = record.kind == kKindDirectory ? directory : application;
    entry[Key("allowstate")] = Json::Value(static_cast<Json::Int>(record.allowState));
    entry[Key("attr")] = Json::Value(static_cast<Json::Int>(record.attributes));
    entry[Key("default")] = Json::Value(record.isDefault);
    entry[Key("fname")] = jsonTextIn(fname, record.fileName);
    entry[Key("fpath")] = jsonTextIn(fpath, record.directoryPath);
    entry[Key("id")] = Json::Value(static_cast<Json::Int>(record.id));
    entry[Key("mtime")] = Json::Value(static_cast<Json::Int64>(record.modifiedTime));
    entry[Key("mutable")] = Json::Value(record.isMutable);
    entry[Key("osdrive")] = Json::Value(static_cast<Json::Int>(record.onSystemDrive));
    entry[Key("pid")] = Json::Value(static_cast<Json::Int>(record.parentId));
    if (record.kind == kKindDirectory) return entry;
    // The signer first: for a file it is normally cached already by the
    // publisher collection, and the version resource is read only here.
    if (record.getSigner(signer)) {
        entry[Key("serialno")] = jsonTextIn(serialno, signer.serialNumber);
        entry[Key("issuer")] = jsonTextIn(issuer, signer.issuerName);
        entry[Key("pubname")] = jsonTextIn(pubname, signer.publisherName);
    } else {
        for (const char* key : {"serialno", "issuer", "pubname"}) entry.removeMember(key);
    }
    if (record.getVersionStrings(version)) {
        entry[Key("cname")] = jsonTextIn(cname, version.companyName);
        entry[Key("fver")] = jsonTextIn(fver, version.fileVersion);
        entry[Key("ifname")] = jsonTextIn(ifname, version.internalName);
        entry[Key("ofname")] = jsonTextIn(ofname, version.originalFilename);
        entry[Key("prodname")] = jsonTextIn(prodname, version.productName);
        entry[Key("prodver")] = jsonTextIn(prodver, version.productVersion);
    } else {
        for (const char* key : {"cname", "fver", "ifname", "ofname", "prodname", "prodver"}) entry.removeMember(key);
    }
    return entry;
}

AllowlistWriter::AllowlistWriter(Platform& platform) : platform_(platform), blocks_(std::make_unique<Blocks>()) {}

AllowlistWriter::~AllowlistWriter() {
    if (out_ != 0) platform_.fclose(out_);
}

std::string AllowlistWriter::render(const Json::Value& block) {
    std::string rendered;
    blocks_->renderer.appendTo(block, rendered);
    return rendered;
}

template <typename Body>
bool AllowlistWriter::guarded(Body&& body) {
    try {
        body();
        status = 0;
        return true;
    } catch (const StreamFailure& failure) {
        status = kStatusWriteFailed;
        cause = failedOnPath(platform_, u"writing", path_, failure.error);
    } catch (const Json::Exception& e) {
        status = kStatusJsonFailed;
        cause.text = u"rendering the document failed: " + decodeUtf8Replacing(e.what());
    } catch (const std::bad_alloc&) {
        status = kStatusWriteFailed;
        cause.text = u"writing " + path_ + u" failed: there is not enough memory";
    } catch (const std::exception& e) {
        status = kStatusWriteFailed;
        cause.text = u"writing " + path_ + u" failed: " + decodeUtf8Replacing(e.what());
    } catch (...) {
        status = kStatusWriteFailed;
        cause.text = u"writing " + path_ + u" failed";
    }
    return false;
}

void AllowlistWriter::emit(const std::string& bytes) {
    if (out_ == 0) throw StreamFailure("the document is not open", 0);
    if (!platform_.fwrite(out_, bytes)) throw StreamFailure("the document did not take the bytes", platform_.getLastError());
}

void AllowlistWriter::flush() {
    if (out_ == 0) throw StreamFailure("the document is not open", 0);
    if (!platform_.fflush(out_)) throw StreamFailure("the document could not be flushed", platform_.getLastError());
}

bool AllowlistWriter::open(const std::u16string& path) {
    entryWritten = false;
    if (out_ != 0) return false;  // one writer, one document
    path_ = path;
    try {
        out_ = platform_.createNewTextFile(path);
        if (out_ == 0) {
            const std::uint32_t error = platform_.getLastError();
            if (error == kErrorFileExists) {
                status = kStatusOutputNameTaken;
                cause = nameTaken(platform_, path);
            } else {
                cause = causeWithSystemError(platform_, path + u" could not be created", error);
            }
            return false;
        }
        if (platform_.fwrite(out_, "{")) return true;
        cause = failedOnPath(platform_, u"writing", path, platform_.getLastError());
        return false;
    } catch (...) {
        cause.text = path + u" could not be created";
        return false;
    }
}

bool AllowlistWriter::writeHeader(const HostInventory* inventory) {
    if (inventory == nullptr) {
        status = kStatusNoInventory;
        return false;
    }
    return guarded([&] {
        Json::Value header(Json::objectValue);
        header["buildnumber"] = Json::Value(static_cast<Json::UInt>(inventory->buildnumber));
        header["cdate"] = Json::Value(static_cast<Json::Int64>(platform_.time64()));
        header["desc"] = jsonText(inventory->desc);
        header["hostname"] = jsonText(inventory->hostname);
        header["os"] = jsonText(inventory->os);
        header["osdrive"] = jsonText(inventory->osdrive);
        header["osdrivevar"] = jsonText(inventory->osdrivevar);
        header["osid"] = Json::Value(static_cast<Json::UInt>(inventory->osid));
        header["osname"] = jsonText(inventory->osname);
        header["osver"] = jsonText(inventory->osver);
        header["platform"] = jsonText(inventory->platform);
        header["suite"] = Json::Value(static_cast<Json::UInt>(inventory->suite));
        header["title"] = jsonText(inventory->title);
        emit("\"inventoryinfo\" :" + render(header) +
             ",\"inventory\" : {\"files\" : [");
        filesOpen_ = true;
        flush();
    });
}

bool AllowlistWriter::writeFileEntry(ExecutableFileRecord& record) {
    return guarded([&] {
        const Json::Value& entry = blocks_->fileEntry(record);
        if (entryWritten) emit(",");
        blocks_->rendered.clear();
        blocks_->renderer.appendTo(entry, blocks_->rendered);
        emit(blocks_->rendered);
        entryWritten = true;
        flush();
    });
}

bool AllowlistWriter::writePublishers(const PublisherTable& publishers) {
    return guarded([&] {
        emit("],\"publishers\" : [");
        filesOpen_ = false;
        bool first = true;
        for (const auto& [name, publisher] : publishers) {
            if (!first) emit(",");
            emit(render(publisherBlock(name, publisher)));
            first = false;
        }
        emit("]");
        flush();
    });
}

bool AllowlistWriter::writeDirectories(const std::vector<AllowedDirectoryEntry>& directories) {
    return guarded([&] {
        emit(",\"directories\" : [");
        std::set<std::u16string> written;  // normal forms, for this call only
        bool first = true;
        for (const AllowedDirectoryEntry& directory : directories) {
            if (directory.dirPath.empty()) continue;
            if (!written.insert(normalizePath(directory.dirPath)).second) continue;
            if (!first) emit(",");
            emit(render(directoryBlock(directory)));
            first = false;
        }
        emit("]");
    });
}

bool AllowlistWriter::writeMisc(bool globalAllowAppIfPublisherAllowed) {
    return guarded([&] {
        Json::Value misc(Json::objectValue);
        misc["globalstrictpub"] = Json::Value(globalAllowAppIfPublisherAllowed);
        // A run that stopped in the walk (interrupted, or a listing or an
        // entry failed) closes the files array, so that the document it
        // leaves is still JSON.
        emit(std::string(filesOpen_ ? "]" : "") + ",\"misc\" : " + render(misc));
        filesOpen_ = false;
    });
}

bool AllowlistWriter::writeDiscoverySummary(const DiscoveryCounters& counters) {
    return guarded([&] {
        Json::Value summary(Json::objectValue);
        summary["alloweddircnt"] = count(counters.alloweddircnt);
        summary["allowedfilecnt"] = Json::Value(static_cast<Json::Int>(counters.allowedfilecnt));
        summary["allowedpubcnt"] = count(counters.allowedpubcnt);
        summary["dircnt"] = count(counters.dircnt);
        summary["endtime"] = Json::Value(counters.endtime);
        summary["filecnt"] = count(counters.filecnt);
        summary["starttime"] = Json::Value(counters.starttime);
        summary["status"] = counters.status ? "succeed" : "failed";
        summary["supportedfilecnt"] = count(counters.supportedfilecnt);
        emit(",\"discoverysummary\" : " + render(summary) + "}");
        flush();
    });
}

bool AllowlistWriter::close() {
    if (out_ == 0) return false;
    bool closed = false;
    try {
        closed = platform_.fwrite(out_, "}");
        if (!closed) cause = failedOnPath(platform_, u"writing", path_, platform_.getLastError());
    } catch (...) {
        cause.text = u"writing " + path_ + u" failed";
    }
    // The stream is released whatever happened to the last brace.
    const FileStream stream = out_;
    out_ = 0;
    if (platform_.fclose(stream)) return closed;
    if (closed) cause = failedOnPath(platform_, u"closing", path_, platform_.getLastError());
    return false;
}

}  // namespace baseline
