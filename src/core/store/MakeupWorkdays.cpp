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

QList<MakeupWorkdays::Entry> entriesOf(const ProfileFile &file) {
    QList<MakeupWorkdays::Entry> entries;
    const QString section = MakeupWorkdays::section();
    for (const QString &key : file.keys(section)) {
        MakeupWorkdays::Entry entry{key, file.string(section, key)};
        if (MakeupWorkdays::isDateText(key))
            entry.followed = MakeupWorkdays::weekdayOfName(entry.weekday);
        entries.append(entry);
    }
    sortByDate(entries);
    return entries;
}

StoreResult build(const QList<MakeupWorkdays::Entry> &entries, FileEncoding encoding,
                  ProfileFile *file) {
    file->setEncoding(encoding);
    const QString section = MakeupWorkdays::section();
    // An empty file still names its section, so it is plainly ours.
    if (entries.isEmpty())
        if (const StoreResult made = file->appendSection(section, {}); !made)
            return made;
    for (const auto &entry : entries)
        if (const StoreResult set = file->setValue(section, entry.date, entry.weekday); !set)
            return set;
    return StoreResult::success();
}

// What a rewrite makes of the stored days: other sections, comments and repeated dates do
// not survive it.
QByteArray sameDays(const QByteArray &stored) {
    const ProfileFile read = ProfileFile::fromBytes(stored);
    ProfileFile file;
    if (!build(entriesOf(read), read.encoding(), &file))
        return QByteArray(1, '\0');
    return file.toBytes();
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
    take(entriesOf(ProfileFile::load(path(), error)));
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
    // Sorted by date: asked once per date of an import, it must not walk every entry.
    const auto at = std::lower_bound(m_entries.cbegin(), m_entries.cend(), date,
                                     [](const Entry &e, const QString &d) { return e.date < d; });
    return at != m_entries.cend() && at->date == date;
}

StoreResult MakeupWorkdays::set(const QString &date, int weekday) {
    return setAll({{date, weekday}});
}

StoreResult MakeupWorkdays::setAll(const QList<std::pair<QString, int>> &days) {
    QList<Entry> next = m_entries;
    // Date -> the first entry of it: a calendar's import sets years of days at once.
    QHash<QString, qsizetype> at;
    at.reserve(next.size() + days.size());
    for (qsizetype i = next.size(); i-- > 0;)
        at.insert(next[i].date, i);
    for (const auto &[date, weekday] : days) {
        if (!isDateText(date) || weekday < 0 || weekday > 6)
            return StoreResult::failure(QStringLiteral("“%1”不是有效的调休上班日期。").arg(date));
        Entry entry{date, kNames[weekday], weekday};
        if (const auto found = at.constFind(date); found != at.cend()) {
            next[*found] = entry;
        } else {
            at.insert(date, next.size());
            next.append(entry);
        }
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
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    if (const StoreResult built = build(entries, ProfileFile::encodingOf(path()), &file); !built)
        return built;
    return file.save(path(), sameDays);
}
