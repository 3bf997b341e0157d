// Writing a file so that the old one is never lost: the bytes go to a new file
// beside the target, which takes the target's name in one step only once it is
// complete on disk. One implementation per platform (POSIX calls, or Win32's
// CreateFileW CREATE_NEW and MoveFileExW in the win32 layer).
#pragma once

#include <string>

namespace baseline::fileops {

// What a path names, without following a symbolic link.
enum class PathKind { missing, file, directory, symbolicLink, other };

// Paths are UTF-8.
PathKind pathKind(const std::string& path);

// Both paths exist and are the same file (a hard or symbolic link included).
bool sameFile(const std::string& first, const std::string& second);

// Creates a file of a fresh name in the folder of `path` (".NAME.NNNNNN.tmp"),
// writes `bytes` and flushes them to the disk. On failure nothing is left
// behind and `error` says why. From here until publish or removeQuietly, an
// interruption (SIGINT, SIGTERM, SIGHUP; Ctrl+C, Ctrl+Break, a close of the
// console) removes the file before the process ends.
bool writeBeside(const std::string& path, const std::string& bytes, std::string& temporary, std::string& error);

// Gives `temporary` the name `path` in one step. Without `replace`, an
// existing `path` is left alone and `existed` is set; the test and the naming
// are one system call, so nothing can slip in between.
bool publish(const std::string& temporary, const std::string& path, bool replace, bool& existed,
             std::string& error);

void removeQuietly(const std::string& path);

}  // namespace baseline::fileops
