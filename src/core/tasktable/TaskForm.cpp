#include "TaskForm.h"

#include "playback/PlaylistDriver.h"
#include "playback/VolumeText.h"

#include <algorithm>
#include <optional>

namespace TaskForms {

const QStringList &weekdayNames() {
    static const QStringList names = {
        QStringLiteral("周一"), QStringLiteral("周二"), QStringLiteral("周三"),
        QStringLiteral("周四"), QStringLiteral("周五"), QStringLiteral("周六"),
        QStringLiteral("周日"),
    };
    return names;
}

const QStringList &volumeEntries() {
    static const QStringList entries = {
        QStringLiteral("0"),     QStringLiteral("10000"), QStringLiteral("20000"),
        QStringLiteral("30000"), QStringLiteral("40000"), QStringLiteral("50000"),
        QStringLiteral("60000"), QStringLiteral("65535"),
    };
    return entries;
}

int volumeEntryIndex(const QString &volume) {
    return static_cast<int>(volumeEntries().indexOf(volume));
}

namespace {
constexpr int LoudestVolume = 65535;

// The volume the text plays at, as playback reads it; nothing for a text with no number.
std::optional<int> playedVolume(const QString &typed) {
    const QString volume = VolumeText::normal(typed);
    qsizetype at = 0;
    while (at < volume.size() && (volume[at] == u' ' || volume[at] == u'\t'))
        ++at;
    if (at < volume.size() && (volume[at] == u'-' || volume[at] == u'+'))
        ++at;
    if (at >= volume.size() || volume[at] < u'0' || volume[at] > u'9')
        return std::nullopt;
    return std::clamp(PlaylistDriver::volumeOf(volume), 0, LoudestVolume);
}
} // namespace

QString volumePercentText(const QString &volume) {
    const std::optional<int> played = playedVolume(volume);
    if (!played)
        return {};
    if (*played == 0 || *played == LoudestVolume)
        return QStringLiteral("%1 %").arg(*played == 0 ? 0 : 100);
    const double percent = *played * 100.0 / LoudestVolume;
    if (percent < 0.05)
        return QStringLiteral("< 0.1 %");
    return QStringLiteral("≈ %1 %").arg(percent, 0, 'f', 1);
}

bool volumeNearlySilent(const QString &volume) {
    const std::optional<int> played = playedVolume(volume);
    // Silence itself is a choice the list offers; a few hundred is a slip.
    return played && *played > 0 && *played * 100 < LoudestVolume;
}

TaskForm newTaskForm(const QDateTime &now) {
    TaskForm form;
    form.playMode = TaskText::Sequential;
    form.rule = DateRule::EveryDay;
    form.date = now.date();
    form.start = now.time();
    form.end = now.time();
    form.volume = volumeEntries()[NewTaskVolumeEntry];
    return form;
}

namespace {

// Reads "Y-M-D H:M:S" the lenient way the stored texts were always read: numbers with
// any run of blanks between date and time. Nothing is returned for an impossible date.
// One number as scanf's %d reads it: blanks, an optional sign, digits. Huge numbers are
// capped; no date or time has them anyway.
bool readNumber(const QString &text, qsizetype &at, int &value) {
    while (at < text.size() && text[at].isSpace())
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'-' || text[at] == u'+'))
        negative = text[at++] == u'-';
    const qsizetype first = at;
    qint64 number = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        number = std::min<qint64>(number * 10 + (text[at].unicode() - u'0'), 1000000000);
    value = int(negative ? -number : number);
    return at > first;
}

// Reads "Y-M-D H:M:S" the lenient way stored texts have always been read: numbers with any
// run of blanks between date and time. Nothing is returned for an impossible date.
std::optional<QDateTime> readDateTime(const QString &text) {
    int fields[6] = {};
    const char separators[] = {'-', '-', ' ', ':', ':'};
    qsizetype at = 0;
    for (int i = 0; i < 6; ++i) {
        if (!readNumber(text, at, fields[i]))
            return std::nullopt;
        if (i == 5)
            break;
        if (separators[i] == ' ') {
            // A blank in the pattern matches any run of blanks, none included; the next
            // number skips them itself.
            continue;
        }
        if (at >= text.size() || text[at] != QLatin1Char(separators[i]))
            return std::nullopt;
        ++at;
    }
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

} // namespace

