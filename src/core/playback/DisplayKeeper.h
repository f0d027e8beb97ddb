#pragma once

// Keeps the display from blanking for the life of the program.
class DisplayKeeper {
public:
    virtual ~DisplayKeeper() = default;
    // Returns false when the desktop offers no way to do so; the program carries on.
    virtual bool keepAwake() = 0;
};
