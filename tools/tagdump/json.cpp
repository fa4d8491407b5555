#include "json.h"

#include "tags/io/text.h"

#include <cstdio>

namespace tagdump {

Json& Json::Set(std::string key, Json value) {
    items_.emplace_back(std::move(key), std::move(value));
    return *this;
}

Json& Json::Push(Json value) {
    items_.emplace_back(std::string(), std::move(value));
    return *this;
}

std::string QuoteJson(std::string_view text) {
    // Going through UTF-16 replaces broken sequences, so the output is always valid UTF-8.
    const std::string clean =
        tags::IsValidUtf8(text) ? std::string(text) : tags::Utf16ToUtf8(tags::Utf8ToUtf16(text));
    std::string out = "\"";
    for (char c : clean) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Json::Dump(int indent) const {
    switch (kind_) {
    case Kind::Null:
        return "null";
    case Kind::Bool:
        return number_ ? "true" : "false";
    case Kind::Number:
        return std::to_string(number_);
    case Kind::String:
        return QuoteJson(text_);
    case Kind::Array:
    case Kind::Object:
        break;
    }
    const bool object = kind_ == Kind::Object;
    if (items_.empty()) return object ? "{}" : "[]";
    const std::string pad(static_cast<size_t>(indent + 2), ' ');
    std::string out = object ? "{\n" : "[\n";
    for (size_t i = 0; i < items_.size(); ++i) {
        out += pad;
        if (object) out += QuoteJson(items_[i].first) + ": ";
        out += items_[i].second.Dump(indent + 2);
        out += i + 1 < items_.size() ? ",\n" : "\n";
    }
    return out + std::string(static_cast<size_t>(indent), ' ') + (object ? "}" : "]");
}

} // namespace tagdump
