#pragma once

#include <QDateTime>

// Local date-time now. Every scheduler pass reads it once, so tests can run days in ms.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
