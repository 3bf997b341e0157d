// LF to CR LF for the tools' text on Windows files and pipes.
#include "line_ends.h"

namespace baseline::tool {

CrLfBuffer::int_type CrLfBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (!passThrough_ && traits_type::to_char_type(c) == '\n' &&
        traits_type::eq_int_type(target_->sputc('\r'), traits_type::eof())) {
        return traits_type::eof();
    }
    return target_->sputc(traits_type::to_char_type(c));
}

std::streamsize CrLfBuffer::xsputn(const char* s, std::streamsize n) {
    if (passThrough_) return target_->sputn(s, n);
    std::streamsize done = 0;
    while (done < n) {
        std::streamsize run = done;
        while (run < n && s[run] != '\n') ++run;
        if (target_->sputn(s + done, run - done) != run - done) return done;
        done = run;
        if (done < n) {
            if (target_->sputn("\r\n", 2) != 2) return done;
            ++done;
        }
    }
    return done;
}

int CrLfBuffer::sync() { return target_->pubsync(); }

void passBytesThrough(std::ostream& out) {
    out.flush();
    if (auto* buffer = dynamic_cast<CrLfBuffer*>(out.rdbuf())) buffer->passThrough();
}

}  // namespace baseline::tool
