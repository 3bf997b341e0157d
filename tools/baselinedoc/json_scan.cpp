// The strict JSON reader: RFC 8259 grammar, no comments, no trailing commas,
// nothing after the root value. Nesting is limited so that a hostile document
// cannot exhaust the stack.
#include "json_scan.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "platform/utf.h"

namespace baseline::doc {
namespace {

constexpr int kMaxDepth = 64;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string describe(char c) {
    if (c >= 0x20 && c < 0x7F) return std::string("'") + c + "'";
    static const char* digits = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(c);
    return std::string("byte 0x") + digits[byte >> 4] + digits[byte & 15];
}

}  // namespace

bool JsonTree::fail(std::size_t offset, std::string message) {
    error_.offset = offset;
    error_.message = std::move(message);
    return false;
}

void JsonTree::skipBlank() {
    while (at_ < text_.size() && isBlank(text_[at_])) ++at_;
}

std::int32_t JsonTree::newNode() {
    nodes_.emplace_back();
    return static_cast<std::int32_t>(nodes_.size() - 1);
}

bool JsonTree::parse(std::string_view text) {
    text_ = text;
    at_ = 0;
    nodes_.clear();
    nodes_.reserve(1024);
    open_.clear();
    error_ = {};
    if (text.size() >= std::numeric_limits<std::uint32_t>::max()) return fail(0, "the file is too large (4 GiB or more)");
    skipBlank();
    if (at_ == text_.size()) return fail(at_, "the file holds no JSON value");
    if (!value(newNode(), 0)) return false;
    skipBlank();
    if (at_ != text_.size()) return fail(at_, "unexpected " + describe(text_[at_]) + " after the end of the document");
    return true;
}

bool JsonTree::parseValueAt(std::string_view text) {
    text_ = text;
    at_ = 0;
    nodes_.clear();
    open_.clear();
    error_ = {};
    if (text.size() >= std::numeric_limits<std::uint32_t>::max()) return fail(0, "the file is too large (4 GiB or more)");
    return value(newNode(), 0);
}

bool JsonTree::string(std::size_t& at, bool& escaped) {
    // `at` is on the opening quote.
    ++at;
    escaped = false;
    while (true) {
        if (at >= text_.size()) return fail(at, "the text ends inside a string");
        const char c = text_[at];
        if (c == '"') {
            ++at;
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20) return fail(at, "unescaped control character " + describe(c) + " in a string");
        if (c != '\\') {
            ++at;
            continue;
        }
        escaped = true;
        if (at + 1 >= text_.size()) return fail(at + 1, "the text ends inside a string");
        const char e = text_[at + 1];
        if (e == 'u') {
            for (std::size_t i = 2; i < 6; ++i) {
                if (at + i >= text_.size()) return fail(at + i, "the text ends inside a string");
                if (hexValue(text_[at + i]) < 0) return fail(at + i, "a \\u escape needs four hexadecimal digits");
            }
            at += 6;
        } else if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
            at += 2;
        } else {
            return fail(at, "unknown escape \\" + std::string(1, e));
        }
    }
}

bool JsonTree::number(std::size_t& at) {
    const std::size_t start = at;
    auto needDigit = [&](const char* message) {
        return at >= text_.size() ? fail(text_.size(), "the text ends inside a number") : fail(at, message);
    };
    if (at < text_.size() && text_[at] == '-') ++at;
    if (at >= text_.size() || !isDigit(text_[at])) {
        return at >= text_.size() ? fail(text_.size(), "the text ends inside a number") : fail(start, "a number needs a digit");
    }
    if (text_[at] == '0') {
        ++at;
    } else {
        while (at < text_.size() && isDigit(text_[at])) ++at;
    }
    if (at < text_.size() && text_[at] == '.') {
        ++at;
        if (at >= text_.size() || !isDigit(text_[at])) return needDigit("a fraction needs a digit");
        while (at < text_.size() && isDigit(text_[at])) ++at;
    }
    if (at < text_.size() && (text_[at] == 'e' || text_[at] == 'E')) {
        ++at;
        if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) ++at;
        if (at >= text_.size() || !isDigit(text_[at])) return needDigit("an exponent needs a digit");
        while (at < text_.size() && isDigit(text_[at])) ++at;
    }
    return true;
}

