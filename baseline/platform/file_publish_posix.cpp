// file_publish over POSIX: a fresh file made with O_CREAT|O_EXCL, fsync, then
// rename(2) to replace, or link(2) to name it only when the name is free.
#include "platform/file_publish.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace baseline::fileops {
namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string systemError(int code) { return std::strerror(code); }

// The folder's entry must reach the disk too, or a crash could undo the rename.
void syncFolder(const std::string& path) {
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (folder < 0) return;
    ::fsync(folder);
    ::close(folder);
}

// The temporary file being written, for the signal handler: a fixed buffer,
// since the handler may only call what is async-signal-safe (unlink, raise).
char gTemporary[4096];
volatile sig_atomic_t gTemporarySet = 0;
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

void removeAndDie(int signal) {
    if (gTemporarySet) ::unlink(gTemporary);
    gTemporarySet = 0;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// The interruptions held back while the name is taken or given up, so that
// the handler never sees a name half set, nor one another process may own.
class Held {
public:
    Held() {
        sigset_t set;
        sigemptyset(&set);
        for (const int s : kInterruptions) sigaddset(&set, s);
        ::sigprocmask(SIG_BLOCK, &set, &before_);
    }
    ~Held() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }

private:
    sigset_t before_;
};

void watch(const std::string& temporary) {
    if (temporary.size() >= sizeof gTemporary) return;  // no such path gets this far on Linux
    std::memcpy(gTemporary, temporary.c_str(), temporary.size() + 1);
    gTemporarySet = 1;
    for (const int s : kInterruptions) {
        struct sigaction action {};
        action.sa_handler = removeAndDie;
        sigemptyset(&action.sa_mask);
        // An interruption the caller chose to ignore stays ignored.
        struct sigaction old {};
        ::sigaction(s, nullptr, &old);
        if (old.sa_handler != SIG_IGN) ::sigaction(s, &action, nullptr);
    }
}

void unwatch() { gTemporarySet = 0; }

}  // namespace

PathKind pathKind(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return PathKind::missing;
    if (S_ISLNK(status.st_mode)) return PathKind::symbolicLink;
    if (S_ISDIR(status.st_mode)) return PathKind::directory;
    if (S_ISREG(status.st_mode)) return PathKind::file;
    return PathKind::other;
}

bool sameFile(const std::string& first, const std::string& second) {
    struct stat a {}, b {};
    if (::stat(first.c_str(), &a) != 0 || ::stat(second.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool writeBeside(const std::string& path, const std::string& bytes, std::string& temporary, std::string& error) {
    std::random_device random;
    int file = -1;
    for (int attempt = 0; attempt < 100 && file < 0; ++attempt) {
        temporary = folderOf(path) + "/." + nameOf(path) + "." + std::to_string(random() % 1000000) + ".tmp";
        const Held held;
        file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (file >= 0) watch(temporary);
        if (file < 0 && errno != EEXIST) break;
    }
    if (file < 0) {
        error = "cannot create a temporary file in its folder: " + systemError(errno);
        return false;
    }
    std::size_t done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (failure == 0 && ::fsync(file) != 0) failure = errno;
    if (::close(file) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        removeQuietly(temporary);
        error = "cannot be written: " + systemError(failure);
        return false;
    }
    return true;
}

bool publish(const std::string& temporary, const std::string& path, bool replace, bool& existed,
             std::string& error) {
    existed = false;
    const Held held;
    if (replace) {
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            error = "cannot be replaced: " + systemError(errno);
            return false;
        }
    } else {
        if (::link(temporary.c_str(), path.c_str()) != 0) {
            existed = errno == EEXIST;
            error = "cannot be created: " + systemError(errno);
            return false;
        }
        ::unlink(temporary.c_str());
    }
    unwatch();
    syncFolder(path);
    return true;
}

void removeQuietly(const std::string& path) {
    const Held held;
    ::unlink(path.c_str());
    unwatch();
}

}  // namespace baseline::fileops
