#pragma once

#include <QDateTime>

// The moment now. Every scheduler pass reads it once, so tests can run days in ms. The
// driver reads both its local wall-clock fields and its UTC: the end of summer time (the
// wall clock shows an hour again while UTC moves on) is not the clock being set back.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