bool JsonTree::value(std::int32_t index, int depth) {
    // `nodes_` may grow below: address the node by index, never by reference.
    auto self = [&]() -> JsonNode& { return nodes_[static_cast<std::size_t>(index)]; };
    if (at_ >= text_.size()) return fail(at_, "the text ends where a value should follow");
    self().begin = static_cast<std::uint32_t>(at_);
    const char c = text_[at_];
    if (c == '{' || c == '[') {
        if (depth >= kMaxDepth) return fail(at_, "nested more than 64 levels deep");
        const bool isObject = c == '{';
        self().kind = isObject ? JsonKind::Object : JsonKind::Array;
        const char close = isObject ? '}' : ']';
        ++at_;
        skipBlank();
        open_.push_back(index);
        std::int32_t last = -1;
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
        } else {
            while (true) {
                const std::int32_t previous = last;
                const std::int32_t child = newNode();
                if (last < 0) {
                    self().firstChild = child;
                } else {
                    nodes_[static_cast<std::size_t>(last)].nextSibling = child;
                }
                last = child;
                ++self().childCount;
                if (isObject) {
                    if (at_ >= text_.size()) return fail(at_, "the text ends where a member's name should follow");
                    if (text_[at_] != '"') return fail(at_, "expected a member's name in double quotes, found " + describe(text_[at_]));
                    std::size_t at = at_;
                    bool escaped = false;
                    if (!string(at, escaped)) return false;
                    JsonNode& member = nodes_[static_cast<std::size_t>(child)];
                    member.keyBegin = static_cast<std::uint32_t>(at_ + 1);
                    member.keyEnd = static_cast<std::uint32_t>(at - 1);
                    member.keyEscaped = escaped;
                    at_ = at;
                    skipBlank();
                    if (at_ >= text_.size()) return fail(at_, "the text ends where ':' should follow");
                    if (text_[at_] != ':') return fail(at_, "expected ':' after a member's name, found " + describe(text_[at_]));
                    ++at_;
                    skipBlank();
                }
                if (!value(child, depth + 1)) return false;
                if (!isObject && handler_ != nullptr && handler_(handlerContext_, *this, depth, index, child)) {
                    // The element's nodes are the last ones: drop them and unlink it.
                    nodes_.resize(static_cast<std::size_t>(child));
                    if (previous < 0) {
                        self().firstChild = -1;
                    } else {
                        nodes_[static_cast<std::size_t>(previous)].nextSibling = -1;
                    }
                    last = previous;
                }
                skipBlank();
                if (at_ >= text_.size()) {
                    return fail(at_, std::string("the text ends where ',' or '") + close + "' should follow");
                }
                if (text_[at_] == ',') {
                    ++at_;
                    skipBlank();
                    continue;
                }
                if (text_[at_] == close) {
                    ++at_;
                    break;
                }
                return fail(at_, std::string("expected ',' or '") + close + "', found " + describe(text_[at_]));
            }
        }
        open_.pop_back();
    } else if (c == '"') {
        self().kind = JsonKind::String;
        bool escaped = false;
        std::size_t at = at_;
        if (!string(at, escaped)) return false;
        self().escaped = escaped;
        at_ = at;
    } else if (c == '-' || isDigit(c)) {
        self().kind = JsonKind::Number;
        if (!number(at_)) return false;
    } else if (const std::string_view rest = text_.substr(at_);
               rest.size() < 5 && (std::string_view("true").starts_with(rest) || std::string_view("false").starts_with(rest) ||
                                   std::string_view("null").starts_with(rest)) &&
               !(rest == "true" || rest == "null")) {
        // A literal cut short by the end of the text.
        return fail(text_.size(), "the text ends inside a value");
    } else if (text_.compare(at_, 4, "true") == 0 || text_.compare(at_, 5, "false") == 0) {
        self().kind = JsonKind::Boolean;
        self().boolean = c == 't';
        at_ += c == 't' ? 4 : 5;
    } else if (text_.compare(at_, 4, "null") == 0) {
        self().kind = JsonKind::Null;
        at_ += 4;
    } else {
        return fail(at_, "expected a value, found " + describe(c));
    }
    self().end = static_cast<std::uint32_t>(at_);
    self().complete = true;
    return true;
}

std::string_view JsonTree::key(const JsonNode& node) const {
    return text_.substr(node.keyBegin, node.keyEnd - node.keyBegin);
}

std::string_view JsonTree::rawText(const JsonNode& node) const {
    if (node.kind != JsonKind::String || node.end < node.begin + 2) return {};
    return text_.substr(node.begin + 1, node.end - node.begin - 2);
}

std::string JsonTree::text(const JsonNode& node) const {
    const std::string_view raw = rawText(node);
    return node.escaped ? unescapeJson(raw) : std::string(raw);
}

std::string JsonTree::keyText(const JsonNode& node) const {
    return node.keyEscaped ? unescapeJson(key(node)) : std::string(key(node));
}

bool JsonTree::integer(const JsonNode& node, std::int64_t& value) const {
    if (node.kind != JsonKind::Number) return false;
    const char* first = text_.data() + node.begin;
    const char* last = text_.data() + node.end;
    const auto [end, code] = std::from_chars(first, last, value);
    return code == std::errc() && end == last;
}

std::string unescapeJson(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    std::u16string units;  // a run of \u escapes, so that surrogate pairs join
    auto flushUnits = [&] {
        if (!units.empty()) out += encodeUtf8(units);
        units.clear();
    };
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            flushUnits();
            out += raw[i];
            continue;
        }
        const char e = raw[++i];
        if (e == 'u' && i + 4 < raw.size()) {
            char16_t unit = 0;
            for (std::size_t k = 1; k <= 4; ++k) unit = static_cast<char16_t>(unit * 16 + hexValue(raw[i + k]));
            units += unit;
            i += 4;
            continue;
        }
        flushUnits();
        switch (e) {
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            default: out += e; break;  // the quote, the backslash, the slash
        }
    }
    flushUnits();
    return out;
}

TextPosition LineIndex::at(std::size_t offset) {
    if (lineStarts_.empty()) {
        lineStarts_.push_back(0);
        for (std::size_t i = 0; i < text_.size(); ++i) {
            if (text_[i] == '\n') lineStarts_.push_back(i + 1);
        }
    }
    const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const std::size_t line = static_cast<std::size_t>(after - lineStarts_.begin());
    return {line, offset - lineStarts_[line - 1] + 1};
}

}  // namespace baseline::doc
