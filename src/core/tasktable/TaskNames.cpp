#include "TaskNames.h"

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
    return {};
}

QString itemProblem(const QString &item) {
    if (hasControl(item) || !Gbk::canEncode(item))
        return QStringLiteral("无法添加 \"%1\":其中有无法保存的字符.")
            .arg(DisplayText::shown(item));
    return {};
}

} // namespace TaskNames
