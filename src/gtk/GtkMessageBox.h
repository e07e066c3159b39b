#pragma once
// The message box service on GTK: a message dialog modal over every window
// of the program, its buttons and icon chosen by the style bits, answering
// the button pressed.
#include "platform/MessageBox.h"

namespace gtkservices {

class GtkMessageBox : public platform::IMessageBoxService {
public:
    int Show(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The answer a box gives when it is closed without a button (Esc or the
// close box): Cancel where the box has one, OK for a box with only OK, and 0
// (the box cannot be closed that way) for the others.
int CloseAnswer(unsigned flags);

// Text for GTK, which wants UTF-8: valid UTF-8 passes as it is, other bytes
// become the replacement character.
std::string DisplayText(const std::string& bytes);

} // namespace gtkservices
