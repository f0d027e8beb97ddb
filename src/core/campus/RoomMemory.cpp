#include "RoomMemory.h"

#include "store/ProfileStore.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <utility>

namespace {

const QString kSection = QStringLiteral("原状");
const QString kMuted = QStringLiteral("静音");
const QString kHeard = QStringLiteral("有声");

QStringList idsIn(const QString &text) {
    QStringList ids;
    for (const QString &part : text.split(u',')) {
        if (!part.trimmed().isEmpty())
            ids.append(part.trimmed());
    }
    return ids;
}

} // namespace

RoomMemory::RoomMemory(QString directory) : m_directory(std::move(directory)) {}

QString RoomMemory::fileName() {
    return QStringLiteral("广播终端原状.ini");
}

QString RoomMemory::path() const {
    return QDir(m_directory).filePath(fileName());
}

void RoomMemory::load() {
    m_muted.clear();
    if (m_directory.isEmpty())
        return;
    const ProfileFile file = ProfileFile::load(path());
    for (const QString &id : idsIn(file.string(kSection, kHeard)))
        m_muted.insert(id, false);
    for (const QString &id : idsIn(file.string(kSection, kMuted)))
        m_muted.insert(id, true);
}

std::optional<bool> RoomMemory::mutedBefore(const QString &id) const {
    const auto found = m_muted.constFind(id);
    if (found == m_muted.cend())
        return std::nullopt;
    return *found;
}

QString RoomMemory::remember(const CampusRooms &rooms, const QStringList &touched) {
    const QSet<QString> wanted(touched.cbegin(), touched.cend());
    bool added = false;
    for (const CampusRoom &room : rooms) {
        if (wanted.contains(room.id) && !m_muted.contains(room.id)) {
            m_muted.insert(room.id, room.muted);
            added = true;
        }
    }
    return added ? save() : QString();
}

void RoomMemory::clear() {
    m_muted.clear();
    if (!m_directory.isEmpty())
        QFile::remove(path());
}

QString RoomMemory::save() const {
    if (m_directory.isEmpty())
        return QString();
    QStringList muted, heard;
    for (auto it = m_muted.cbegin(); it != m_muted.cend(); ++it)
        (it.value() ? muted : heard).append(it.key());
    muted.sort();
    heard.sort();
    ProfileFile file;
    StoreResult result = file.setValue(kSection, kMuted, muted.join(u','));
    if (result)
        result = file.setValue(kSection, kHeard, heard.join(u','));
    if (result)
        result = file.save(path());
    return result ? QString() : result.error;
}
