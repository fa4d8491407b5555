#pragma once

#include <stdexcept>
#include <string>

namespace quillotone {

// Raised inside a conversion; its code is what OnError reports.
class ConvertFailure : public std::runtime_error {
public:
    ConvertFailure(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

} // namespace quillotone
