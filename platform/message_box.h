#pragma once

#include <string_view>

namespace zentick::platform {

enum class MessageIcon { None, Critical };

// A modal message box with a single OK button. Returns when the user has
// closed it. The text is UTF-8.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(std::string_view text, MessageIcon icon) = 0;
    // A warning that does not wait for the user: it stays beside the
    // windows until closed, and a newer one takes its place.
    virtual void notify(std::string_view text) = 0;
};

}  // namespace zentick::platform
