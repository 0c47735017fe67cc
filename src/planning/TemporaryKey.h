#pragma once

#include "platform/Clock.h"

#include <QRandomGenerator>
#include <QString>

#include <functional>
#include <set>

namespace vk {

// The temporary key "P" + yyyymmddhhnnss + month and second without leading zero + a number from
// 0 to 999, which marks a saved planning row. Within one run no key is handed out twice: a number
// already drawn in the same second is drawn again.
class TemporaryKeys {
public:
    // draw(n) returns a uniformly drawn number from 0 to n - 1
    explicit TemporaryKeys(const Clock& clock, std::function<int(int)> draw = {});

    QString next();

    // The key for a given time and number, as the format gives it.
    static QString format(const QDateTime& time, int number);

private:
    const Clock& clock_;
    std::function<int(int)> draw_;
    QString second_;      // the time part of the keys handed out in the current second
    std::set<int> used_;  // the numbers already drawn in that second
};

}  // namespace vk
