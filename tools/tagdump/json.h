// A small ordered JSON value for tagdump's output: objects keep the order in which fields are set.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tagdump {

class Json {
public:
    Json() = default; // null
    Json(bool value) : kind_(Kind::Bool), number_(value) {}
    Json(int value) : Json(static_cast<int64_t>(value)) {}
    Json(unsigned value) : Json(static_cast<int64_t>(value)) {}
    Json(int64_t value) : kind_(Kind::Number), number_(value) {}
    Json(uint64_t value) : Json(static_cast<int64_t>(value)) {}
    Json(std::string value) : kind_(Kind::String), text_(std::move(value)) {}
    Json(std::string_view value) : Json(std::string(value)) {}
    Json(const char* value) : Json(std::string(value)) {}

    static Json Object() { return Json(Kind::Object); }
    static Json Array() { return Json(Kind::Array); }

    // Appends a field (objects) or an element (arrays); returns *this for chaining.
    Json& Set(std::string key, Json value);
    Json& Push(Json value);
    bool Empty() const { return items_.empty(); }

    // Pretty-printed, two spaces per level. Strings are written as UTF-8; broken sequences become U+FFFD.
    std::string Dump(int indent = 0) const;

private:
    enum class Kind { Null, Bool, Number, String, Array, Object };
    explicit Json(Kind kind) : kind_(kind) {}
    Kind kind_ = Kind::Null;
    int64_t number_ = 0;
    std::string text_;
    std::vector<std::pair<std::string, Json>> items_; // keys are empty in arrays
};

std::string QuoteJson(std::string_view text);

} // namespace tagdump
