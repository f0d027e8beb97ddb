#include "CampusConfig.h"

#include "store/ProfileStore.h"
#include "store/StoreDirectory.h"
#include "store/StoreFiles.h"
#include "store/TaskBoundSection.h"
#include "tasktable/DisplayText.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace {

const QString kServerSection = QStringLiteral("服务器");
const QString kZoneSection = QStringLiteral("分区");
const QString kEnabledKey = QStringLiteral("启用");
const QString kAddressKey = QStringLiteral("地址");
const QString kPortKey = QStringLiteral("控制端口");
const QString kPipeKey = QStringLiteral("管道");
const QString kPipeGroupKey = QStringLiteral("管道用户组");
constexpr int kDefaultPort = 1705;
// Snapcast client ids are host names or MAC addresses; zone names are labels. Both go into
// list boxes and log rows.
constexpr qsizetype kMaxNameLength = 64;

// Names are compared as the file's reader compares keys: ASCII letters without case.
bool sameKey(const QString &a, const QString &b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode(), y = b[i].unicode();
        const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
        if (lower(x) != lower(y))
            return false;
    }
    return true;
}

// "a, b,,a" -> {a, b}: blanks trimmed, empty and repeated names dropped.
QStringList splitNames(const QString &text) {
    QStringList names;
    QSet<QString> seen;
    for (const QStringView part : QStringView(text).split(u',')) {
        const QStringView name = part.trimmed();
        if (name.isEmpty())
            continue;
        QString kept = name.toString();
        if (!seen.contains(kept)) {
            seen.insert(kept);
            names.append(std::move(kept));
        }
    }
    return names;
}

QString joinNames(const QStringList &names) {
    return names.join(u',');
}

CampusConfig::Server serverOf(const ProfileFile &file) {
    CampusConfig::Server server;
    server.enabled = file.integer(kServerSection, kEnabledKey, 0) != 0;
    if (const QString address = file.string(kServerSection, kAddressKey).trimmed();
        !address.isEmpty())
        server.address = address;
    const int port = file.integer(kServerSection, kPortKey, kDefaultPort);
    server.controlPort = port >= 1 && port <= 65535 ? port : kDefaultPort;
    if (const QString pipe = file.string(kServerSection, kPipeKey).trimmed(); !pipe.isEmpty())
        server.pipe = pipe;
    server.pipeGroup = file.string(kServerSection, kPipeGroupKey).trimmed();
    return server;
}

using TaskEntries = TaskBoundSection<QStringList>;

struct State {
    CampusConfig::Server server;
    QList<CampusConfig::Zone> zones;
    TaskEntries tasks;
};

State stateOf(const ProfileFile &file) {
    State state;
    state.server = serverOf(file);
    const ProfileFile::SectionRef zones = file.section(kZoneSection);
    for (const QString &key : file.keys(kZoneSection))
        state.zones.append({key, splitNames(zones.value(key).value_or(QString()))});
    state.tasks = TaskEntries::read(file, CampusConfig::taskSection(), splitNames);
    return state;
}

// The value as it stands when it still reads as `wanted`, so an entry the user wrote in a
// form of their own ("room1, room2") is not rewritten for nothing.
QString keptOr(const ProfileFile &current, const QString &section, const QString &key,
               const QStringList &wanted) {
    if (const auto stored = current.value(section, key); stored && splitNames(*stored) == wanted)
        return stored->trimmed();
    return joinNames(wanted);
}

StoreResult appendServer(const ProfileFile &current, qsizetype headerIndex, const State &state,
                         ProfileFile *file) {
    // Its lines as they stand (entries of no meaning here, values that do not read as a
    // setting, settings left out for their defaults), with only the settings that differ set
    // anew. A new section names them all.
    if (headerIndex >= 0)
        file->appendSectionOf(current, headerIndex);
    else if (auto r = file->appendSection(kServerSection, {}); !r)
        return r;
    const CampusConfig::Server stored = serverOf(current);
    const CampusConfig::Server &s = state.server;
    const struct {
        bool differs;
        const QString &key;
        QString value;
    } settings[] = {
        {s.enabled != stored.enabled, kEnabledKey,
         s.enabled ? QStringLiteral("1") : QStringLiteral("0")},
        {s.address != stored.address, kAddressKey, s.address},
        {s.controlPort != stored.controlPort, kPortKey, QString::number(s.controlPort)},
        {s.pipe != stored.pipe, kPipeKey, s.pipe},
        {s.pipeGroup != stored.pipeGroup, kPipeGroupKey, s.pipeGroup},
    };
    for (const auto &setting : settings)
        // A setting few need is written only once it is set.
        if (setting.differs ||
            (headerIndex < 0 && !(setting.value.isEmpty() && &setting.key == &kPipeGroupKey)))
            if (auto r = file->setValue(kServerSection, setting.key, setting.value); !r)
                return r;
    return StoreResult::success();
}

