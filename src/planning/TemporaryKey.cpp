#include "planning/TemporaryKey.h"

namespace vk {

TemporaryKeys::TemporaryKeys(const Clock& clock, std::function<int(int)> draw)
    : clock_(clock), draw_(std::move(draw)) {
    if (!draw_) {
        draw_ = [](int n) { return static_cast<int>(QRandomGenerator::global()->bounded(n)); };
    }
}

namespace {

// yyyyMMddHHmmss, without the cost of a formatted date conversion for every row
QString secondOf(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("%04d%02d%02d%02d%02d%02d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

}  // namespace

QString TemporaryKeys::format(const QDateTime& time, int number) {
    return u'P' + secondOf(time) +
           QString::asprintf("%d%d%d", time.date().month(), time.time().second(), number);
}

QString TemporaryKeys::next() {
    const QDateTime now = clock_.now();
    const QString second = secondOf(now);
    if (second != second_) {
        second_ = second;
        used_.clear();
    }
    // More than a thousand rows in one second would exhaust the numbers: the key then repeats,
    // which only costs the key its use as a marker (rows are known by their pla_id).
    int number = draw_(1000);
    for (int tries = 0; used_.count(number) && tries < 1000; ++tries) {
        number = draw_(1000);
    }
    if (used_.count(number)) {
        for (number = 0; number < 999 && used_.count(number); ++number) {
        }
    }
    used_.insert(number);
    return format(now, number);
}

}  // namespace vk
