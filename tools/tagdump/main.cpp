// tagdump FILE
// tagdump --write CLASSES --set FIELD=VALUE [--set FIELD=VALUE ...] FILE
//
// Prints as JSON what the tag classes read from FILE, one object per class that finds its tag. With
// --write, first sets the fields through the named classes (comma-separated) and writes them.
// Exit codes: 0 done, 1 the file could not be read or written, 2 wrong usage.
#include "section.h"

#include "tags/io/stream.h"
#include "tags/io/text.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <sstream>

namespace tagdump {

namespace {

std::vector<Section>& Registry() {
    static std::vector<Section> sections;
    return sections;
}

int Usage(const std::string& problem) {
    std::cerr << "tagdump: " << problem << "\n"
              << "usage: tagdump FILE\n"
              << "       tagdump --write CLASSES --set FIELD=VALUE [--set FIELD=VALUE ...] FILE\n"
              << "classes:";
    for (const auto& s : Sections())
        std::cerr << ' ' << s.name;
    std::cerr << '\n';
    return 2;
}

const Section* FindSection(const std::string& name) {
    for (const auto& s : Sections())
        if (s.name == name) return &s;
    return nullptr;
}

int Dump(const std::filesystem::path& file) {
    Json root = Json::Object();
    root.Set("file", file.string());
    int rc = 0;
    for (const auto& s : Sections()) {
        try {
            Json part = Json::Object();
            if (s.dump(file, part)) root.Set(s.name, std::move(part));
        } catch (const std::exception& e) {
            std::cerr << "tagdump: " << s.name << ": " << e.what() << '\n';
            rc = 1;
        }
    }
    std::cout << root.Dump() << '\n';
    return rc;
}

} // namespace

bool Register(Section section) {
    auto& sections = Registry();
    sections.push_back(std::move(section));
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section& a, const Section& b) { return a.order < b.order; });
    return true;
}

const std::vector<Section>& Sections() {
    return Registry();
}

int Main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string classes;
    Fields fields;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--write" || a == "--set") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--write") {
                classes = v;
            } else {
                const size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0)
                    return Usage("--set takes FIELD=VALUE, not \"" + v + "\"");
                fields.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            }
        } else if (a == "--help" || a == "-h") {
            Usage("prints the tags of FILE");
            return 0;
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return Usage("expects one FILE");
    const std::filesystem::path file = positional[0];
    if (classes.empty() && !fields.empty()) return Usage("--set needs --write CLASSES");
    // The file must be readable before anything else happens; its error is the file layer's.
    try {
        tags::TWideFileStream probe(file, tags::ModeReadShared);
    } catch (const tags::TFileError& e) {
        std::cerr << "tagdump: " << e.what() << '\n';
        return 1;
    }
    if (!classes.empty()) {
        std::vector<const Section*> targets;
        std::stringstream list(classes);
        for (std::string name; std::getline(list, name, ',');) {
            const Section* s = FindSection(tags::Trim(name));
            if (!s || !s->write) return Usage("cannot write class \"" + name + "\"");
            targets.push_back(s);
        }
        for (const auto& [field, value] : fields) {
            bool taken = std::any_of(targets.begin(), targets.end(),
                                     [&](const Section* s) { return s->takes(field); });
            if (!taken) return Usage("no class in \"" + classes + "\" has the field \"" + field + "\"");
        }
        for (const Section* s : targets) {
            Fields own;
            for (const auto& f : fields)
                if (s->takes(f.first)) own.push_back(f);
            try {
                if (!s->write(file, own)) {
                    std::cerr << "tagdump: " << s->name << ": the write failed\n";
                    return 1;
                }
            } catch (const std::exception& e) {
                std::cerr << "tagdump: " << s->name << ": " << e.what() << '\n';
                return 1;
            }
        }
    }
    return Dump(file);
}

} // namespace tagdump

int main(int argc, char** argv) {
    return tagdump::Main(argc, argv);
}
