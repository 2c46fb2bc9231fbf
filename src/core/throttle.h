// Rate limits for work that reports back while it runs: a progress bar moved, window
// messages let through, a path shown. The clock is a seam: tests install a clock they
// advance by hand, so what a throttle lets through never depends on how fast the machine is.
#pragma once

#include <QtGlobal>

namespace vorlane {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale; only differences mean anything.
    virtual qint64 nowMs() const = 0;
};

// The system's monotonic clock.
const Clock& steadyClock();

// The clock of every throttle made without one: the steady clock unless another was
// installed. Not owned; nullptr puts the steady clock back. Thread-safe.
void setDefaultClock(const Clock* clock);
const Clock& defaultClock();

class Throttle {
public:
    // Without `clock` the default clock is read at every call. The first interval begins
    // now.
    explicit Throttle(int intervalMs, const Clock* clock = nullptr);
    // The same, but the first due() is true at once.
    static Throttle dueAtOnce(int intervalMs, const Clock* clock = nullptr);

    // True when the interval has passed (always with an interval of 0); the next interval
    // begins then.
    bool due();
    // Begins a new interval now.
    void restart();
    // Makes the next due() true.
    void expire() { m_expired = true; }

private:
    qint64 now() const { return (m_clock ? *m_clock : defaultClock()).nowMs(); }

    const Clock* m_clock;
    qint64 m_interval;
    qint64 m_start;
    bool m_expired = false;
};

} // namespace vorlane
