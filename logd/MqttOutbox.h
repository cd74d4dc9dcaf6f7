#pragma once

#include "MqttTopics.h"

#include <QtGlobal>

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

// What the service has for the broker, kept while the broker is away, within a fixed bound.
// Retained messages (availability, discovery, state) are kept one per topic, the newest: a new
// state replaces the older one, so old states are what goes first, and all of them are sent
// again on every connect. Other messages (command results) wait in a queue of at most
// kResultBound while disconnected; when it is full the oldest is dropped. Log rows never come
// here: they are written to the CSV before anything is published.
class MqttOutbox {
public:
    static constexpr std::size_t kResultBound = 32;

    // Returns the messages to send now: the message itself while connected, nothing otherwise.
    std::vector<MqttMessage> post(const MqttMessage& message);
    // Everything to send on a (re)connect, retained ones first in the order first posted.
    std::vector<MqttMessage> connected();
    void disconnected() { connected_ = false; }

    bool isConnected() const { return connected_; }
    std::size_t retainedCount() const { return retained_.size(); }
    std::size_t queuedCount() const { return queued_.size(); }
    std::size_t dropped() const { return dropped_; }
    // The newest retained message of a topic, if any.
    const MqttMessage* retained(const QString& topic) const;

private:
    bool connected_ = false;
    std::vector<MqttMessage> retained_;
    std::deque<MqttMessage> queued_;
    std::size_t dropped_ = 0;
};

// Home Assistant's births ("online" on its status topic) each ask for the discovery and the
// state again. However many arrive, a round runs at most once in kIntervalMs: a birth within
// that time after a round asks for one more at its end, and births meanwhile ask for nothing.
// Times are milliseconds of a steady clock.
class RoundThrottle {
public:
    static constexpr qint64 kIntervalMs = 5000;

    // A birth at nowMs: in how many ms the round is due (0: now), or nothing when one is due already.
    std::optional<qint64> ask(qint64 nowMs);
    // The round ran at nowMs.
    void ran(qint64 nowMs);

private:
    std::optional<qint64> lastMs_;
    bool due_ = false;
};
