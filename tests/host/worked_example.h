// The document of one small run, line by line (TAB indents, CR LF joins), and
// the signer and version strings of its one executable: shared by the writer's
// byte-for-byte test and the build run's whole-run test.
#pragma once

#include <string>
#include <vector>

#include "platform/file_identity_records.h"

namespace baseline::testing {

inline std::string joinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i != 0) joined += "\r\n";
        joined += lines[i];
    }
    return joined;
}

// One TAB-indented run of a 64-bit Windows 10 machine with one custom root
// holding one signed executable.
inline const std::vector<std::string> kWorkedExample = {
    "{\"inventoryinfo\" :{",
    "\t\"buildnumber\" : 19045,",
    "\t\"cdate\" : 1765186425,",
    "\t\"desc\" : \"Finance desktops\",",
    "\t\"hostname\" : \"PC-0001\",",
    "\t\"os\" : \"Windows\",",
    "\t\"osdrive\" : \"C:\",",
    "\t\"osdrivevar\" : \"%SYSTEMDRIVE%\",",
    "\t\"osid\" : 50042,",
    "\t\"osname\" : \"Windows 10 64 bit\",",
    "\t\"osver\" : \"10.0\",",
    "\t\"platform\" : \"64-bit\",",
    "\t\"suite\" : 256,",
    "\t\"title\" : \"Finance\"",
    "},\"inventory\" : {\"files\" : [{",
    "\t\"allowstate\" : 0,",
    "\t\"attr\" : 0,",
    "\t\"default\" : true,",
    "\t\"fname\" : \"Tools\",",
    "\t\"fpath\" : \"C:\\\\\",",
    "\t\"ftype\" : \"directory\",",
    "\t\"id\" : 0,",
    "\t\"mtime\" : 1763626500,",
    "\t\"mutable\" : false,",
    "\t\"osdrive\" : 1,",
    "\t\"pid\" : -1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"attr\" : 32,",
    "\t\"cname\" : \"Example Software Ltd\",",
    "\t\"default\" : true,",
    "\t\"fname\" : \"tool.exe\",",
    "\t\"fpath\" : \"C:\\\\Tools\\\\\",",
    "\t\"ftype\" : \"application\",",
    "\t\"fver\" : \"2.4.1.0\",",
    "\t\"id\" : 1,",
    "\t\"ifname\" : \"tool\",",
    "\t\"issuer\" : \"Example Code Signing CA\",",
    "\t\"mtime\" : 1710410400,",
    "\t\"mutable\" : true,",
    "\t\"ofname\" : \"tool.exe\",",
    "\t\"osdrive\" : 1,",
    "\t\"pid\" : 0,",
    "\t\"prodname\" : \"Example Tool\",",
    "\t\"prodver\" : \"2.4\",",
    "\t\"pubname\" : \"Example Software Ltd\",",
    "\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"",
    "}],\"publishers\" : [{",
    "\t\"allowstate\" : 1,",
    "\t\"certinfo\" : ",
    "\t[",
    "\t\t{",
    "\t\t\t\"issuer\" : \"Example Code Signing CA\",",
    "\t\t\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"",
    "\t\t}",
    "\t],",
    "\t\"mutable\" : true,",
    "\t\"pubname\" : \"Example Software Ltd\",",
    "\t\"type\" : 1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"mutable\" : false,",
    "\t\"pubname\" : \"Morvane Technologies (Pvt) Ltd.\",",
    "\t\"type\" : 1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"mutable\" : false,",
    "\t\"pubname\" : \"Morvane Technologies Private Limited\",",
    "\t\"type\" : 1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"mutable\" : false,",
    "\t\"pubname\" : \"Morvane Technologies Limited\",",
    "\t\"type\" : 1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"mutable\" : false,",
    "\t\"pubname\" : \"Morvane Technologies (P) Ltd.\",",
    "\t\"type\" : 1",
    "},{",
    "\t\"allowstate\" : 1,",
    "\t\"mutable\" : false,",
    "\t\"pubname\" : \"Pellworth, LLC\",",
    "\t\"type\" : 1",
    "}],\"directories\" : [{",
    "\t\"allowstate\" : 1,",
    "\t\"default\" : true,",
    "\t\"dirpath\" : \"%SystemDrive%\\\\Tools\",",
    "\t\"mutable\" : false,",
    "\t\"strictpub\" : true,",
    "\t\"type\" : 1",
    "}],\"misc\" : {",
    "\t\"globalstrictpub\" : false",
    "},\"discoverysummary\" : {",
    "\t\"alloweddircnt\" : 1,",
    "\t\"allowedfilecnt\" : 1,",
    "\t\"allowedpubcnt\" : 6,",
    "\t\"dircnt\" : 3,",
    "\t\"endtime\" : \"Mon Dec  8 09:41:02 2025\",",
    "\t\"filecnt\" : 1,",
    "\t\"starttime\" : \"Mon Dec  8 09:33:45 2025\",",
    "\t\"status\" : \"succeed\",",
    "\t\"supportedfilecnt\" : 1",
    "}}}",
};

inline SignerInfo exampleSigner() {
    return SignerInfo{u"Example Software Ltd", u"Example Code Signing CA",
                      u"0a1b2c3d4e5f60718293a4b5c6d7e8f9"};
}

inline FileVersionStrings exampleVersion() {
    FileVersionStrings version;
    version.fileVersion = u"2.4.1.0";
    version.originalFilename = u"tool.exe";
    version.productName = u"Example Tool";
    version.companyName = u"Example Software Ltd";
    version.internalName = u"tool";
    version.productVersion = u"2.4";
    return version;
}

}  // namespace baseline::testing
