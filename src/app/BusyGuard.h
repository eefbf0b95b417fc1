#pragma once

namespace keld {

// The busy pointer for the whole application while the guard lives.
class BusyGuard {
public:
    BusyGuard();
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
};

// Lets windows repaint inside a long loop without taking user input: a click or key press
// waits until the loop is over, so it cannot re-enter the core half-way through a chain.
void ProcessPaintEvents();

} // namespace keld
