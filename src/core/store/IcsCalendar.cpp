#include "IcsCalendar.h"

#include "BoundedRead.h"
#include "ProfileStore.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringDecoder>

#include <libical/ical.h>

#include <cstring>
#include <memory>

namespace IcsCalendar {

namespace {

// A long all-day event (a term, a whole year) must not flood the list.
constexpr int kMaxEventDays = RecurrenceDays;
// Bounds of the expansion of rules: steps of one rule's walk, steps of all walks together,
// and dates one rule may give. A walk from long ago is started near today where the rule
// allows it; these bound what is left.
constexpr int kMaxRuleSteps = 100000;
constexpr qint64 kMaxAllSteps = 2000000;
constexpr int kMaxRuleDates = 2 * RecurrenceDays;
// Summaries kept per day: thousands of events on one day must not make one endless line.
constexpr int kMaxDaySummaries = 8;

// Hands the parser one line at a time, as fgets would.
struct LineSource {
    const char *next;
    const char *end;
};

char *nextLine(char *buffer, size_t size, void *data) {
    auto *source = static_cast<LineSource *>(data);
    if (source->next >= source->end || size < 2)
        return nullptr;
    size_t n = 0;
    while (source->next < source->end && n + 1 < size) {
        const char c = *source->next++;
        buffer[n++] = c;
        if (c == '\n')
            break;
    }
    buffer[n] = '\0';
    return buffer;
}

// The whole file; a file cut off before its END lines still gives what it holds.
icalcomponent *parseText(const QByteArray &text) {
    icalparser *parser = icalparser_new();
    if (!parser)
        return nullptr;
    LineSource source{text.constData(), text.constData() + text.size()};
    icalparser_set_gen_data(parser, &source);
    icalcomponent *root = icalparser_parse(parser, nextLine);
    if (!root) {
        // What clean closes stays the parser's own and goes with it.
        if (icalcomponent *partial = icalparser_clean(parser))
            root = icalcomponent_new_clone(partial);
    }
    icalparser_free(parser);
    return root;
}

struct ComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};

QDate dateOf(const icaltimetype &t) {
    return QDate(t.year, t.month, t.day);
}

// Calendar files are UTF-8; some Chinese tools still write code page 936.
QString textOf(const char *text) {
    if (!text)
        return {};
    const QByteArray bytes(text);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8(bytes);
    if (utf8.hasError())
        decoded = Gbk::decode(bytes);
    return decoded.trimmed();
}

void collectEvents(icalcomponent *component, QList<icalcomponent *> &events) {
    if (icalcomponent_isa(component) == ICAL_VEVENT_COMPONENT) {
        events.append(component);
        return;
    }
    for (icalcomponent *child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
         child; child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
        collectEvents(child, events);
}

// Number of days an all-day event lasts: DTEND is exclusive; no end means one day.
int lengthInDays(icalcomponent *event, const icaltimetype &start) {
    const icaltimetype end = icalcomponent_get_dtend(event);
    if (icaltime_is_null_time(end) || !icaltime_is_valid_time(end))
        return 1;
    const qint64 days = dateOf(start).daysTo(dateOf(end));
    return static_cast<int>(std::clamp<qint64>(days, 1, kMaxEventDays));
}

struct Collector {
    QDate today;
    QDate horizon; // of rules
    QDate last;    // of any date
    QMap<QDate, QStringList> summaries;
    QSet<QDate> past;
    QSet<QDate> later;
    qint64 steps = 0; // of all rule walks

    void addSpan(const QDate &first, int days, const QString &summary) {
        for (int i = 0; i < days; ++i) {
            const QDate date = first.addDays(i);
            if (!date.isValid())
                return;
            if (date < today) {
                past.insert(date);
                continue;
            }
            if (date > last) {
                later.insert(date);
                return;
            }
            QStringList &texts = summaries[date];
            if (texts.size() < kMaxDaySummaries && !texts.contains(summary))
                texts.append(summary);
        }
    }
};

icaltimetype dateTime(const QDate &date) {
    icaltimetype t = icaltime_null_date();
    t.year = date.year();
    t.month = date.month();
    t.day = date.day();
    return t;
}

// A holiday is a whole day: a rule repeating every few hours, minutes or seconds repeats
// every day of the time it spans, and is walked day by day.
icalrecurrencetype perDay(icalrecurrencetype rule, const icaltimetype &start) {
    if (rule.freq >= ICAL_DAILY_RECURRENCE || rule.freq == ICAL_NO_RECURRENCE)
        return rule;
    qint64 unit = 1;
    if (rule.freq == ICAL_MINUTELY_RECURRENCE)
        unit = 60;
    else if (rule.freq == ICAL_HOURLY_RECURRENCE)
        unit = 3600;
    if (rule.count > 0) {
        const qint64 seconds = qint64(rule.count) * std::max<short>(rule.interval, 1) * unit;
        rule.until = dateTime(dateOf(start).addDays(std::min<qint64>(seconds / 86400, 100000)));
        rule.count = 0;
    }
    rule.freq = ICAL_DAILY_RECURRENCE;
    rule.interval = 1;
    rule.by_second[0] = ICAL_RECURRENCE_ARRAY_MAX;
    rule.by_minute[0] = ICAL_RECURRENCE_ARRAY_MAX;
    rule.by_hour[0] = ICAL_RECURRENCE_ARRAY_MAX;
    return rule;
}

// Dates of a recurring event's instances from its rules, less its exceptions and the
// instances that other components of the same UID replace. from: the first date of use.
QList<QDate> instanceDates(icalcomponent *event, const icaltimetype &start, const QDate &from,
                           Collector &collect, const QSet<QDate> &replaced, bool *cut) {
    QSet<QDate> dates;
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = perDay(icalproperty_get_rrule(p), start);
        icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
        if (!it)
            continue;
        // A rule of endless instances since long ago starts near today, not at its start.
        if (rule.count == 0 && from > dateOf(start))
            icalrecur_iterator_set_start(it, dateTime(from));
        int found = 0;
        for (int step = 0;; ++step) {
            if (step >= kMaxRuleSteps || found >= kMaxRuleDates || ++collect.steps > kMaxAllSteps) {
                *cut = true;
                break;
            }
            const icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next))
                break;
            const QDate date = dateOf(next);
            if (!date.isValid() || date > collect.horizon)
                break;
            if (date >= from) {
                dates.insert(date);
                ++found;
            }
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        const icaltimetype t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
        if (!icaltime_is_null_time(t) && dateOf(t) >= from && dateOf(t) <= collect.horizon)
            dates.insert(dateOf(t));
    }
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_EXDATE_PROPERTY))
        dates.remove(dateOf(icalproperty_get_exdate(p)));
    for (const QDate &date : replaced)
        dates.remove(date);
    QList<QDate> sorted(dates.cbegin(), dates.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// The file's events one at a time, each parsed on its own: a file of a hundred thousand
// events never becomes one tree of them all.
struct EventBlocks {
    explicit EventBlocks(const QByteArray &text) : m_text(text) {
        qsizetype at = 0;
        qsizetype open = -1;
        while (at < text.size()) {
            qsizetype end = text.indexOf('\n', at);
            if (end < 0)
                end = text.size();
            const QByteArrayView line = QByteArrayView(text).sliced(at, end - at).trimmed();
            if (open < 0 && line.compare("BEGIN:VEVENT", Qt::CaseInsensitive) == 0)
                open = at;
            else if (open >= 0 && line.compare("END:VEVENT", Qt::CaseInsensitive) == 0) {
                m_spans.append({open, end + 1 - open});
                open = -1;
            }
            at = end + 1;
        }
        // A file cut off inside an event still gives what that event holds.
        if (open >= 0)
            m_spans.append({open, text.size() - open});
    }
    qsizetype size() const { return m_spans.size(); }
    QByteArrayView text(qsizetype i) const {
        return QByteArrayView(m_text).sliced(m_spans[i].first, m_spans[i].second);
    }
    // The event, parsed; null when it cannot be read.
    std::unique_ptr<icalcomponent, ComponentFree> parse(qsizetype i) const {
        QByteArray wrapped = "BEGIN:VCALENDAR\r\n";
        wrapped += text(i);
        if (!wrapped.endsWith('\n'))
            wrapped += "\r\n";
        wrapped += "END:VCALENDAR\r\n";
        std::unique_ptr<icalcomponent, ComponentFree> root(parseText(wrapped));
        icalerror_clear_errno();
        if (!root)
            return nullptr;
        QList<icalcomponent *> events;
        collectEvents(root.get(), events);
        if (events.isEmpty())
            return nullptr;
        icalcomponent *event = events.first();
        if (icalcomponent *parent = icalcomponent_get_parent(event))
            icalcomponent_remove_component(parent, event);
        return std::unique_ptr<icalcomponent, ComponentFree>(event);
    }

private:
    const QByteArray &m_text;
    QList<std::pair<qsizetype, qsizetype>> m_spans;
};

} // namespace

