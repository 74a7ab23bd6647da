// What the server needs of every connection to shut it down.
#pragma once

namespace wyrlan {

class Connection {
public:
    virtual ~Connection() = default;
    // Closes the socket and cancels every timer now; pending handlers end with
    // operation_aborted. Safe to call more than once.
    virtual void Stop() = 0;
};

}  // namespace wyrlan
