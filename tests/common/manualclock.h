// A clock that moves only when the test says so. While one exists, every throttle made
// without a clock of its own reads it instead of the system's clock.
#pragma once

#include "core/throttle.h"

#include <atomic>

class ManualClock : public vorlane::Clock {
public:
    ManualClock() { vorlane::setDefaultClock(this); }
    ~ManualClock() override { vorlane::setDefaultClock(nullptr); }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    qint64 nowMs() const override { return m_now; }
    void advance(qint64 ms) { m_now += ms; }

private:
    std::atomic<qint64> m_now{0};
};
