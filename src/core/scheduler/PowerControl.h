#pragma once

#include <QString>

// Powers the machine off. Returns false with a reason when the request was refused.
class PowerControl {
public:
    virtual ~PowerControl() = default;
    virtual bool powerOff(QString *error) = 0;
};
