#include "Timetables.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"
#include "TaskBoundSection.h"

#include <algorithm>
#include <bitset>
#include <utility>
#include <vector>

namespace {

// "M-D" or "MM-DD" as month * 100 + day, else -1.
int monthDayOf(QStringView text) {
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 1 || dash > 2 || text.size() - dash - 1 < 1 || text.size() - dash - 1 > 2)
        return -1;
    int parts[2] = {0, 0};
    const QStringView fields[2] = {text.left(dash), text.mid(dash + 1)};
    for (int f = 0; f < 2; ++f)
        for (QChar c : fields[f]) {
            if (c < u'0' || c > u'9')
                return -1;
            parts[f] = parts[f] * 10 + (c.unicode() - u'0');
        }
    const int monthDay = parts[0] * 100 + parts[1];
    return SeasonRange::validMonthDay(monthDay) ? monthDay : -1;
}

QString monthDayText(int monthDay) {
    return QStringLiteral("%1-%2")
        .arg(monthDay / 100, 2, 10, QLatin1Char('0'))
        .arg(monthDay % 100, 2, 10, QLatin1Char('0'));
}

// The days of a leap year and of the year after it that the range holds: every case of
// 02-29, so two ranges share a day in some year exactly when their masks share a bit.
using DayMask = std::bitset<366 + 365>;

DayMask dayMaskOf(const SeasonRange &range) {
    DayMask mask;
    size_t bit = 0;
    for (const bool leap : {true, false})
        for (int month = 1; month <= 12; ++month) {
            const int days = month == 2 ? (leap ? 29 : 28) : QDate(2025, month, 1).daysInMonth();
            for (int day = 1; day <= days; ++day)
                mask[bit++] = range.holds(month * 100 + day, leap);
        }
    return mask;
}

using TaskEntries = TaskBoundSection<QString>;

QString asStored(const QString &text) {
    return text;
}

QString stored(const QString &, const QString &timetable) {
    return timetable;
}

struct Read {
    QList<Timetables::Timetable> timetables;
    TaskEntries tasks;
};

Read readFile(const ProfileFile &file) {
    Read read;
    const QString section = Timetables::section();
    const ProfileFile::SectionRef entries = file.section(section);
    for (const QString &key : file.keys(section)) {
        const QString text = entries.value(key).value_or(QString());
        read.timetables.append({key, text, SeasonRange::parse(text)});
    }
    read.tasks = TaskEntries::read(file, Timetables::taskSection(), asStored);
    return read;
}

StoreResult build(const QList<Timetables::Timetable> &timetables, const TaskEntries &tasks,
                  FileEncoding encoding, ProfileFile *file) {
    file->setEncoding(encoding);
    // Both sections always, so an emptied file is still plainly ours.
    if (const StoreResult made = file->appendSection(Timetables::section(), {}); !made)
        return made;
    for (const auto &t : timetables)
        if (const StoreResult set = file->setValue(Timetables::section(), t.name, t.rangeText);
            !set)
            return set;
    return tasks.appendTo(file, Timetables::taskSection(), stored);
}

// What a rewrite makes of the stored file: other sections and comments do not survive it.
QByteArray sameContent(const QByteArray &stored) {
    const ProfileFile read = ProfileFile::fromBytes(stored);
    const Read r = readFile(read);
    ProfileFile file;
    if (!build(r.timetables, r.tasks, read.encoding(), &file))
        return QByteArray(1, '\0');
    return file.toBytes();
}

} // namespace

std::optional<SeasonRange> SeasonRange::parse(QStringView text) {
    const qsizetype tilde = text.indexOf(u'~');
    if (tilde < 0)
        return std::nullopt;
    const int from = monthDayOf(text.left(tilde).trimmed());
    const int to = monthDayOf(text.mid(tilde + 1).trimmed());
    if (from < 0 || to < 0)
        return std::nullopt;
    return SeasonRange{from, to};
}

