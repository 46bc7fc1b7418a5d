// The GUI thread's message queue as the program's waits see it: the window
// framework's application object is one, and the browser waits take one.
#pragma once

namespace velastrom {

// Whatever processes the GUI thread's pending messages.
class IMessagePump {
public:
    virtual ~IMessagePump() = default;
    // Takes and dispatches every waiting message, then returns.
    virtual void ProcessMessages() = 0;
    // True once a quit request has been taken from the queue.
    virtual bool Terminated() const = 0;
};

}  // namespace velastrom
