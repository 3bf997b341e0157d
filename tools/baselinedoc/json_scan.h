// A strict JSON reader for allowlist documents of any size: one pass over the
// bytes into a flat tree of nodes that point back into the text, so that a
// document of a hundred thousand entries is read in a fraction of a second and
// every finding can name its line. A syntax error stops the reading; what was
// complete before it stays usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace baseline::doc {

enum class JsonKind : std::uint8_t { Null, Boolean, Number, String, Array, Object };

struct JsonNode {
    std::uint32_t begin = 0;     // first byte of the value (a string's opening quote)
    std::uint32_t end = 0;       // one past its last byte
    std::uint32_t keyBegin = 0;  // a member's key, without its quotes
    std::uint32_t keyEnd = 0;
    std::int32_t firstChild = -1;
    std::int32_t nextSibling = -1;
    std::uint32_t childCount = 0;
    JsonKind kind = JsonKind::Null;
    bool complete = false;    // its closing byte was read
    bool escaped = false;     // a string value that holds a backslash escape
    bool keyEscaped = false;
    bool boolean = false;
};

struct JsonSyntaxError {
    std::size_t offset = 0;
    std::string message;
};

class JsonTree {
public:
    // Called when an element of an array has been read whole, with the
    // array's node, its depth (the root is depth 0) and the element's node.
    // When it returns true the element and everything in it leave the tree
    // (the array's `childCount` still counts it), so that a long array is read
    // in the memory of one element.
    using ElementHandler = bool (*)(void* context, const JsonTree& tree, int depth, std::int32_t array,
                                    std::int32_t element);
    void onElement(ElementHandler handler, void* context) {
        handler_ = handler;
        handlerContext_ = context;
    }
    // The arrays and objects being read, outermost (the root) first; while an
    // element handler runs, the last one is the element's array.
    const std::vector<std::int32_t>& openContainers() const { return open_; }

    // Reads `text` (which must outlive the tree). False on a syntax error,
    // which `error()` then describes; the nodes read so far are kept.
    bool parse(std::string_view text);
    // Reads one value at the start of `text` and stops after it; `end()` then
    // tells where it ended. For salvaging a block out of a broken document.
    bool parseValueAt(std::string_view text);
    std::size_t end() const { return at_; }

    const std::vector<JsonNode>& nodes() const { return nodes_; }
    const JsonNode& node(std::int32_t index) const { return nodes_[static_cast<std::size_t>(index)]; }
    bool empty() const { return nodes_.empty(); }
    const JsonSyntaxError& error() const { return error_; }

    std::string_view key(const JsonNode& node) const;
    // A string value's text with its escapes resolved (\u escapes become UTF-8;
    // an unpaired surrogate becomes U+FFFD).
    std::string text(const JsonNode& node) const;
    std::string keyText(const JsonNode& node) const;
    // Raw bytes between the quotes, when there is no escape to resolve.
    std::string_view rawText(const JsonNode& node) const;
    // An integer value; false for a fraction, an exponent or out of range.
    bool integer(const JsonNode& node, std::int64_t& value) const;

private:
    bool fail(std::size_t offset, std::string message);
    bool value(std::int32_t index, int depth);
    bool string(std::size_t& at, bool& escaped);
    bool number(std::size_t& at);
    void skipBlank();
    std::int32_t newNode();

    std::string_view text_;
    std::size_t at_ = 0;
    ElementHandler handler_ = nullptr;
    void* handlerContext_ = nullptr;
    std::vector<JsonNode> nodes_;
    std::vector<std::int32_t> open_;
    JsonSyntaxError error_;
};

// Resolves the escapes of raw JSON string bytes (without the quotes).
std::string unescapeJson(std::string_view raw);

// 1-based line and column (in bytes) of `offset`, counting LF as the line break.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
};
class LineIndex {
public:
    explicit LineIndex(std::string_view text) : text_(text) {}
    TextPosition at(std::size_t offset);

private:
    std::string_view text_;
    std::vector<std::size_t> lineStarts_;  // built on first use
};

}  // namespace baseline::doc