StoreResult appendZones(const ProfileFile &current, const State &state, ProfileFile *file) {
    if (auto r = file->appendSection(kZoneSection, {}); !r)
        return r;
    for (const CampusConfig::Zone &zone : state.zones)
        if (auto r = file->setValue(kZoneSection, zone.name,
                                    keptOr(current, kZoneSection, zone.name, zone.rooms));
            !r)
            return r;
    return StoreResult::success();
}

StoreResult appendTasks(const ProfileFile &current, const State &state, ProfileFile *file) {
    const QString section = CampusConfig::taskSection();
    return state.tasks.appendTo(file, section, [&](const QString &task, const QStringList &zones) {
        return keptOr(current, section, task, zones);
    });
}

// The file anew from the state, in place of the stored one: lines before the first section
// and sections of no meaning here kept as they stand and where they stand, the three
// sections where they were first found (else at the end, in their usual order).
StoreResult build(const ProfileFile &current, const State &state, FileEncoding encoding,
                  ProfileFile *file) {
    file->setEncoding(encoding);
    file->copyPreambleOf(current);
    const QString taskSection = CampusConfig::taskSection();
    bool server = false, zones = false, tasks = false;
    for (qsizetype i = 0; i < current.sectionCount(); ++i) {
        const QString name = current.sectionNameAt(i).trimmed();
        StoreResult r;
        if (!server && name == kServerSection) {
            server = true;
            r = appendServer(current, i, state, file);
        } else if (!zones && name == kZoneSection) {
            zones = true;
            r = appendZones(current, state, file);
        } else if (!tasks && name == taskSection) {
            tasks = true;
            r = appendTasks(current, state, file);
        } else {
            file->appendSectionOf(current, i);
        }
        if (!r)
            return r;
    }
    if (!server)
        if (auto r = appendServer(current, -1, state, file); !r)
            return r;
    if (!zones)
        if (auto r = appendZones(current, state, file); !r)
            return r;
    if (!tasks)
        if (auto r = appendTasks(current, state, file); !r)
            return r;
    return StoreResult::success();
}

// What a rewrite makes of the stored file: comments and blank lines inside the zone and task
// sections do not survive it.
QByteArray sameContent(const QByteArray &stored) {
    const ProfileFile current = ProfileFile::fromBytes(stored);
    ProfileFile file;
    if (!build(current, stateOf(current), current.encoding(), &file))
        return QByteArray(1, '\0');
    return file.toBytes();
}

StoreResult checkNames(const QStringList &names) {
    for (const QString &name : names)
        if (const QString problem = CampusConfig::nameProblem(name); !problem.isEmpty())
            return StoreResult::failure(problem);
    return StoreResult::success();
}

QStringList trimmedNames(const QStringList &names) {
    QStringList out;
    QSet<QString> seen;
    for (const QString &name : names)
        if (QString trimmed = name.trimmed(); !trimmed.isEmpty() && !seen.contains(trimmed)) {
            seen.insert(trimmed);
            out.append(std::move(trimmed));
        }
    return out;
}

} // namespace

QString CampusConfig::fileName() {
    return StoreFiles::CampusStem + QStringLiteral(".ini");
}

QString CampusConfig::taskSection() {
    return QStringLiteral("任务分区");
}

QString CampusConfig::nameProblem(const QString &name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("名称不能为空。");
    if (trimmed.size() > kMaxNameLength)
        return QStringLiteral("名称太长，最多 %1 个字符。").arg(kMaxNameLength);
    if (trimmed.contains(u'=') || trimmed.contains(u'[') || trimmed.contains(u','))
        return QStringLiteral("名称不能包含“=”“[”或“,”。");
    if (trimmed.startsWith(u';'))
        return QStringLiteral("名称不能以“;”开头。");
    for (QChar c : trimmed)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("名称不能包含控制字符。");
    if (trimmed == QStringLiteral("全部"))
        return QStringLiteral("“全部”表示所有终端，不能用作名称。");
    if (!Gbk::canEncode(trimmed))
        return QStringLiteral("名称中有无法保存的字符。");
    return {};
}

