#pragma once

#include <QString>

#include <functional>

// Powers the machine off. The request never waits: the answer comes later, from the event
// loop, exactly once — granted, or not with the reason for the user.
class PowerControl {
public:
    using Answer = std::function<void(bool granted, const QString &reason)>;

    virtual ~PowerControl() = default;
    virtual void powerOff(Answer answer) = 0;
};
