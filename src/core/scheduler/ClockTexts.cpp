#include "ClockTexts.h"

#include <array>

namespace {

// Zero-padded decimal without QString::arg's locale and parsing overhead: a pass forms
// these texts every second.
void put(QChar *&out, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

} // namespace

ClockTexts ClockTexts::of(const QDateTime &moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    QString full(19, Qt::Uninitialized);
    QChar *p = full.data();
    put(p, d.year(), 4);
    *p++ = u'-';
    put(p, d.month(), 2);
    *p++ = u'-';
    put(p, d.day(), 2);
    *p++ = u' ';
    put(p, t.hour(), 2);
    *p++ = u':';
    put(p, t.minute(), 2);
    *p++ = u':';
    put(p, t.second(), 2);
    return {full, full.mid(11), full.left(10)};
}

QDate ClockTexts::dayOf(QStringView text) {
    // By hand: a holiday list of 100,000 dates is read through this at every change.
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return {};
    int fields[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, widths[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f) {
        for (int i = starts[f]; i < starts[f] + widths[f]; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return {};
            fields[f] = fields[f] * 10 + (c - u'0');
        }
    }
    return QDate::isValid(fields[0], fields[1], fields[2]) ? QDate(fields[0], fields[1], fields[2])
                                                           : QDate();
}

int Weekday::of(int year, int dayOfYear) {
    // Whole years before this one shift the weekday by 365 mod 7 = 1 each, plus a leap day
    // every Gregorian leap year; 1 January of year 1 was a Monday.
    const long long y = year - 1;
    const long long days = y + y / 4 - y / 100 + y / 400 + dayOfYear;
    return static_cast<int>(((days % 7) + 7) % 7);
}

int Weekday::of(const QDate &date) {
    return of(date.year(), date.dayOfYear());
}

const QString &Weekday::name(int weekday) {
    static const std::array<QString, 7> names = {QStringLiteral("周日"), QStringLiteral("周一"),
                                                 QStringLiteral("周二"), QStringLiteral("周三"),
                                                 QStringLiteral("周四"), QStringLiteral("周五"),
                                                 QStringLiteral("周六")};
    return names.at(static_cast<size_t>(weekday));
}