CampusConfig::CampusConfig(QString directory) : m_directory(std::move(directory)) {}

namespace {
QString pathIn(const QString &directory) {
    return StoreDirectory::filePath(directory, CampusConfig::fileName());
}
} // namespace

void CampusConfig::load(QString *error) {
    State state = stateOf(ProfileFile::load(pathIn(m_directory), error));
    m_server = state.server;
    takeZones(std::move(state.zones));
    m_tasks = std::move(state.tasks);
}

void CampusConfig::takeZones(QList<Zone> zones) {
    m_zones = std::move(zones);
    m_zoneAt.clear();
    m_zoneAt.reserve(m_zones.size());
    for (qsizetype i = m_zones.size(); i-- > 0;)
        m_zoneAt.insert(m_zones[i].name, i);
}

const CampusConfig::Zone *CampusConfig::findZone(const QString &name) const {
    const auto at = m_zoneAt.constFind(name);
    return at == m_zoneAt.cend() ? nullptr : &m_zones[*at];
}

QStringList CampusConfig::tasksOf(const QString &zone) const {
    return m_tasks.tasksWhere([&](const QStringList &zones) { return zones.contains(zone); });
}

namespace {

// Writes the state over the stored file, which is read again first so that what this
// program does not know of is kept even when the file changed since it was loaded.
StoreResult writeState(const QString &path, const State &state) {
    QString error;
    const ProfileFile current = ProfileFile::load(path, &error);
    if (!error.isEmpty())
        return StoreResult::failure(error);
    ProfileFile file;
    // A file saved as UTF-8 or UTF-16 elsewhere stays so.
    if (auto r = build(current, state, current.encoding(), &file); !r)
        return r;
    return file.save(path, sameContent);
}

// The tasks whose zones name `zone`, with the zones changed by `change`.
QHash<QString, QStringList> changedTasks(const TaskEntries &tasks, const QString &zone,
                                         const std::function<void(QStringList &)> &change) {
    QHash<QString, QStringList> changed;
    for (const QString &task :
         tasks.tasksWhere([&](const QStringList &zones) { return zones.contains(zone); })) {
        QStringList zones = tasks.valueOf(task);
        change(zones);
        changed.insert(task, zones);
    }
    return changed;
}

} // namespace

StoreResult CampusConfig::setServer(const Server &server) {
    Server next = server;
    next.address = next.address.trimmed();
    next.pipe = next.pipe.trimmed();
    if (next.address.isEmpty())
        return StoreResult::failure(QStringLiteral("请输入广播服务器的地址。"));
    if (std::any_of(next.address.cbegin(), next.address.cend(),
                    [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }) ||
        !Gbk::canEncode(next.address))
        return StoreResult::failure(QStringLiteral("广播服务器的地址“%1”无效。").arg(next.address));
    if (next.controlPort < 1 || next.controlPort > 65535)
        return StoreResult::failure(QStringLiteral("控制端口应在 1 到 65535 之间。"));
    if (!next.pipe.startsWith(u'/') || next.pipe.contains(u',') ||
        std::any_of(next.pipe.cbegin(), next.pipe.cend(),
                    [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; }) ||
        !Gbk::canEncode(next.pipe))
        return StoreResult::failure(
            QStringLiteral("管道应为不含空格的绝对路径，如 /tmp/snapfifo。"));
    next.pipeGroup = next.pipeGroup.trimmed();
    if (std::any_of(next.pipeGroup.cbegin(), next.pipeGroup.cend(),
                    [](QChar c) {
                        return c.isSpace() || c.category() == QChar::Other_Control || c == u':' ||
                               c == u',';
                    }) ||
        !Gbk::canEncode(next.pipeGroup))
        return StoreResult::failure(
            QStringLiteral("管道用户组“%1”无效。").arg(DisplayText::shown(next.pipeGroup)));
    State state{next, m_zones, m_tasks};
    if (auto r = writeState(pathIn(m_directory), state); !r)
        return r;
    m_server = next;
    return StoreResult::success();
}