bool SeasonRange::validMonthDay(int monthDay) {
    const int month = monthDay / 100, day = monthDay % 100;
    return month >= 1 && month <= 12 && day >= 1 && day <= QDate(2024, month, 1).daysInMonth();
}

QString SeasonRange::text() const {
    return monthDayText(from) + u'~' + monthDayText(to);
}

bool SeasonRange::holds(const QDate &day) const {
    return holds(day.month() * 100 + day.day(), QDate::isLeapYear(day.year()));
}

bool SeasonRange::holds(int monthDay, bool leapYear) const {
    int first = from, last = to;
    if (!leapYear) {
        if (first == 229)
            first = 301;
        if (last == 229)
            last = 228;
    }
    if (overNewYear())
        return monthDay >= first || monthDay <= last;
    return monthDay >= first && monthDay <= last;
}

bool SeasonRange::overlaps(const SeasonRange &other) const {
    return (dayMaskOf(*this) & dayMaskOf(other)).any();
}

SeasonRange SeasonRange::complement() const {
    // In a leap year, where every month-day exists.
    const QDate first = QDate(2024, to / 100, to % 100).addDays(1);
    const QDate last = QDate(2024, from / 100, from % 100).addDays(-1);
    const SeasonRange other{first.month() * 100 + first.day(), last.month() * 100 + last.day()};
    for (QDate day(2024, 1, 1); day.year() < 2026; day = day.addDays(1))
        if (!holds(day))
            return other;
    return *this;
}

QString Timetables::fileName() {
    return StoreFiles::TimetablesStem + QStringLiteral(".ini");
}

QString Timetables::section() {
    return QStringLiteral("作息表");
}

QString Timetables::taskSection() {
    return QStringLiteral("任务作息表");
}

QString Timetables::nameProblem(const QString &name) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("请输入作息表名称。");
    if (name != name.trimmed())
        return QStringLiteral("作息表名称的首尾不能有空格。");
    if (name.contains(u'=') || name.startsWith(u'[') || name.startsWith(u';'))
        return QStringLiteral("作息表名称不能包含“=”，也不能以“[”或“;”开头。");
    for (QChar c : name)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("作息表名称不能包含控制字符。");
    if (name == QStringLiteral("全年"))
        return QStringLiteral("“全年”表示不按作息表，不能用作作息表名称。");
    if (!Gbk::canEncode(name))
        return QStringLiteral("作息表名称中有无法保存的字符。");
    return {};
}

Timetables::Timetables(QString directory) : m_directory(std::move(directory)) {}

QString Timetables::path() const {
    return StoreDirectory::filePath(m_directory, fileName());
}

void Timetables::load(QString *error) {
    Read read = readFile(ProfileFile::load(path(), error));
    m_timetables = std::move(read.timetables);
    m_tasks = std::move(read.tasks);
}

const Timetables::Timetable *Timetables::find(const QString &name) const {
    for (const Timetable &t : m_timetables)
        if (t.name == name)
            return &t;
    return nullptr;
}

QStringList Timetables::tasksOf(const QString &timetable) const {
    return m_tasks.tasksWhere([&](const QString &named) { return named == timetable; });
}

QHash<QString, qsizetype> Timetables::taskCounts() const {
    QHash<QString, qsizetype> counts;
    for (const QString &timetable : m_tasks.values())
        ++counts[timetable];
    return counts;
}

StoreResult Timetables::setTimetable(const QString &name, const SeasonRange &range) {
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return StoreResult::failure(problem);
    QList<Timetable> next = m_timetables;
    const Timetable made{name, range.text(), range};
    const auto at =
        std::find_if(next.begin(), next.end(), [&](const Timetable &t) { return t.name == name; });
    if (at != next.end()) {
        *at = made;
    } else {
        if (next.size() >= MaxTimetables)
            return StoreResult::failure(
                QStringLiteral("作息表最多 %1 个，请先删除不用的作息表。").arg(MaxTimetables));
        next.append(made);
    }
    return write(next, m_tasks);
}

