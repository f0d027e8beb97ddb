#include "IcsCalendar.h"

#include "ProfileStore.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringDecoder>

#include <libical/ical.h>

#include <memory>

namespace IcsCalendar {

namespace {

// A long all-day event (a term, a whole year) must not flood the list.
constexpr int kMaxEventDays = RecurrenceDays;
// An endless rule starting long ago is walked from its start; this bounds the walk.
constexpr int kMaxRecurrenceSteps = 200000;

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
    QDate horizon;
    QMap<QDate, QStringList> summaries;
    QSet<QDate> past;

    void addSpan(const QDate &first, int days, const QString &summary) {
        for (int i = 0; i < days; ++i) {
            const QDate date = first.addDays(i);
            if (!date.isValid())
                return;
            if (date < today) {
                past.insert(date);
                continue;
            }
            QStringList &texts = summaries[date];
            if (!texts.contains(summary))
                texts.append(summary);
        }
    }
};

// Dates of a recurring event's instances from its rules, less its exceptions and the
// instances that other components of the same UID replace.
QList<QDate> instanceDates(icalcomponent *event, const icaltimetype &start, const QDate &until,
                           const QSet<QDate> &replaced) {
    QSet<QDate> dates;
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        icalrecur_iterator *it = icalrecur_iterator_new(rule, start);
        if (!it)
            continue;
        for (int step = 0; step < kMaxRecurrenceSteps; ++step) {
            const icaltimetype next = icalrecur_iterator_next(it);
            if (icaltime_is_null_time(next))
                break;
            const QDate date = dateOf(next);
            if (!date.isValid() || date > until)
                break;
            dates.insert(date);
        }
        icalrecur_iterator_free(it);
    }
    for (icalproperty *p = icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(event, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        const icaltimetype t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
        if (!icaltime_is_null_time(t) && dateOf(t) <= until)
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

} // namespace

Kind kindOf(const QString &summary) {
    // A workday first: "调休上班" names a rest and a workday, and is a workday.
    if (summary.contains(u'班'))
        return Kind::Makeup;
    if (summary.contains(u'休') || summary.contains(u'假'))
        return Kind::Holiday;
    return Kind::Unsorted;
}

Result read(const QString &path, const QDate &today) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Result result;
        result.error = QStringLiteral("无法读取日历文件“%1”:%2.")
                           .arg(QFileInfo(path).fileName(), file.errorString());
        return result;
    }
    return parse(file.readAll(), today);
}

Result parse(const QByteArray &text, const QDate &today) {
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
    std::unique_ptr<icalcomponent, ComponentFree> root(parseText(text));
    icalerror_clear_errno();
    if (!root) {
        result.error = notCalendar;
        return result;
    }
    QList<icalcomponent *> events;
    collectEvents(root.get(), events);

    Collector collect{today, today.addDays(RecurrenceDays), {}, {}};
    // Instances that another component of the same UID replaces (RECURRENCE-ID).
    QHash<QString, QSet<QDate>> replaced;
    for (icalcomponent *event : events) {
        const icaltimetype id = icalcomponent_get_recurrenceid(event);
        if (!icaltime_is_null_time(id))
            replaced[textOf(icalcomponent_get_uid(event))].insert(dateOf(id));
    }

    int usable = 0;
    for (icalcomponent *event : events) {
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
        for (const QDate &date :
             instanceDates(event, start, collect.horizon, replaced.value(uid, none))) {
            if (date.addDays(days - 1) < today)
                continue; // long past: not worth counting
            collect.addSpan(date, days, summary);
        }
    }

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

    if (result.days.isEmpty()) {
        if (usable == 0)
            result.error = events.isEmpty()
                               ? QStringLiteral("日历文件中没有事件,没有可导入的日期.")
                               : QStringLiteral("日历文件中的事件无法读取(日期有误),无法导入.");
        else if (result.timedEvents == usable)
            result.error = QStringLiteral("日历文件中只有定时事件,没有全天事件,没有可导入的日期.");
        else
            result.error = QStringLiteral("日历文件中的全天事件都在今天以前,没有可导入的日期.");
    }
    return result;
}

} // namespace IcsCalendar
