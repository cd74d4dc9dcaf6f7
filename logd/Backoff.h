#pragma once

#include <functional>

// Delays between reconnect attempts: the first after firstMs, each next one doubled up to
// maxMs, each spread by up to ±20% so that many services do not come back in step. The
// spread comes from `unit` (a number in [0, 1)); a success resets the row.
class Backoff {
public:
    explicit Backoff(int firstMs = 1000, int maxMs = 30000, std::function<double()> unit = {});

    int nextDelayMs();
    void reset() { attempt_ = 0; }
    int attempts() const { return attempt_; }

private:
    int firstMs_, maxMs_;
    std::function<double()> unit_;
    int attempt_ = 0;
};
