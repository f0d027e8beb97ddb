#include "HolidayList.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

#include <algorithm>
#include <utility>

namespace {
const QString kDateSection = QStringLiteral("Holiday");
const QString kCountSection = QStringLiteral("The number of date");
const QString kCountKey = QStringLiteral("quantity");
// A hand-edited count far beyond any real list must not make the load run away: this
// is a holiday a day for more than two centuries.
constexpr int kCountLimit = 100000;

QString dateKey(int index) {
    return QStringLiteral("Date%1").arg(index);
}

// The order of a sorted list box: text order, letters without case.
bool listBefore(const QString &a, const QString &b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

QStringList datesOf(const ProfileFile &file) {
    QStringList dates;
    const int count = std::min(file.integer(kCountSection, kCountKey, 0), kCountLimit);
    dates.reserve(count);
    for (int i = 0; i < count; ++i) {
        // A key missing below the count is an empty entry: listed, kept, never a day.
        dates.append(file.string(kDateSection, dateKey(i)));
    }
    // One sort, not an insertion per date: a long list must load in n log n.
    std::stable_sort(dates.begin(), dates.end(), listBefore);
    return dates;
}

// The whole file anew: "Holiday" Date0.. in list order, then the count.
StoreResult build(const QStringList &dates, FileEncoding encoding, ProfileFile *file) {
    file->setEncoding(encoding);
    for (int i = 0; i < dates.size(); ++i) {
        if (const StoreResult set = file->setValue(kDateSection, dateKey(i), dates.at(i)); !set)
            return set;
    }
    return file->setValue(kCountSection, kCountKey, QString::number(dates.size()));
}

// What a rewrite makes of the stored list: other sections, comments, dates beyond the count
// and the order of the file do not survive it.
QByteArray sameList(const QByteArray &stored) {
    const ProfileFile read = ProfileFile::fromBytes(stored);
    ProfileFile file;
    if (!build(datesOf(read), read.encoding(), &file))
        return QByteArray(1, '\0');
    return file.toBytes();
}
} // namespace

QString HolidayList::fileName() {
    return StoreFiles::DateStem + QStringLiteral(".ini");
}

HolidayList::HolidayList(QString directory) : m_directory(std::move(directory)) {}

QString HolidayList::path() const {
    return StoreDirectory::filePath(m_directory, fileName());
}

void HolidayList::load() {
    m_dates = datesOf(ProfileFile::load(path()));
}

bool HolidayList::contains(const QString &date) const {
    // The list is sorted: asked every second, it must not walk every date.
    const auto [first, last] = std::equal_range(m_dates.begin(), m_dates.end(), date, listBefore);
    return std::find(first, last, date) != last;
}

int HolidayList::add(const QString &date, StoreResult *result) {
    const auto at = std::upper_bound(m_dates.begin(), m_dates.end(), date, listBefore);
    const int index = static_cast<int>(at - m_dates.begin());
    m_dates.insert(at, date);
    const StoreResult written = rewrite();
    if (result)
        *result = written;
    // A date that was not stored is not a holiday either: list and file stay alike.
    if (!written) {
        m_dates.removeAt(index);
        return -1;
    }
    return index;
}

StoreResult HolidayList::addAll(const QStringList &dates) {
    const QStringList before = m_dates;
    m_dates += dates;
    std::stable_sort(m_dates.begin(), m_dates.end(), listBefore);
    const StoreResult written = rewrite();
    if (!written)
        m_dates = before;
    return written;
}

StoreResult HolidayList::removeAt(int index) {
    const QStringList before = m_dates;
    if (index >= 0 && index < m_dates.size())
        m_dates.removeAt(index);
    const StoreResult written = rewrite();
    if (!written)
        m_dates = before;
    return written;
}

StoreResult HolidayList::rewrite() const {
    ProfileFile file;
    if (const StoreResult built = build(m_dates, ProfileFile::encodingOf(path()), &file); !built)
        return built;
    return file.save(path(), sameList);
}
