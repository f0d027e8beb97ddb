#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The words of the 事件 column.
namespace PlayLogEvent {
inline const QString ProgramStart = QStringLiteral("程序启动");
inline const QString ProgramExit = QStringLiteral("程序退出");
inline const QString TaskStart = QStringLiteral("任务开始");
inline const QString ItemStart = QStringLiteral("项目开始");
inline const QString ItemFailed = QStringLiteral("项目失败");
inline const QString EndReached = QStringLiteral("到达结束时间");
inline const QString ManualStop = QStringLiteral("手动停止");
inline const QString TaskRemoved = QStringLiteral("任务已删除");
inline const QString TaskEdited = QStringLiteral("任务已修改");
inline const QString PassEnded = QStringLiteral("顺序播放结束");
inline const QString ShutdownRequested = QStringLiteral("定时关机");
inline const QString ShutdownRefused = QStringLiteral("关机被拒绝");
inline const QString NotStarted = QStringLiteral("未播放");
inline const QString CaughtUp = QStringLiteral("补查");
inline const QString FileProblem = QStringLiteral("文件问题");
inline const QString TimetableProblem = QStringLiteral("作息表问题");
inline const QString VolumeProblem = QStringLiteral("音量问题");
inline const QString WakeAlarm = QStringLiteral("定时开机");
inline const QString Campus = QStringLiteral("校园广播");
inline const QString Heard = QStringLiteral("已出声");
inline const QString NotHeard = QStringLiteral("未出声");
inline const QString OutputQuiet = QStringLiteral("输出音量");
inline const QString Unconfirmed = QStringLiteral("无法确认出声");
} // namespace PlayLogEvent

struct PlayLogRow {
    QString time; // "yyyy-MM-dd HH:mm:ss"
    QString event;
    QString task;
    QString item;
    QString note;

    bool operator==(const PlayLogRow &) const = default;
};

// The monthly play log, 播放记录/YYYY-MM.csv in the store directory: UTF-8 with a BOM so
// spreadsheet programs read the Chinese, CRLF, appended one row per event and flushed at
// once, so a crash loses nothing already told. The file stays open between events: an event
// costs one write. A field that a spreadsheet would run as a formula (= + - @ tab CR first)
// is written behind a ' and read back as it was given.
class PlayLog : public QObject {
    Q_OBJECT
public:
    static constexpr int KeepMonths = 24;

    explicit PlayLog(const QString &storeDirectory, QObject *parent = nullptr);

    static QString folderIn(const QString &storeDirectory);
    QString folder() const { return folderIn(m_directory); }
    static QString fileName(const QDate &month); // "2026-12.csv"
    QString pathOf(const QDate &month) const;

    // Appends one row to the file of the month of `at`; false when it could not be written.
    bool append(const QDateTime &at, const QString &event, const QString &task = {},
                const QString &item = {}, const QString &note = {});
    bool failing() const { return m_failing; }
    void close() { m_file.close(); }

    // Removes the month files (YYYY-MM.csv, nothing else) more than KeepMonths before
    // `today`'s month; returns how many. Never through a symbolic link.
    int removeOld(const QDate &today);

    // The months that have a file, newest first.
    static QList<QDate> months(const QString &storeDirectory);

    static const QByteArray &bom();
    static QByteArray headerBytes();                       // BOM and the column names, CRLF
    static QByteArray rowBytes(const QStringList &fields); // quoted where needed, CRLF
    static QList<QStringList> parse(const QByteArray &bytes);
    static bool isHeader(const QStringList &cells);
    // A cell as it was given to append (a formula guard taken off).
    static QString asTyped(const QString &cell);
    static PlayLogRow rowOf(const QStringList &cells);
    // The rows of a month file (header left out); an unreadable file gives an error text.
    static QList<PlayLogRow> read(const QString &path, QString *error = nullptr);
    // Writes rows as a log file does (BOM, header, CRLF); false with an error text on failure.
    static bool write(const QString &path, const QList<PlayLogRow> &rows, QString *error);

signals:
    // Once when writing starts to fail; again only after a write has succeeded meanwhile.
    void writeFailed(const QString &message);

private:
    bool openFor(const QDate &month);

    QString m_directory;
    QFile m_file;
    QDate m_month;
    bool m_failing = false;
};
