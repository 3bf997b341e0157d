// Line ends of the tools' text when it goes to a file or a pipe on Windows:
// CR LF, as Notepad before Windows 10 1809, fc and most Windows tools expect.
// The console gets what it always got, and bytes that are data (decoded JSON,
// diff --json) pass through as they are.
#pragma once

#include <ostream>
#include <streambuf>

namespace baseline::tool {

// Writes to `target` with every LF as CR LF, until passThrough.
class CrLfBuffer : public std::streambuf {
public:
    explicit CrLfBuffer(std::streambuf* target) : target_(target) {}
    void passThrough() { passThrough_ = true; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    std::streambuf* target_;
    bool passThrough_ = false;
};

// `base` as a tool writes its text to it: through a CrLfBuffer unless it is a
// console.
class TextStream : public std::ostream {
public:
    TextStream(std::ostream& base, bool console) : std::ostream(nullptr), buffer_(base.rdbuf()) {
        rdbuf(console ? base.rdbuf() : &buffer_);
    }

private:
    CrLfBuffer buffer_;
};

// From here on, what `out` receives is data, not text: its bytes go out
// unchanged. A stream that converts nothing is left as it is.
void passBytesThrough(std::ostream& out);

}  // namespace baseline::tool
