#include "Timetables.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

#include <algorithm>
#include <utility>

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

struct Read {
    QList<Timetables::Timetable> timetables;
    QList<QString> taskOrder;
    QHash<QString, QString> tasks;
};

Read readFile(const ProfileFile &file) {
    Read read;
    const QString section = Timetables::section();
    for (const QString &key : file.keys(section)) {
        const QString text = file.string(section, key);
        read.timetables.append({key, text, SeasonRange::parse(text)});
    }
    const QString taskSection = Timetables::taskSection();
    for (const QString &key : file.keys(taskSection)) {
        read.taskOrder.append(key);
        read.tasks.insert(key, file.string(taskSection, key));
    }
    return read;
}

StoreResult build(const QList<Timetables::Timetable> &timetables, const QList<QString> &taskOrder,
                  const QHash<QString, QString> &tasks, FileEncoding encoding, ProfileFile *file) {
    file->setEncoding(encoding);
    // Both sections always, so an emptied file is still plainly ours.
    if (const StoreResult made = file->appendSection(Timetables::section(), {}); !made)
        return made;
    for (const auto &t : timetables)
        if (const StoreResult set = file->setValue(Timetables::section(), t.name, t.rangeText);
            !set)
            return set;
    if (const StoreResult made = file->appendSection(Timetables::taskSection(), {}); !made)
        return made;
    for (const QString &task : taskOrder)
        if (const StoreResult set = file->setValue(Timetables::taskSection(), task, tasks[task]);
            !set)
            return set;
    return StoreResult::success();
}

// What a rewrite makes of the stored file: other sections and comments do not survive it.
QByteArray sameContent(const QByteArray &stored) {
    const ProfileFile read = ProfileFile::fromBytes(stored);
    const Read r = readFile(read);
    ProfileFile file;
    if (!build(r.timetables, r.taskOrder, r.tasks, read.encoding(), &file))
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
    const int monthDay = day.month() * 100 + day.day();
    int first = from, last = to;
    if (!QDate::isLeapYear(day.year())) {
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
    // A leap year and the year after it hold every case.
    for (QDate day(2024, 1, 1); day.year() < 2026; day = day.addDays(1))
        if (holds(day) && other.holds(day))
            return true;
    return false;
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
    m_taskOrder = std::move(read.taskOrder);
    m_tasks = std::move(read.tasks);
}

const Timetables::Timetable *Timetables::find(const QString &name) const {
    for (const Timetable &t : m_timetables)
        if (t.name == name)
            return &t;
    return nullptr;
}

QStringList Timetables::tasksOf(const QString &timetable) const {
    QStringList tasks;
    for (const QString &task : m_taskOrder)
        if (m_tasks.value(task) == timetable)
            tasks.append(task);
    return tasks;
}

StoreResult Timetables::setTimetable(const QString &name, const SeasonRange &range) {
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return StoreResult::failure(problem);
    QList<Timetable> next = m_timetables;
    const Timetable made{name, range.text(), range};
    const auto at =
        std::find_if(next.begin(), next.end(), [&](const Timetable &t) { return t.name == name; });
    if (at != next.end())
        *at = made;
    else
        next.append(made);
    return write(next, m_taskOrder, m_tasks);
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
    QHash<QString, QString> tasks = m_tasks;
    for (QString &value : tasks)
        if (value == from)
            value = to;
    return write(next, m_taskOrder, tasks);
}

StoreResult Timetables::removeTimetable(const QString &name) {
    QList<Timetable> next = m_timetables;
    next.removeIf([&](const Timetable &t) { return t.name == name; });
    return write(next, m_taskOrder, m_tasks);
}

StoreResult Timetables::setTaskTimetable(const QString &task, const QString &timetable) {
    return setTaskTimetables({{task, timetable}});
}

StoreResult Timetables::setTaskTimetables(const QHash<QString, QString> &entries,
                                          const QSet<QString> *existing) {
    QList<QString> order = m_taskOrder;
    QHash<QString, QString> tasks = m_tasks;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.value().isEmpty()) {
            order.removeAll(it.key());
            tasks.remove(it.key());
            continue;
        }
        if (!tasks.contains(it.key()))
            order.append(it.key());
        tasks.insert(it.key(), it.value());
    }
    if (existing)
        order.removeIf([&](const QString &task) {
            if (existing->contains(task))
                return false;
            tasks.remove(task);
            return true;
        });
    if (order == m_taskOrder && tasks == m_tasks)
        return StoreResult::success();
    return write(m_timetables, order, tasks);
}

StoreResult Timetables::write(const QList<Timetable> &timetables, const QList<QString> &taskOrder,
                              const QHash<QString, QString> &tasks) {
    ProfileFile file;
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    if (const StoreResult built =
            build(timetables, taskOrder, tasks, ProfileFile::encodingOf(path()), &file);
        !built)
        return built;
    if (const StoreResult saved = file.save(path(), sameContent); !saved)
        return saved;
    m_timetables = timetables;
    m_taskOrder = taskOrder;
    m_tasks = tasks;
    return StoreResult::success();
}

QStringList Timetables::inForce(const QDate &day) const {
    QStringList names;
    for (const Timetable &t : m_timetables)
        if (t.range && t.range->holds(day) && !names.contains(t.name))
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
    for (const Timetable &t : m_timetables)
        if (t.name != name && t.range && t.range->overlaps(*self->range))
            others.append(t.name);
    return others;
}
