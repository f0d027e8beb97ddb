#include "MakeupWorkdays.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

#include <algorithm>
#include <utility>

namespace {

const QString kNames[] = {QStringLiteral("周日"), QStringLiteral("周一"), QStringLiteral("周二"),
                          QStringLiteral("周三"), QStringLiteral("周四"), QStringLiteral("周五"),
                          QStringLiteral("周六")};

void sortByDate(QList<MakeupWorkdays::Entry> &entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.date < b.date; });
}

} // namespace

QString MakeupWorkdays::fileName() {
    return StoreFiles::MakeUpDaysStem + QStringLiteral(".ini");
}

QString MakeupWorkdays::section() {
    return QStringLiteral("调休上班");
}

int MakeupWorkdays::weekdayOfName(const QString &name) {
    for (int i = 0; i < 7; ++i)
        if (kNames[i] == name)
            return i;
    return -1;
}

bool MakeupWorkdays::isDateText(const QString &text) {
    if (text.size() != 10)
        return false;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() && date.toString(QStringLiteral("yyyy-MM-dd")) == text;
}

MakeupWorkdays::MakeupWorkdays(QString directory) : m_directory(std::move(directory)) {}

QString MakeupWorkdays::path() const {
    return StoreDirectory::filePath(m_directory, fileName());
}

void MakeupWorkdays::load(QString *error) {
    QList<Entry> entries;
    const ProfileFile file = ProfileFile::load(path(), error);
    for (const QString &key : file.keys(section())) {
        Entry entry{key, file.string(section(), key)};
        if (isDateText(key))
            entry.followed = weekdayOfName(entry.weekday);
        entries.append(entry);
    }
    take(std::move(entries));
}

void MakeupWorkdays::take(QList<Entry> entries) {
    sortByDate(entries);
    m_entries = std::move(entries);
    m_followed.clear();
    for (const Entry &entry : m_entries)
        if (entry.valid() && !m_followed.contains(entry.date))
            m_followed.insert(entry.date, entry.followed);
}

bool MakeupWorkdays::contains(const QString &date) const {
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry &e) { return e.date == date; });
}

StoreResult MakeupWorkdays::set(const QString &date, int weekday) {
    return setAll({{date, weekday}});
}

StoreResult MakeupWorkdays::setAll(const QList<std::pair<QString, int>> &days) {
    QList<Entry> next = m_entries;
    for (const auto &[date, weekday] : days) {
        if (!isDateText(date) || weekday < 0 || weekday > 6)
            return StoreResult::failure(QStringLiteral("“%1”不是有效的调休上班日期。").arg(date));
        Entry entry{date, kNames[weekday], weekday};
        const auto at =
            std::find_if(next.begin(), next.end(), [&](const Entry &e) { return e.date == date; });
        if (at != next.end())
            *at = entry;
        else
            next.append(entry);
    }
    sortByDate(next);
    if (const StoreResult written = write(next); !written)
        return written;
    take(std::move(next));
    return StoreResult::success();
}

StoreResult MakeupWorkdays::remove(const QString &date) {
    QList<Entry> next = m_entries;
    next.removeIf([&](const Entry &e) { return e.date == date; });
    if (const StoreResult written = write(next); !written)
        return written;
    take(std::move(next));
    return StoreResult::success();
}

StoreResult MakeupWorkdays::write(const QList<Entry> &entries) const {
    ProfileFile file;
    // An empty file still names its section, so it is plainly ours.
    if (entries.isEmpty())
        if (const StoreResult made = file.appendSection(section(), {}); !made)
            return made;
    for (const Entry &entry : entries)
        if (const StoreResult set = file.setValue(section(), entry.date, entry.weekday); !set)
            return set;
    return file.save(path());
}
