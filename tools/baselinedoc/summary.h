// `baselinedoc summary`: one screen of plain text about a document.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "document.h"

namespace baseline::doc {

struct PublisherCount {
    Text name;
    std::size_t executables = 0;
    const Publisher* listed = nullptr;  // its block in "publishers", if any
};

struct Tally {
    std::size_t directories = 0, executables = 0, unsigned_ = 0;
    std::size_t allowedDirectories = 0, mutableAllowedDirectories = 0;
    std::size_t allowedExecutables = 0, mutableAllowedExecutables = 0;
    std::size_t mutableListedDirectories = 0;
    // Names (an entry's path, a publisher, an allowed directory) that hold a
    // control, bidirectional or invisible character.
    std::size_t hiddenNames = 0;
    std::vector<PublisherCount> publishers;  // listed ones first, then signers not listed
};

Tally tally(const Document& document);

void printSummary(const std::string& name, const Document& document, std::ostream& out);

// One kind of risky item: the first names (raw, as the document has them)
// and how many there are.
struct RiskyNames {
    const char* title;
    std::vector<std::string> names;
    std::size_t count = 0;
};

// The allowed items an ordinary user can change and the publishers allowed
// by their name alone, the first 20 of each kind in the document's order.
std::vector<RiskyNames> riskiest(const Document& document);

// The allowed items an ordinary user can change and the publishers allowed
// by their name alone, each by name (the first 20 of each kind), names shown
// by the one rule for hidden characters. The summary ends with it.
void printRiskiest(const Document& document, std::ostream& out);

// "2025-12-08 09:33:45 UTC" for seconds since 1970.
std::string utcText(std::int64_t seconds);

}  // namespace baseline::doc
