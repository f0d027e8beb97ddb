#include "dialogs/PlayLogDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDateTime at(const char *text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList column(const QTableView *table, int c) {
    QStringList out;
    const QAbstractItemModel *model = table->model();
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, c).data().toString();
    return out;
}

} // namespace

class TestPlayLogDlg : public QObject {
    Q_OBJECT
private slots:
    void emptyStoreSaysSo();
    void monthsFiltersAndNewestFirst();
    void exportWritesTheShownRows();
};

void TestPlayLogDlg::emptyStoreSaysSo() {
    QTemporaryDir dir;
    CPlayLogDlg dialog(dir.path());
    QCOMPARE(dialog.monthBox()->count(), 0);
    QCOMPARE(dialog.table()->model()->rowCount(), 0);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("statusLabel"))->text(),
             QStringLiteral("还没有播放记录。"));
}

void TestPlayLogDlg::monthsFiltersAndNewestFirst() {
    QTemporaryDir dir;
    PlayLog log(dir.path());
    log.append(at("2026-11-30 08:00:00"), PlayLogEvent::TaskStart, "旧");
    log.append(at("2026-12-08 08:00:00"), PlayLogEvent::TaskStart, "早操");
    log.append(at("2026-12-08 08:00:03"), PlayLogEvent::ItemStart, "早操", "/m/a.wav");
    log.append(at("2026-12-08 09:00:00"), PlayLogEvent::NotStarted, "课间", {}, "节假日");
    log.append(at("2026-12-08 09:10:00"), PlayLogEvent::EndReached, "早操");
    log.close();

    CPlayLogDlg dialog(dir.path());
    QCOMPARE(dialog.monthBox()->count(), 2);
    QCOMPARE(dialog.monthBox()->currentText(), QStringLiteral("2026年12月"));
    QCOMPARE(column(dialog.table(), 0),
             (QStringList{"2026-12-08 09:10:00", "2026-12-08 09:00:00", "2026-12-08 08:00:03",
                          "2026-12-08 08:00:00"}));

    dialog.taskBox()->setCurrentText(QStringLiteral("早操"));
    QCOMPARE(
        column(dialog.table(), 1),
        (QStringList{PlayLogEvent::EndReached, PlayLogEvent::ItemStart, PlayLogEvent::TaskStart}));
    dialog.eventBox()->setCurrentText(PlayLogEvent::ItemStart);
    QCOMPARE(column(dialog.table(), 3), QStringList{"/m/a.wav"});

    // Another month: its own tasks; a filter it cannot hold falls back to all.
    dialog.monthBox()->setCurrentIndex(1);
    QCOMPARE(dialog.taskBox()->currentIndex(), 0);
    QCOMPARE(column(dialog.table(), 2), QStringList{"旧"});

    // The log grows while the dialog is open: the month read again has the new rows on top.
    log.append(at("2026-12-08 10:00:00"), PlayLogEvent::ManualStop, "早操");
    log.close();
    dialog.monthBox()->setCurrentIndex(0);
    QCOMPARE(column(dialog.table(), 0).first(), QStringLiteral("2026-12-08 10:00:00"));
    QCOMPARE(dialog.table()->model()->rowCount(), 5);
}

void TestPlayLogDlg::exportWritesTheShownRows() {
    QTemporaryDir dir;
    PlayLog log(dir.path());
    log.append(at("2026-12-08 08:00:00"), PlayLogEvent::TaskStart, "早,操");
    log.append(at("2026-12-08 09:00:00"), PlayLogEvent::NotStarted, "课间", {}, "节假日");
    log.close();
    CPlayLogDlg dialog(dir.path());
    dialog.eventBox()->setCurrentText(PlayLogEvent::TaskStart);
    const QString out = dir.filePath(QStringLiteral("导出.csv"));
    QVERIFY(dialog.exportTo(out));
    const QList<PlayLogRow> back = PlayLog::read(out);
    QCOMPARE(back.size(), 1);
    QCOMPARE(back[0], dialog.rows().shownRow(0));
    QCOMPARE(back[0].task, QStringLiteral("早,操"));
    QString error;
    QVERIFY(!dialog.exportTo(dir.filePath(QStringLiteral("no/such/dir/x.csv")), &error));
    QVERIFY(error.contains(QStringLiteral("无法写入")));
}

QTEST_MAIN(TestPlayLogDlg)
#include "test_play_log_dlg.moc"
