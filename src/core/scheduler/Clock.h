#pragma once

#include <QDateTime>

#include <chrono>

// The moment now. Every scheduler pass reads it once, so tests can run days in ms. The
// driver reads both its local wall-clock fields and its UTC: the end of summer time (the
// wall clock shows an hour again while UTC moves on) is not the clock being set back.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // A count of milliseconds nobody can set, which runs on while the program is held up but
    // not while the machine sleeps: beside the wall clock it tells a program that was stalled
    // from a wall clock that was stepped.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};
