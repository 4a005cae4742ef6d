// What the window raises on the form it shows: its buttons' clicks, the
// spinner's timer, and the question whether the close box may end it. The
// window knows the form only through this, so that the platform layer does
// not depend on the application.
#pragma once

namespace car {

enum class FormEvent { CompactClick, CloseClick, OpenDataFolderClick, SpinTimer, SessionEnd };

class FormEvents {
public:
    virtual ~FormEvents() = default;
    // Runs the event's handler; an error that escapes it ends the program.
    virtual void raise(FormEvent event) = 0;
    // False while the close box, and the end of the session, must be refused.
    virtual bool mayUnload() const = 0;
};

}  // namespace car
