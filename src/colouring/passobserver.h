#pragma once
// What a whole-box colouring pass tells the window that runs it: when it starts, how far it
// has come, when it is over, and that the window's Cancel command must wait meanwhile.

namespace quillbox::colouring {

class PassObserver {
public:
    // A pass over `lines` lines (at least one) begins: the wait note and a progress bar
    // from 0 to lines - 1 show. The pass then has them drawn before it works.
    virtual void passStarted(int lines) = 0;
    // The pass has reached the line (0-based); the last line is always reported.
    virtual void passProgress(int line) = 0;
    // The pass is over: the note and the bar go.
    virtual void passFinished() = 0;
    // The window's Cancel command.
    virtual bool cancelEnabled() const = 0;
    virtual void setCancelEnabled(bool enabled) = 0;

protected:
    ~PassObserver() = default;
};

} // namespace quillbox::colouring
