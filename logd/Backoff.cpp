#include "Backoff.h"

#include <QRandomGenerator>

#include <algorithm>

Backoff::Backoff(int firstMs, int maxMs, std::function<double()> unit)
    : firstMs_(firstMs), maxMs_(maxMs),
      unit_(unit ? std::move(unit) : [] { return QRandomGenerator::global()->generateDouble(); })
{
}

int Backoff::nextDelayMs()
{
    const long long base = std::min<long long>(maxMs_, (long long)firstMs_ << std::min(attempt_, 30));
    ++attempt_;
    const double spread = 0.8 + 0.4 * std::clamp(unit_(), 0.0, 1.0);
    return int(std::min<double>(maxMs_, double(base) * spread));
}
