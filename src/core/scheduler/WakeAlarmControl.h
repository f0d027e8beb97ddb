#pragma once

#include <QString>

#include <functional>

// The real-time clock's wake alarm, which powers the machine on (or wakes it from a sleep)
// at a set time. Setting it needs root, so it may take a while: the answer comes later.
class WakeAlarmControl {
public:
    struct Outcome {
        bool ok = false;
        QString message; // what was done, or why not; for the log and the user
    };
    using Done = std::function<void(const Outcome &)>;

    virtual ~WakeAlarmControl() = default;
    // Whether this machine has a clock with a wake alarm at all.
    virtual bool available() const = 0;
    // Sets the alarm to that moment. `done` is called exactly once, also on failure.
    virtual void set(qint64 epochSeconds, Done done) = 0;
    virtual void clear(Done done) = 0;
};
