#pragma once

class QLineEdit;

namespace zentick::ui {

// A read-only text box that only shows what the program writes (the time),
// announced to screen readers as text to read, and not as a field that can
// be edited, as Qt would announce it.
void announceAsDisplay(QLineEdit* box);

}  // namespace zentick::ui