Kind kindOf(const QString &summary) {
    // A workday first: "调休上班" names a rest and a workday, and is a workday.
    if (summary.contains(u'班'))
        return Kind::Makeup;
    if (summary.contains(u'休') || summary.contains(u'假'))
        return Kind::Holiday;
    return Kind::Unsorted;
}

Result read(const QString &path, const QDate &today, const Progress &progress) {
    Result result;
    const QString name = QFileInfo(path).fileName();
    const BoundedRead::Entry look = BoundedRead::inspect(path, true);
    if (look.error != 0) {
        result.error = QStringLiteral("无法读取日历文件“%1”:%2.")
                           .arg(name, QString::fromLocal8Bit(std::strerror(look.error)));
        return result;
    }
    if (look.kind != BoundedRead::Kind::Regular) {
        result.error = QStringLiteral("“%1”是%2,不是日历文件,没有读取.")
                           .arg(name, BoundedRead::kindName(look.kind));
        return result;
    }
    if (look.size > MaxFileBytes) {
        result.error =
            QStringLiteral("日历文件“%1”太大(%2,最多 %3),没有读取.")
                .arg(name, BoundedRead::sizeText(look.size), BoundedRead::sizeText(MaxFileBytes));
        return result;
    }
    QString why;
    const std::optional<QByteArray> bytes = BoundedRead::read(path, MaxFileBytes, true, &why);
    if (!bytes) {
        result.error = QStringLiteral("无法读取日历文件“%1”:%2").arg(name, why);
        return result;
    }
    return parse(*bytes, today, progress);
}

