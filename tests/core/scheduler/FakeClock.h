#pragma once

#include "scheduler/Clock.h"

// The one settable clock of tests and benchmarks. set() steps the wall clock alone, as a
// hand or a time server would; pass() lets time go by on both clocks, as it does while the
// program is held up.
class FakeClock final : public Clock {
public:
    FakeClock() = default;
    explicit FakeClock(const QDateTime &now) : m_now(now) {}
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonic; }
    void set(const QDateTime &now) { m_now = now; }
    void pass(qint64 ms) {
        m_now = m_now.addMSecs(ms);
        m_monotonic += ms;
    }

private:
    QDateTime m_now;
    qint64 m_monotonic = 0;
};
