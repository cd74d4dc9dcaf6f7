#include "MqttOutbox.h"

#include <algorithm>

std::vector<MqttMessage> MqttOutbox::post(const MqttMessage& message)
{
    if (message.retain) {
        auto it = std::find_if(retained_.begin(), retained_.end(),
                               [&](const MqttMessage& m) { return m.topic == message.topic; });
        if (it != retained_.end())
            *it = message;
        else
            retained_.push_back(message);
    } else if (!connected_) {
        if (queued_.size() == kResultBound) {
            queued_.pop_front();
            ++dropped_;
        }
        queued_.push_back(message);
    }
    if (!connected_)
        return {};
    return {message};
}

std::vector<MqttMessage> MqttOutbox::connected()
{
    connected_ = true;
    std::vector<MqttMessage> out(retained_.begin(), retained_.end());
    out.insert(out.end(), queued_.begin(), queued_.end());
    queued_.clear();
    return out;
}

const MqttMessage* MqttOutbox::retained(const QString& topic) const
{
    for (const MqttMessage& m : retained_)
        if (m.topic == topic)
            return &m;
    return nullptr;
}

std::optional<qint64> RoundThrottle::ask(qint64 nowMs)
{
    if (due_)
        return std::nullopt;
    due_ = true;
    if (!lastMs_ || nowMs - *lastMs_ >= kIntervalMs)
        return 0;
    return *lastMs_ + kIntervalMs - nowMs;
}

void RoundThrottle::ran(qint64 nowMs)
{
    lastMs_ = nowMs;
    due_ = false;
}
