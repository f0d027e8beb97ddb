#pragma once

#include "scheduler/Clock.h"

// The one settable clock of tests and benchmarks.
class FakeClock final : public Clock {
public:
    FakeClock() = default;
    explicit FakeClock(const QDateTime &now) : m_now(now) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &now) { m_now = now; }

private:
    QDateTime m_now;
};