StoreResult CampusConfig::setZone(const QString &name, const QStringList &rooms) {
    const QString zone = name.trimmed();
    const QStringList ids = trimmedNames(rooms);
    if (ids.size() > MaxRoomsPerZone)
        return StoreResult::failure(QStringLiteral("一个分区最多 %1 个终端，“%2”有 %3 个。")
                                        .arg(MaxRoomsPerZone)
                                        .arg(DisplayText::shown(zone))
                                        .arg(ids.size()));
    if (auto r = checkNames(QStringList{zone} + ids); !r)
        return r;
    QList<Zone> next = m_zones;
    if (const auto at = m_zoneAt.constFind(zone); at != m_zoneAt.cend()) {
        next[*at].rooms = ids;
    } else {
        for (const Zone &z : next)
            if (sameKey(z.name, zone))
                return StoreResult::failure(QStringLiteral("已有名为“%1”的分区。").arg(z.name));
        if (next.size() >= MaxZones)
            return StoreResult::failure(
                QStringLiteral("分区最多 %1 个，请先删除不用的分区。").arg(MaxZones));
        next.append({zone, ids});
    }
    if (auto r = writeState(pathIn(m_directory), {m_server, next, m_tasks}); !r)
        return r;
    takeZones(std::move(next));
    return StoreResult::success();
}

StoreResult CampusConfig::renameZone(const QString &from, const QString &to) {
    const QString name = to.trimmed();
    if (from == name)
        return StoreResult::success();
    if (const QString problem = nameProblem(name); !problem.isEmpty())
        return StoreResult::failure(problem);
    for (const Zone &z : m_zones)
        if (z.name != from && sameKey(z.name, name))
            return StoreResult::failure(QStringLiteral("已有名为“%1”的分区。").arg(z.name));
    const auto at = m_zoneAt.constFind(from);
    if (at == m_zoneAt.cend())
        return StoreResult::failure(QStringLiteral("分区“%1”不存在。").arg(from));
    QList<Zone> next = m_zones;
    next[*at].name = name;
    // A task that named both keeps the new name once, where the old one stood.
    const TaskEntries tasks = m_tasks.with(changedTasks(m_tasks, from, [&](QStringList &zones) {
        zones.removeAll(name);
        zones[zones.indexOf(from)] = name;
    }));
    if (auto r = writeState(pathIn(m_directory), {m_server, next, tasks}); !r)
        return r;
    takeZones(std::move(next));
    m_tasks = tasks;
    return StoreResult::success();
}

StoreResult CampusConfig::removeZone(const QString &name) {
    QList<Zone> next = m_zones;
    next.removeIf([&](const Zone &z) { return z.name == name; });
    // A task left without a zone loses its entry, and plays to all rooms.
    const TaskEntries tasks = m_tasks.with(
        changedTasks(m_tasks, name, [&](QStringList &zones) { zones.removeAll(name); }));
    if (auto r = writeState(pathIn(m_directory), {m_server, next, tasks}); !r)
        return r;
    takeZones(std::move(next));
    m_tasks = tasks;
    return StoreResult::success();
}

StoreResult CampusConfig::setTaskZones(const QString &task, const QStringList &zones) {
    return setTaskZonesOf({{task, zones}});
}

StoreResult CampusConfig::setTaskZonesOf(const QHash<QString, QStringList> &entries,
                                         const QSet<QString> *existing) {
    QHash<QString, QStringList> checked;
    checked.reserve(entries.size());
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QStringList zones = trimmedNames(it.value());
        if (zones.size() > MaxZones)
            return StoreResult::failure(
                QStringLiteral("一个播放任务最多选 %1 个分区。").arg(MaxZones));
        if (auto r = checkNames(zones); !r)
            return r;
        // The task's name is the entry's key, which cannot hold these.
        if (!zones.isEmpty() && (it.key().contains(u'=') || it.key().trimmed().startsWith(u'[')))
            return StoreResult::failure(
                QStringLiteral("播放任务名称“%1”含有“=”或以“[”开头，不能设置广播分区，请修改名称。")
                    .arg(DisplayText::shown(it.key())));
        checked.insert(it.key(), zones);
    }
    const TaskEntries tasks = m_tasks.with(checked, existing);
    if (tasks == m_tasks)
        return StoreResult::success();
    if (auto r = writeState(pathIn(m_directory), {m_server, m_zones, tasks}); !r)
        return r;
    m_tasks = tasks;
    return StoreResult::success();
}
