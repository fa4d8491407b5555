#pragma once

#include <stdexcept>
#include <string>

namespace quillotone {

// What a failing component call throws; its text is shown to the user as it stands.
class ComponentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quillotone
