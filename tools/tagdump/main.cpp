// tagdump FILE
// tagdump --write CLASSES --set FIELD=VALUE [--set FIELD=VALUE ...] FILE
// tagdump --edit [--read-priority N] [--write-format N] [--set FIELD=VALUE ...] FILE
//
// Prints as JSON what the tag classes read from FILE, one object per class that finds its tag. With
// --write, first sets the fields through the named classes (comma-separated) and writes them. With
// --edit, loads and saves the file as the tag editor's OK does: the ten fields by the read priority,
// the --set fields as the edited ones (FIELD is a list column's caption without spaces), saved by the
// write format; the output then also holds the ten fields as a new load shows them.
// Exit codes: 0 done, 1 the file could not be read or written, 2 wrong usage.
#include "section.h"

#include "tagedit/format_tags.h"
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
              << "       tagdump --edit [--read-priority N] [--write-format N] [--set FIELD=VALUE ...] FILE\n"
              << "classes:";
    for (const auto& s : Sections())
        std::cerr << ' ' << s.name;
    std::cerr << "\nedit fields:";
    for (const auto& name : tagedit::FieldNames)
        std::cerr << ' ' << name;
    std::cerr << '\n';
    return 2;
}

const Section* FindSection(const std::string& name) {
    for (const auto& s : Sections())
        if (s.name == name) return &s;
    return nullptr;
}

// The ten fields as the tag editor shows them (nothing when the file gives none).
Json EditFields(const tagedit::TagFields& fields) {
    Json out = Json::Object();
    const auto columns = tagedit::ColumnsFromFields(fields);
    for (size_t i = 0; i < columns.size(); ++i) {
        if (static_cast<tagedit::Field>(i) == tagedit::Field::Track)
            out.Set(std::string(tagedit::FieldNames[i]), fields.Track);
        else
            out.Set(std::string(tagedit::FieldNames[i]), columns[i]);
    }
    return out;
}

int Dump(const std::filesystem::path& file, Json extra = Json()) {
    Json root = Json::Object();
    root.Set("file", file.string());
    if (!extra.Empty()) root.Set("edit", std::move(extra));
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

// The tag editor's load and save, with the --set fields as the user's edits.
int Edit(const std::filesystem::path& file, const Fields& sets, int readPriority, int writeFormat) {
    tagedit::FieldSet edited;
    std::vector<std::pair<tagedit::Field, std::string>> edits;
    for (const auto& [name, value] : sets) {
        const auto field = tagedit::FieldFromName(name);
        if (!field) return Usage("--edit has no field \"" + name + "\"");
        edits.emplace_back(*field, value);
        edited.set(static_cast<size_t>(*field));
    }
    try {
        tagedit::TagFields fields = tagedit::ReadTags(file, readPriority).value_or(tagedit::TagFields{});
        for (const auto& [field, value] : edits)
            tagedit::SetFieldText(fields, field, value);
        if (edited.any() && !tagedit::WriteTags(file, fields, edited, writeFormat)) {
            std::cerr << "tagdump: the tags of \"" << file.string() << "\" could not be written\n";
            return 1;
        }
        const auto shown = tagedit::ReadTags(file, readPriority);
        return Dump(file, shown ? EditFields(*shown) : Json());
    } catch (const std::exception& e) {
        std::cerr << "tagdump: " << e.what() << '\n';
        return 1;
    }
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
    bool edit = false;
    int readPriority = tagedit::kDefaultReadPriority;
    int writeFormat = tagedit::kDefaultWriteFormat;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--edit") {
            edit = true;
        } else if (a == "--read-priority" || a == "--write-format") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& v = args[++i];
            const bool read = a == "--read-priority";
            const int count =
                static_cast<int>(read ? tagedit::ReadPriorities.size() : tagedit::WriteFormats.size());
            const int n = tags::ParseInt(v, -1);
            if (n < 0 || n >= count)
                return Usage(a + " takes a number from 0 to " + std::to_string(count - 1) + ", not \"" + v +
                             "\"");
            (read ? readPriority : writeFormat) = n;
        } else if (a == "--write" || a == "--set") {
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
    if (edit && !classes.empty()) return Usage("--edit and --write exclude each other");
    if (!edit && classes.empty() && !fields.empty()) return Usage("--set needs --write CLASSES or --edit");
    // The file must be readable before anything else happens; its error is the file layer's.
    try {
        tags::TWideFileStream probe(file, tags::ModeReadShared);
    } catch (const tags::TFileError& e) {
        std::cerr << "tagdump: " << e.what() << '\n';
        return 1;
    }
    if (edit) return Edit(file, fields, readPriority, writeFormat);
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
