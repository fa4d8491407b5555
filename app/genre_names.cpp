// The genre names offered when a Genre cell is edited: the ID3v1 genres in their order, seven of them
// spelled the way the list has always offered them.
#include "app/genre_names.h"

#include "tags/id3v1/id3v1.h"

#include <string>
#include <utility>

namespace quillotone {

namespace {
constexpr std::pair<int, const char*> kListSpellings[] = {
    {40, "Alternative Rock"},   {64, "Native US"},       {118, "Rhytmic Soul"}, {123, "Acapella"},
    {136, "Christian Gangsta"}, {140, "Contemporary C"}, {147, "SynthPop"},
};
} // namespace

const std::array<const char*, 148>& ListGenreNames() {
    static const std::array<std::string, 148> storage = [] {
        static_assert(tags::kGenreCount == 148);
        std::array<std::string, 148> names;
        for (size_t i = 0; i < names.size(); ++i)
            names[i] = std::string(tags::GenreNames[i]);
        for (const auto& [index, name] : kListSpellings)
            names[size_t(index)] = name;
        return names;
    }();
    static const std::array<const char*, 148> names = [] {
        std::array<const char*, 148> pointers{};
        for (size_t i = 0; i < pointers.size(); ++i)
            pointers[i] = storage[i].c_str();
        return pointers;
    }();
    return names;
}

} // namespace quillotone