Result parse(const QByteArray &text, const QDate &today, const Progress &progress) {
    Result result;
    if (text.trimmed().isEmpty()) {
        result.error = QStringLiteral("日历文件是空的,没有可导入的日期.");
        return result;
    }
    const QString notCalendar = QStringLiteral("这不是有效的日历文件(iCalendar .ics),无法导入.");
    if (!text.contains("BEGIN:VCALENDAR") && !text.contains("BEGIN:VEVENT")) {
        result.error = notCalendar;
        return result;
    }
    // Errors are reported through the components; libical must never abort the program.
    icalerror_set_errors_are_fatal(0);
    const EventBlocks blocks(text);
    const qint64 total = blocks.size();
    // Both passes over the events count towards the progress.
    auto stopped = [&](qint64 done) {
        if (!progress || done % 64 != 0 || progress(done, 2 * total))
            return false;
        result.cancelled = true;
        return true;
    };

    Collector collect{today, today.addDays(RecurrenceDays), today.addDays(AheadDays), {}, {}, {},
                      0};
    // Instances that another component of the same UID replaces (RECURRENCE-ID).
    QHash<QString, QSet<QDate>> replaced;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (stopped(i))
            return result;
        if (!blocks.text(i).contains("RECURRENCE-ID"))
            continue;
        const auto event = blocks.parse(i);
        if (!event)
            continue;
        const icaltimetype id = icalcomponent_get_recurrenceid(event.get());
        if (!icaltime_is_null_time(id))
            replaced[textOf(icalcomponent_get_uid(event.get()))].insert(dateOf(id));
    }

    int usable = 0;
    bool cut = false;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (stopped(total + i))
            return result;
        const auto owned = blocks.parse(i);
        if (!owned)
            continue;
        icalcomponent *event = owned.get();
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icaltime_is_null_time(start) || !icaltime_is_valid_time(start) ||
            !dateOf(start).isValid())
            continue;
        ++usable;
        if (!start.is_date) {
            ++result.timedEvents;
            continue;
        }
        if (icalcomponent_get_status(event) == ICAL_STATUS_CANCELLED)
            continue;
        const QString summary = textOf(icalcomponent_get_summary(event));
        const int days = lengthInDays(event, start);
        const bool recurring = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY) ||
                               icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY);
        if (!recurring || !icaltime_is_null_time(icalcomponent_get_recurrenceid(event))) {
            collect.addSpan(dateOf(start), days, summary);
            continue;
        }
        const QSet<QDate> none;
        const QString uid = textOf(icalcomponent_get_uid(event));
        // Instances ending before today are not worth walking to.
        const QDate from = today.addDays(1 - days);
        for (const QDate &date :
             instanceDates(event, start, from, collect, replaced.value(uid, none), &cut))
            collect.addSpan(date, days, summary);
    }
    if (progress)
        progress(2 * total, 2 * total);
    if (cut)
        result.note =
            QStringLiteral("日历文件中有重复过于频繁或过多的事件,只列出了其中的一部分日期.");

    for (auto it = collect.summaries.cbegin(); it != collect.summaries.cend(); ++it) {
        Day day{it.key(), it.value().join(QStringLiteral("、")), Kind::Unsorted};
        for (const QString &summary : it.value()) {
            const Kind kind = kindOf(summary);
            if (kind == Kind::Makeup || (kind == Kind::Holiday && day.kind == Kind::Unsorted))
                day.kind = kind;
        }
        result.days.append(day);
    }
    for (const QDate &date : collect.past)
        if (!collect.summaries.contains(date))
            ++result.pastDays;
    result.laterDays = int(collect.later.size());

    if (result.days.isEmpty()) {
        if (blocks.size() == 0)
            result.error = QStringLiteral("日历文件中没有事件,没有可导入的日期.");
        else if (usable == 0)
            result.error = QStringLiteral("日历文件中的事件无法读取(日期有误),无法导入.");
        else if (result.timedEvents == usable)
            result.error = QStringLiteral("日历文件中只有定时事件,没有全天事件,没有可导入的日期.");
        else if (result.laterDays > 0 && collect.past.isEmpty())
            result.error = QStringLiteral("日历文件中的全天事件都在 %1 年以后,没有可导入的日期.")
                               .arg(today.addDays(AheadDays).year());
        else
            result.error = QStringLiteral("日历文件中的全天事件都在今天以前,没有可导入的日期.");
    }
    return result;
}

} // namespace IcsCalendar
