#include "core/throttle.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace vorlane {

namespace {

class SteadyClock final : public Clock {
public:
    qint64 nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
};

const SteadyClock theSteadyClock;
std::atomic<const Clock*> installedClock{nullptr};

} // namespace

const Clock& steadyClock() {
    return theSteadyClock;
}

void setDefaultClock(const Clock* clock) {
    installedClock.store(clock, std::memory_order_release);
}

const Clock& defaultClock() {
    const Clock* c = installedClock.load(std::memory_order_acquire);
    return c ? *c : theSteadyClock;
}

Throttle::Throttle(int intervalMs, const Clock* clock)
    : m_clock(clock), m_interval(std::max(0, intervalMs)), m_start(now()) {}

Throttle Throttle::dueAtOnce(int intervalMs, const Clock* clock) {
    Throttle t(intervalMs, clock);
    t.expire();
    return t;
}

bool Throttle::due() {
    const qint64 t = now();
    if (!m_expired && t - m_start < m_interval)
        return false;
    m_expired = false;
    m_start = t;
    return true;
}

void Throttle::restart() {
    m_expired = false;
    m_start = now();
}

} // namespace vorlane
