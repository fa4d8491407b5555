// One section of tagdump's output per tag class. A class joins by defining, in its own
// <class>_section.cpp, a function that fills a Section, and registering it:
//
//     static const bool registered = tagdump::Register({"ape", 30, DumpApe, ApeTakes, WriteApe});
//
// Sections appear in the output in the order of their `order` numbers (id3v1 10, id3v2 20, ape 30,
// mpeg 40, ogg 50, wma 60).
#pragma once

#include "json.h"

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tagdump {

// The --set pairs in command-line order.
using Fields = std::vector<std::pair<std::string, std::string>>;

struct Section {
    std::string name; // the JSON key and the name after --write
    int order = 0;
    // Fills `out` (an object) and returns true when the class finds its tag in the file; false when it
    // does not apply. Throws (tags::TFileError or std::runtime_error) when the file cannot be read.
    std::function<bool(const std::filesystem::path& file, Json& out)> dump;
    // Whether the class has a field of this name (checked for every --set before anything is written).
    std::function<bool(const std::string& field)> takes;
    // Reads the file's tag, sets the fields it takes and writes; false or a throw on failure.
    // Empty for classes that are only read.
    std::function<bool(const std::filesystem::path& file, const Fields& fields)> write;
};

bool Register(Section section);
const std::vector<Section>& Sections(); // sorted by order

} // namespace tagdump
