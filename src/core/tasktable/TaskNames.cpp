#include "TaskNames.h"

#include "playback/VolumeText.h"

#include "store/ProfileStore.h"
#include "store/StoreFiles.h"
#include "tasktable/DisplayText.h"

namespace TaskNames {

namespace {

bool hasControl(const QString &text) {
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

} // namespace

QString windowsNameProblem(const QString &name) {
    static const QString refused = QStringLiteral("\\/:*?\"<>|");
    for (QChar c : name)
        if (refused.contains(c))
            return QStringLiteral("播放任务名称不能包含 \\ / : * ? \" < > | 这些字符,请修改名称.");
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return QStringLiteral("播放任务名称不能以点或空格结尾,请修改名称.");
    // Windows reserves these names whatever the extension and letter case ("Nul.txt").
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    static const QStringList devices = [] {
        QStringList names = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                             QStringLiteral("NUL")};
        for (int i = 1; i <= 9; ++i)
            names << QStringLiteral("COM%1").arg(i) << QStringLiteral("LPT%1").arg(i);
        return names;
    }();
    if (devices.contains(stem))
        return QStringLiteral("\"%1\" 是 Windows 的设备名,不能用作播放任务名称,请修改名称.")
            .arg(DisplayText::shown(name));
    return {};
}

QString nameProblem(const QString &name, const QList<PlayTask> &rows, int self) {
    if (name.isEmpty())
        return EmptyName;
    if (name.contains(u'/') || name.contains(u'\\') || hasControl(name))
        return QStringLiteral("播放任务名称不能包含 / 、\\ 或控制字符,请修改名称.");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("播放任务名称不能是 \".\" 或 \"..\",请修改名称.");
    if (StoreFiles::isOwnStem(name))
        return QStringLiteral("\"%1\" 是程序数据文件的名称,不能用作播放任务名称,请修改名称.")
            .arg(DisplayText::shown(name));
    if (!Gbk::canEncode(name))
        return QStringLiteral("播放任务名称中有无法保存的字符,请修改名称.");
    // A hand-edited store may hold such a name; the task keeps playing and may be changed
    // without a rename (the table suggests one).
    const bool unchanged = self >= 0 && self < rows.size() && rows[self].Name == name;
    if (!unchanged)
        if (QString problem = windowsNameProblem(name); !problem.isEmpty())
            return problem;
    // Playlist files differing only in letter case are one file on Windows, where a backup
    // of the store may be imported.
    for (int i = 0; i < rows.size(); ++i)
        if (i != self && rows[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("已有名为 \"%1\" 的播放任务,名称不能重复,请修改名称.")
                .arg(DisplayText::shown(rows[i].Name));
    return {};
}

QString volumeProblem(const QString &volume) {
    if (hasControl(volume) || !Gbk::canEncode(volume))
        return QStringLiteral("音量 \"%1\" 无法保存,请选择或填写 0 到 65535 之间的数字.")
            .arg(DisplayText::shown(volume));
    return VolumeText::problem(volume);
}

QString itemProblem(const QString &item) {
    if (hasControl(item) || !Gbk::canEncode(item))
        return QStringLiteral("无法添加 \"%1\":其中有无法保存的字符.")
            .arg(DisplayText::shown(item));
    return {};
}

} // namespace TaskNames
