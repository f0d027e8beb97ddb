#include "AutostartEntry.h"

#include "program/SystemErrors.h"
#include "store/BoundedRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace AutostartEntry {

namespace {
QString configHome() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

// Escapes of a desktop entry string value: a backslash and line breaks.
QString escapeValue(const QString &value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    escaped.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    escaped.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return escaped;
}
} // namespace

QString filePath() {
    return configHome() + QStringLiteral("/autostart/horalet.desktop");
}

bool isEnabled() {
    // An entry is a few lines; a pipe or a device in its place is none.
    QByteArray bytes;
    if (BoundedRead::readStored(filePath(), &bytes, nullptr, 1024 * 1024) !=
        BoundedRead::Stored::Whole)
        return false;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        line.remove(QLatin1Char(' '));
        if (line.compare(QStringLiteral("Hidden=true"), Qt::CaseInsensitive) == 0 ||
            line.compare(QStringLiteral("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) ==
                0)
            return false;
    }
    return true;
}

QString quoteExecArgument(const QString &argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = argument;
    // A literal percent sign is doubled: %f, %u... are field codes.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    bool needsQuotes = quoted.isEmpty();
    for (QChar c : argument)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return quoted;
    QString inside;
    for (QChar c : quoted) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            inside += QLatin1Char('\\');
        inside += c;
    }
    return QLatin1Char('"') + inside + QLatin1Char('"');
}

QString entryText(const QString &executable, const QString &storeDirectory) {
    QString exec = quoteExecArgument(executable) + QStringLiteral(" --minimized");
    if (!storeDirectory.isEmpty())
        exec += QStringLiteral(" --store ") + quoteExecArgument(storeDirectory);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Horalet Timed Player\n"
                          "Name[zh_CN]=Quenlo多媒体定时播放系统\n"
                          "Comment=Starts the timetable at login, in the tray\n"
                          "Comment[zh_CN]=登录时启动定时播放，只显示托盘图标\n"
                          "Exec=%1\n"
                          "Icon=horalet\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapeValue(exec));
}

bool enable(const QString &executable, const QString &storeDirectory, QString *error) {
    const QString path = filePath();
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory)) {
        if (error)
            *error = QStringLiteral("无法创建目录“%1”。").arg(QDir::toNativeSeparators(directory));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = SystemErrors::translated(file.errorString());
        return false;
    }
    file.write(entryText(executable, storeDirectory).toUtf8());
    if (!file.commit()) {
        if (error)
            *error = SystemErrors::translated(file.errorString());
        return false;
    }
    return true;
}

bool disable(QString *error) {
    QFile file(filePath());
    if (!file.exists() && !QFileInfo(file).isSymLink())
        return true;
    if (!file.remove()) {
        if (error)
            *error = SystemErrors::translated(file.errorString());
        return false;
    }
    return true;
}

} // namespace AutostartEntry
