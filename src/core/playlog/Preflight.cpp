#include "Preflight.h"

#include "playback/VolumeText.h"
#include "scheduler/NextStart.h"
#include "store/TaskStore.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace Preflight {

QString checkItem(const QString &item, const Probe &probe) {
    if (item.trimmed().isEmpty())
        return QStringLiteral("播放列表中有空项目");
    if (item.contains(QLatin1String("://"))) {
        // A stream is only known when it is played; its address can be checked now.
        const QUrl url(item, QUrl::StrictMode);
        static const QStringList schemes = {"http", "https", "rtsp", "rtmp", "mms", "mmsh",
                                            "mmst", "rtp",   "udp",  "ftp",  "file"};
        if (!url.isValid() || !schemes.contains(url.scheme().toLower()))
            return QStringLiteral("网络地址格式不对");
        if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0 &&
            url.host().isEmpty())
            return QStringLiteral("网络地址缺少主机名");
        if (url.isLocalFile())
            return checkItem(url.toLocalFile(), probe);
        return {};
    }
    const QFileInfo info(item);
    if (!info.exists())
        return QStringLiteral("文件不存在");
    if (!info.isFile())
        return QStringLiteral("不是普通文件");
    QFile file(item);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("文件无法读取");
    if (file.size() == 0)
        return QStringLiteral("文件是空的");
    file.close();
    return probe ? probe(item) : QString();
}

QList<Problem> checkTask(const TaskStore &store, const QString &name, const Probe &probe) {
    QString error;
    const QString path = store.playlistPath(name, &error);
    if (path.isEmpty())
        return {{{}, error.isEmpty() ? QStringLiteral("任务名称无法作为播放列表文件名") : error}};
    if (!QFileInfo::exists(path))
        return {{{}, QStringLiteral("播放列表文件不存在")}};
    const TaskPlaylist items = store.ReadTaskPlaylist(name, &error);
    if (!error.isEmpty())
        return {{{}, error}};
    if (items.isEmpty())
        return {{{}, QStringLiteral("播放列表是空的")}};
    QList<Problem> problems;
    for (const QString &item : items) {
        const QString reason = checkItem(item, probe);
        if (!reason.isEmpty())
            problems.append({item, reason});
    }
    return problems;
}

QList<Verdict> check(const ScheduleTable &table, const QDateTime &now, const DayGate &gate,
                     const TaskStore &store, const Probe &probe, const std::atomic_bool *cancel,
                     const QString &outputNow) {
    const QDateTime until = now.addSecs(HorizonSeconds);
    // Nothing beyond the horizon matters, so no walk goes past its day.
    const QDate lastDay = until.toLocalTime().date();
    const NextStart::Starts starts(table);
    // A task whose timetable is missing would be due by its other rules: told as such.
    DayGate allYear = gate;
    allYear.seasons = {};
    QList<Verdict> verdicts;
    for (qsizetype slot = 0; slot < table.size(); ++slot) {
        if (cancel && *cancel)
            break;
        if (const QString never = gate.seasons.neverReason(table[slot].Name); !never.isEmpty()) {
            const std::optional<QDateTime> due = starts.of(slot, now, allYear, lastDay);
            if (due && *due <= until)
                verdicts.append({table[slot].Name,
                                 *due,
                                 {{{}, never + QStringLiteral("，不会播放"), Kind::Timetable}}});
            continue;
        }
        const std::optional<QDateTime> due = starts.of(slot, now, gate, lastDay);
        if (!due || *due > until)
            continue;
        QList<Problem> problems = checkTask(store, table[slot].Name, probe);
        if (VolumeText::silentByMistake(table[slot].Type))
            problems.prepend({{}, VolumeText::storedNote(table[slot].Type), Kind::Volume});
        if (!outputNow.isEmpty())
            problems.append({{}, QStringLiteral("现在") + outputNow, Kind::Output});
        if (!problems.isEmpty())
            verdicts.append({table[slot].Name, *due, problems});
    }
    std::stable_sort(verdicts.begin(), verdicts.end(),
                     [](const Verdict &a, const Verdict &b) { return a.due < b.due; });
    return verdicts;
}

QString caption(const QList<Verdict> &verdicts, const QDateTime &now) {
    const QDate today = now.toLocalTime().date();
    QStringList parts;
    for (const Kind kind : {Kind::File, Kind::Timetable, Kind::Volume, Kind::Output}) {
        QList<QDate> days;
        QStringList reasons;
        for (const Verdict &v : verdicts) {
            const auto of = std::find_if(v.problems.cbegin(), v.problems.cend(),
                                         [kind](const Problem &p) { return p.kind == kind; });
            if (of == v.problems.cend())
                continue;
            days << v.due.date();
            if (!reasons.contains(of->reason))
                reasons << of->reason;
        }
        if (days.isEmpty())
            continue;
        const bool allToday =
            std::all_of(days.cbegin(), days.cend(), [&](const QDate &d) { return d == today; });
        const bool allTomorrow = std::all_of(days.cbegin(), days.cend(),
                                             [&](const QDate &d) { return d == today.addDays(1); });
        const QString when = allToday      ? QStringLiteral("今天")
                             : allTomorrow ? QStringLiteral("明天")
                                           : QStringLiteral("24 小时内");
        const QString count = QStringLiteral("%1有 %2 个播放任务").arg(when).arg(days.size());
        if (kind == Kind::File) {
            parts << count + QStringLiteral("的文件有问题");
        } else if (kind == Kind::Timetable) {
            // "作息表‘冬季’不存在，不会播放": the timetable's own words, once.
            QString why = reasons.size() == 1 ? reasons.constFirst() : QString();
            why.remove(QStringLiteral("，不会播放"));
            parts << count + QStringLiteral("不会播放") +
                         (why.isEmpty() ? QStringLiteral("（作息表有问题）") : u'：' + why);
        } else if (kind == Kind::Volume) {
            parts << count + QStringLiteral("会无声（音量不是 0 到 65535 之间的数字）");
        } else {
            // "现在声音输出“…”已静音": the same for every task, said once.
            parts << count +
                         QStringLiteral("会听不到（%1）").arg(reasons.join(QStringLiteral("；")));
        }
    }
    return parts.join(QStringLiteral("；"));
}

} // namespace Preflight
