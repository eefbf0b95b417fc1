// SPDX-License-Identifier: GPL-3.0-or-later
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

// The normal pointer while it lives, over a busy pointer that a command switched on, so a
// message box shown during a command does not look hung.
class NormalPointer {
public:
    NormalPointer();
    ~NormalPointer();
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    bool m_pushed = false;
};

// Lets windows repaint inside a long loop without taking user input: a click or key press
// waits until the loop is over, so it cannot re-enter the core half-way through a chain.
void ProcessPaintEvents();

} // namespace keld
