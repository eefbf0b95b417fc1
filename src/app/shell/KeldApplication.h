#pragma once

namespace keld {

// The program: start-up and exit.
class KeldApplication {
public:
    KeldApplication();
    ~KeldApplication();
    // Runs the start-up sequence; false when the user chose Abort.
    bool Start();
};

} // namespace keld