StoreResult Timetables::renameTimetable(const QString &from, const QString &to) {
    if (from == to)
        return StoreResult::success();
    if (const QString problem = nameProblem(to); !problem.isEmpty())
        return StoreResult::failure(problem);
    if (find(to))
        return StoreResult::failure(QStringLiteral("已有名为“%1”的作息表。").arg(to));
    QList<Timetable> next = m_timetables;
    bool found = false;
    for (Timetable &t : next)
        if (t.name == from) {
            t.name = to;
            found = true;
        }
    if (!found)
        return StoreResult::failure(QStringLiteral("作息表“%1”不存在。").arg(from));
    QHash<QString, QString> repointed;
    for (const QString &task : tasksOf(from))
        repointed.insert(task, to);
    return write(next, m_tasks.with(repointed));
}

StoreResult Timetables::removeTimetable(const QString &name) {
    QList<Timetable> next = m_timetables;
    next.removeIf([&](const Timetable &t) { return t.name == name; });
    return write(next, m_tasks);
}

StoreResult Timetables::setTaskTimetable(const QString &task, const QString &timetable) {
    return setTaskTimetables({{task, timetable}});
}

StoreResult Timetables::setTaskTimetables(const QHash<QString, QString> &entries,
                                          const QSet<QString> *existing) {
    const TaskEntries next = m_tasks.with(entries, existing);
    if (next == m_tasks)
        return StoreResult::success();
    return write(m_timetables, next);
}

StoreResult Timetables::write(const QList<Timetable> &timetables, const TaskEntries &tasks) {
    ProfileFile file;
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    if (const StoreResult built = build(timetables, tasks, ProfileFile::encodingOf(path()), &file);
        !built)
        return built;
    if (const StoreResult saved = file.save(path(), sameContent); !saved)
        return saved;
    m_timetables = timetables;
    m_tasks = tasks;
    return StoreResult::success();
}

QStringList Timetables::inForce(const QDate &day) const {
    // Names are unique: the reader keeps the first of equal keys, and every change keeps it so.
    QStringList names;
    for (const Timetable &t : m_timetables)
        if (t.range && t.range->holds(day))
            names.append(t.name);
    return names;
}

QString Timetables::nextSwitchText(const QDate &today) const {
    QStringList previous = inForce(today);
    // Four years hold every change a yearly range can make, 02-29 included.
    for (QDate day = today.addDays(1); day <= today.addYears(4); day = day.addDays(1)) {
        const QStringList now = inForce(day);
        if (now == previous)
            continue;
        return QStringLiteral("%1月%2日起：%3")
            .arg(day.month())
            .arg(day.day())
            .arg(now.isEmpty() ? QStringLiteral("无") : now.join(QStringLiteral("、")));
    }
    return {};
}

QStringList Timetables::overlapping(const QString &name) const {
    const Timetable *self = find(name);
    QStringList others;
    if (!self || !self->range)
        return others;
    const DayMask mine = dayMaskOf(*self->range);
    for (const Timetable &t : m_timetables)
        if (t.name != name && t.range && (dayMaskOf(*t.range) & mine).any())
            others.append(t.name);
    return others;
}

QList<Timetables::Overlap> Timetables::overlaps(qsizetype named) const {
    std::vector<std::optional<DayMask>> masks;
    masks.reserve(size_t(m_timetables.size()));
    for (const Timetable &t : m_timetables)
        masks.push_back(t.range ? std::optional(dayMaskOf(*t.range)) : std::nullopt);
    QList<Overlap> all(m_timetables.size());
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (!masks[size_t(i)])
            continue;
        for (qsizetype j = 0; j < all.size(); ++j) {
            if (j == i || !masks[size_t(j)] || !(*masks[size_t(i)] & *masks[size_t(j)]).any())
                continue;
            if (all[i].named.size() < named)
                all[i].named.append(m_timetables[j].name);
            ++all[i].count;
        }
    }
    return all;
}
