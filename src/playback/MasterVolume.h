#pragma once

#include <QString>

// The system's master output volume on the 0..65535 scale.
class MasterVolume {
public:
    struct Reading {
        int value = -1;  // 0..65535, or -1 when the read failed
        QString failure; // text of the first failing step, shown to the user by the GUI
    };

    virtual ~MasterVolume() = default;
    virtual Reading GetMasterVolume() = 0;
    // Sets every channel to one value; silent on failure.
    virtual void SetMasterVolume(int value) = 0;
};
