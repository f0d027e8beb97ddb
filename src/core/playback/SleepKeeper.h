#pragma once

#include <QString>

// Keeps the system from suspending while bells are due. Unlike the display keeper it is
// taken and given back as tasks come and go.
class SleepKeeper {
public:
    virtual ~SleepKeeper() = default;
    // Takes the hold unless it is held; false with a reason when the system refused.
    virtual bool hold(QString *error) = 0;
    virtual void release() = 0;
    virtual bool isHeld() const = 0;
};