TaskForm formFromTask(const PlayTask &task, const QDateTime &now) {
    TaskForm form;
    form.name = task.Name;
    form.playMode = task.Recurrence;
    form.volume = task.Type;

    const QStringList &days = weekdayNames();
    for (int i = 0; i < 7; ++i) {
        form.weekdays[i] = task.Device.contains(days[i]);
        if (form.weekdays[i])
            form.rule = DateRule::Weekly;
    }
    if (task.Device == TaskText::EveryDay || task.Device == TaskText::OneDay) {
        form.rule = task.Device == TaskText::EveryDay ? DateRule::EveryDay : DateRule::OneDay;
        form.weekdays = {};
    } else if (task.Device.isEmpty() && task.Time.isEmpty() && task.Duration.isEmpty()) {
        // How a weekly task with no day ticked is stored.
        form.rule = DateRule::Weekly;
    }

    form.date = now.date();
    form.start = now.time();
    form.end = now.time();
    if (task.Time.size() == 19 || task.Duration.size() == 19) {
        if (auto start = readDateTime(task.Time)) {
            form.date = start->date();
            form.start = start->time();
        }
        if (auto end = readDateTime(task.Duration))
            form.end = end->time();
    } else if (task.Time.size() == 8 || task.Duration.size() == 8) {
        const QString today = now.date().toString(QStringLiteral("yyyy-MM-dd")) + u' ';
        if (auto start = readDateTime(today + task.Time))
            form.start = start->time();
        if (auto end = readDateTime(today + task.Duration))
            form.end = end->time();
    }
    return form;
}

bool endsNextDay(const TaskForm &form) {
    // Equal times stay on the day: such a task is refused as starting at its own end.
    return form.rule == DateRule::OneDay && form.end < form.start;
}

QString endNote(const TaskForm &form) {
    return endsNextDay(form)
               ? QStringLiteral("次日 ") + form.end.toString(QStringLiteral("HH:mm:ss"))
               : QString();
}

PlayTask taskFromForm(const TaskForm &form, const PlayTask &stored) {
    PlayTask task;
    task.Name = form.name;
    task.Recurrence = form.playMode;
    task.Type = VolumeText::normal(form.volume);

    const QString clock = QStringLiteral("HH:mm:ss");
    const QString start = form.start.toString(clock);
    const QString end = form.end.toString(clock);
    QString days;
    for (int i = 0; i < 7; ++i)
        if (form.weekdays[i])
            days += weekdayNames()[i];

    if (!days.isEmpty()) {
        task.Device = days;
        task.Time = start;
        task.Duration = end;
    } else if (form.rule == DateRule::EveryDay) {
        task.Device = TaskText::EveryDay;
        task.Time = start;
        task.Duration = end;
    } else if (form.rule == DateRule::OneDay) {
        const QString format = QStringLiteral("yyyy-MM-dd ");
        task.Device = TaskText::OneDay;
        task.Time = form.date.toString(format) + start;
        task.Duration = form.date.addDays(endsNextDay(form) ? 1 : 0).toString(format) + end;
    } else if (form.rule == DateRule::None) {
        task.Device = stored.Device;
        task.Time = stored.Time;
        task.Duration = stored.Duration;
    }
    // Weekly with no day: Time, Duration and Device stay empty, so it never plays.
    return task;
}

QStringList mediaFileFilters() {
    // Description|patterns pairs, in the order the chooser lists them; the first is the default.
    static const char *const pairs[][2] = {
        {"媒体文件(所有类型)", "*.*"},   {"Mp3 File(*.mp3)", "*.mp3"},
        {"VOB File(*.VOB)", "*.VOB"},    {"RM  File(*.rm) ", "*.rm"},
        {"Mp4 File(*.mp4)", "*.mp4"},    {"SWF File(*.swf)", "*.swf"},
        {"MIDI File(*.midi)", "*.midi"}, {"MOV File(*.mov)", "*.mov"},
        {"DVD File(*.dvd)", "*.dvd"},    {"MPEG File(*.mpeg)", "*.mpeg"},
        {"Asf File(*.asf)", "*.asf"},    {"Wma File(*.wma)", "*.wma"},
        {"Video File(*.dat)", "*.dat"},  {"Wave File(*.wav)", "*.wav"},
        {"AVI File(*.avi)", "*.avi"},    {"Movie File(*.mov)", "*.mov"},
        {"Media File(*.wmv)", "*.wmv"},  {"Mid File(*.mid;*,rmi)", "*.mid;*.rmi"},
        {"MPEG File(*.mpeg)", "*.mpeg"}, {"All File(*.*)", "*.*"},
    };
    QStringList filters;
    for (const auto &pair : pairs) {
        const QString description = QString::fromUtf8(pair[0]).trimmed();
        QStringList patterns = QString::fromLatin1(pair[1]).split(u';');
        // "*.*" means every file on Windows; here that is "*", or files without a dot
        // would be hidden.
        for (QString &pattern : patterns)
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        const QString list = patterns.join(u' ');
        // Qt reads the patterns from the last parentheses of the text, so keep the text as
        // it is when they already say the same, and append them otherwise.
        if (description.endsWith(u'(' + list + u')'))
            filters.append(description);
        else
            filters.append(description + QStringLiteral(" (") + list + u')');
    }
    return filters;
}

} // namespace TaskForms
