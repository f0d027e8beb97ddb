#include "campus/CampusOutput.h"
#include "dialogs/CampusDlg.h"
#include "fixtures/SnapcastFixture.h"
#include "platform/SnapcastClient.h"
#include "playback/FakePlayback.h"
#include "scheduler/FakeClock.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskTableModel.h"
#include "view/CampusLink.h"
#include "view/CampusPanel.h"
#include "view/CommandIds.h"
#include "view/HeaderCtrlCl.h"
#include "view/HoraletView.h"
#include "view/ListCtrlCl.h"
#include "view/ViewLook.h"
#include "widgets/LedClock.h"
#include "widgets/ScrollingText.h"
#include "widgets/TipControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <cmath>

namespace {
QWidget *control(const QWidget &view, int id) {
    const QString suffix = QString::number(id);
    QWidget *found = nullptr;
    for (QWidget *child : view.findChildren<QWidget *>()) {
        const QString name = child->objectName();
        if (name.endsWith(suffix) && !name.at(name.size() - suffix.size() - 1).isDigit()) {
            if (found)
                qWarning() << "two controls with id" << id;
            found = child;
        }
    }
    return found;
}

QString textOf(QWidget *widget) {
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    return {};
}

QStringList rowTexts(const QAbstractItemModel *model, int row) {
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->index(row, column).data().toString();
    return texts;
}

// What a room's sink plays, as the loud tenths of a second since the recording began. Its
// monitor only delivers while some stream plays into it: silence is kept playing too.
class RoomRecording {
public:
    explicit RoomRecording(const QString &sink) {
        const QStringList format{QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                 QStringLiteral("--rate=48000"), QStringLiteral("--channels=1")};
        m_silence.start(QStringLiteral("pacat"),
                        QStringList{QStringLiteral("--playback"), QStringLiteral("-d"), sink} +
                            format);
        m_feed.setInterval(50);
        QObject::connect(&m_feed, &QTimer::timeout,
                         [this] { m_silence.write(QByteArray(48000 * 2 / 10, '\0')); });
        m_feed.start();
        m_recorder.start(QStringLiteral("parec"),
                         QStringList{QStringLiteral("-d"), sink + QStringLiteral(".monitor"),
                                     QStringLiteral("--latency-msec=20")} +
                             format);
        QObject::connect(&m_recorder, &QProcess::readyReadStandardOutput, [this] { read(); });
        m_clock.start();
    }
    ~RoomRecording() {
        m_feed.stop();
        for (QProcess *process : {&m_recorder, &m_silence}) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
    // Loud tenths of a second from `sinceMs` on.
    int loudTenths(qint64 sinceMs) const {
        int loud = 0;
        for (const auto &[at, level] : m_tenths)
            loud += at >= sinceMs && level > 300;
        return loud;
    }
    qint64 now() const { return m_clock.elapsed(); }

private:
    void read() {
        m_pending += m_recorder.readAllStandardOutput();
        constexpr qsizetype Tenth = 48000 * 2 / 10;
        while (m_pending.size() >= Tenth) {
            double sum = 0;
            const auto *samples = reinterpret_cast<const qint16 *>(m_pending.constData());
            for (qsizetype i = 0; i < Tenth / 2; ++i)
                sum += double(samples[i]) * samples[i];
            m_tenths.append({m_clock.elapsed(), std::sqrt(sum / (Tenth / 2))});
            m_pending.remove(0, Tenth);
        }
    }

    QProcess m_silence, m_recorder;
    QTimer m_feed;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    QList<std::pair<qint64, double>> m_tenths;
};

} // namespace

class TestHoraletView : public QObject {
    Q_OBJECT
private slots:
    void formHasEveryControlUnderItsId_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        const struct {
            int id;
            const char *kind;
            const char *text;
        } controls[] = {
            {1001, "CListCtrlCl", ""},
            {1019, "QPushButton", "新增"},
            {1021, "QPushButton", "修改"},
            {1022, "QPushButton", "删除"},
            {1016, "QPushButton", "本日任务"},
            {1017, "QPushButton", "本周"},
            {1018, "QPushButton", "本月"},
            {1002, "QPushButton", "所有"},
            {1122, "QGroupBox", ""},
            {1121, "QCheckBox", "下列日期不播放(节假日)"},
            {1045, "QCheckBox", "一"},
            {1046, "QCheckBox", "二"},
            {1047, "QCheckBox", "三"},
            {1048, "QCheckBox", "四"},
            {1049, "QCheckBox", "五"},
            {1050, "QCheckBox", "六"},
            {1051, "QCheckBox", "日"},
            {1081, "QListView", ""},
            {1006, "QDateEdit", ""},
            {1082, "QPushButton", "增加"},
            {1083, "QPushButton", "删除"},
            {1057, "QLabel", ""},
            {1056, "QSlider", ""},
            {1076, "QCheckBox", "开启定时关机"},
            {1044, "QTimeEdit", ""},
            {1075, "QPushButton", "确定"},
            {1077, "QWidget", ""},
            {1061, "QPushButton", "停止当前播放"},
            {1043, "QLineEdit", ""},
            {1037, "QListWidget", ""},
            {1112, "QRadioButton", "顺序播放"},
            {1071, "QRadioButton", "循环播放"},
            {1110, "QRadioButton", "随机播放"},
            {1023, "CLedClock", ""},
            {1125, "CScrollingText", ""},
            {1003, "QCheckBox", "播放视频时全屏"},
            {1059, "QCheckBox", "使用设定的音量"},
        };
        for (const auto &c : controls)
            QTest::addRow("%d", c.id)
                << c.id << QString::fromLatin1(c.kind) << QString::fromUtf8(c.text);
    }

    void formHasEveryControlUnderItsId() {
        QFETCH(int, id);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        CHoraletView view(QDir::tempPath());
        QWidget *widget = control(view, id);
        QVERIFY2(widget, qPrintable(QStringLiteral("no control %1").arg(id)));
        QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
        QCOMPARE(textOf(widget), text);
        // Only the two stored check boxes stay hidden.
        QCOMPARE(widget->isHidden(), id == 1003 || id == 1059);
    }

    void formCaptionsAndGrouping() {
        CHoraletView view(QDir::tempPath());
        QStringList captions;
        for (QLabel *label : view.findChildren<QLabel *>())
            captions << label->text();
        for (const char *caption :
             {"点击表格标题栏可以进行排序", " 定时播放任务设置:", "一周内", "一年内", "日历",
              "系统音量:", "当前播放任务:", "播放列表内容", "播放模式"})
            QVERIFY2(captions.contains(QString::fromUtf8(caption)), caption);

        // The holiday box governs what lies inside its group: weekdays and holiday controls.
        QWidget *group = control(view, 1122);
        for (int id : {1121, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1081, 1006, 1082, 1083})
            QVERIFY2(group->isAncestorOf(control(view, id)), qPrintable(QString::number(id)));
        for (int id : {1001, 1056, 1044, 1037, 1061, 1112})
            QVERIFY(!group->isAncestorOf(control(view, id)));

        auto *calendar = qobject_cast<QDateEdit *>(control(view, 1006));
        QVERIFY(calendar->calendarPopup());
        QVERIFY(calendar->alignment() & Qt::AlignRight);
        QVERIFY(qobject_cast<QTimeEdit *>(control(view, 1044))->alignment() & Qt::AlignRight);
        // The player is an area other widgets are put into.
        QVERIFY(control(view, 1077)->layout());
        auto *table = qobject_cast<CListCtrlCl *>(control(view, 1001));
        QCOMPARE(table->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    // The table's colours and fonts, the clock on the view's time, the welcome line.
    void initialUpdateGivesTheFormItsLook() {
        QTemporaryDir dir;
        FakeClock clock{QDateTime(QDate(2012, 2, 3), QTime(9, 5, 7))};
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();

        CListCtrlCl *table = view.taskTable();
        const QColor columns[] = {{255, 240, 240}, {228, 203, 216}, {249, 205, 178},
                                  {247, 239, 186}, {204, 233, 206}, {136, 255, 196}};
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(table->cellBackground(0, column, false), columns[column]);
            QCOMPARE(table->cellTextColor(0, column, false), QColor(Qt::black));
            QCOMPARE(table->columnAlignment(column), Qt::AlignLeft);
        }
        QCOMPARE(table->header()->titles().first(), QStringLiteral("播放任务名称"));
        QCOMPARE(table->fixedRowHeight(), 18);
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), 18);
        QCOMPARE(table->cellFont().pixelSize(), 15);
        QCOMPARE(table->header()->titleFont().pixelSize(), 18);
        QCOMPARE(table->header()->titleColor(), QColor(Qt::white));
        QCOMPARE(table->header()->sizeHint().height(),
                 int(float(table->header()->naturalHeight()) * 1.6f));
        QCOMPARE(table->header()->baseColor(), QColor(171, 199, 235));
        QVERIFY(table->showGrid());

        auto *ledClock = qobject_cast<CLedClock *>(control(view, 1023));
        ledClock->tick();
        QCOMPARE(ledClock->cells(), CLedClock::cellGlyphs(clock.now()));

        auto *caption = qobject_cast<CScrollingText *>(control(view, 1125));
        QCOMPARE(caption->backColor(), QColor(202, 225, 243));
        QCOMPARE(caption->speed(), 500);
        QCOMPARE(caption->interval(), 20);
        QCOMPARE(caption->segmentCount(), 1);
        QCOMPARE(caption->text(), ViewLook::welcomeLine());
        QVERIFY(caption->text().contains(QStringLiteral("Quenlo多媒体定时播放系统")));
        QCOMPARE(caption->GetSegment(0).color, QColor(0, 128, 255));
    }

    void initialUpdateFillsTheTableFromTheStore() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(HORALET_TEST_DATA "/main-window/song.ini"),
                            dir.filePath(QStringLiteral("song.ini"))));
        FakeClock clock{QDateTime(QDate(2012, 4, 30), QTime(7, 59, 58))};
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();

        const QAbstractItemModel *model = view.taskTable()->model();
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(rowTexts(model, 0),
                 QStringList({"早操铃声", "08:00:00", "08:30:00", "60000", "每天", "顺序播放"}));
        QCOMPARE(rowTexts(model, 1).at(4), QStringLiteral("周一周五"));
        QCOMPARE(rowTexts(model, 2).at(1), QStringLiteral("2012-05-01 08:30:00"));
        const QList<int> widths = {150, 160, 160, 80, 228, 90};
        for (int column = 0; column < 6; ++column)
            QCOMPARE(view.taskTable()->horizontalHeader()->sectionSize(column), widths.at(column));

        // The scheduler's table holds every stored task.
        QCOMPARE(view.scheduleTable().size(), 4);
        QCOMPARE(view.scheduleTable().at(3).Name, QStringLiteral("午休音乐 Lunch"));
        QVERIFY(qobject_cast<QRadioButton *>(control(view, 1112))->isChecked());
        QCOMPARE(qobject_cast<QDateEdit *>(control(view, 1006))->date(), QDate(2012, 4, 30));
        QVERIFY(qobject_cast<QLineEdit *>(control(view, 1043))->text().isEmpty());

        // A second initial update must not add the rows again.
        view.OnInitialUpdate();
        QCOMPARE(model->rowCount(), 4);
    }

    // The 分区 column follows the settings file as read at start-up and after the store is
    // read anew (an import); the six columns keep their widths beside it.
    void campusColumnFollowsTheSettingsFile() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(HORALET_TEST_DATA "/main-window/song.ini"),
                            dir.filePath(QStringLiteral("song.ini"))));
        const auto writeCampus = [&](const char *enabled) {
            QFile file(dir.filePath(QStringLiteral("广播分区.ini")));
            return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   file.write(*Gbk::encode(QStringLiteral("[服务器]\r\n启用=%1\r\n管道=%2\r\n"
                                                          "[分区]\r\n操场=room3\r\n"
                                                          "[任务分区]\r\n早操铃声=操场\r\n")
                                               .arg(QLatin1String(enabled),
                                                    dir.filePath(QStringLiteral("snapfifo"))))) > 0;
        };
        QVERIFY(writeCampus("1"));
        FakeClock clock{QDateTime(QDate(2012, 4, 30), QTime(7, 59, 58))};
        CHoraletView view(dir.path());
        view.setClock(&clock);
        view.OnInitialUpdate();
        const QAbstractItemModel *model = view.taskTable()->model();
        QCOMPARE(model->columnCount(), 7);
        QCOMPARE(model->headerData(6, Qt::Horizontal).toString(), QStringLiteral("分区"));
        QCOMPARE(rowTexts(model, 0).at(6), QStringLiteral("操场"));
        QCOMPARE(rowTexts(model, 1).at(6), QStringLiteral("全部"));
        const QList<int> widths = {150, 160, 160, 80, 228, 90};
        for (int column = 0; column < 6; ++column)
            QCOMPARE(view.taskTable()->horizontalHeader()->sectionSize(column), widths.at(column));

        QVERIFY(writeCampus("0"));
        view.reloadFromStore();
        QCOMPARE(model->columnCount(), 6);

        // The command opens the dialog over the program's own control connection.
        int opened = 0;
        view.campusPanel()->setDialogRunner([&](CCampusDlg &) { ++opened; });
        QVERIFY(view.campusPanel()->control());
        view.runCommand(CommandId::Campus);
        QCOMPARE(opened, 1);
    }

    // Against the real snapserver of the snapcast fixture (run as its own ctest case).
    void auditionAndSwitchOffAgainstTheRealServer() {
        SnapcastFixture fixture;
        if (!fixture.load())
            QSKIP("needs the snapcast fixture");
        SnapcastClient watcher;
        watcher.setServer(fixture.host, fixture.controlPort);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.isConnected(), 10000);
        QHash<QString, bool> found;
        for (const CampusRoom &room : watcher.rooms())
            found.insert(room.id, room.muted);

        QTemporaryDir dir;
        CampusConfig config(dir.path());
        CampusConfig::Server server{true, fixture.host, fixture.controlPort, fixture.fifo, {}};
        QVERIFY(config.setServer(server).ok);
        FakePlayer player;
        FakeVolume local;
        CampusLink link(player, local);
        link.campusOutput().setStoreDirectory(dir.path());
        link.apply(config);
        QTRY_VERIFY_WITH_TIMEOUT(link.control().isConnected() && link.campusOutput().sinkLoaded(),
                                 10000);

        // Each zone in turn: the whole tone (1.5 s) in its room, nothing in the other.
        RoomRecording room1(fixture.sinks.at(0)), room2(fixture.sinks.at(1));
        for (int zone = 0; zone < 2; ++zone) {
            const qint64 since = room1.now();
            link.audition({fixture.rooms.at(zone)});
            QTest::qWait(CampusOutput::RoomsSettleMs + 4000);
            const int heard = (zone == 0 ? room1 : room2).loudTenths(since);
            const int stray = (zone == 0 ? room2 : room1).loudTenths(since);
            qInfo("试听 %d: %.1f s heard in %s, %.1f s in the other room", zone + 1, heard / 10.0,
                  qPrintable(fixture.rooms.at(zone)), stray / 10.0);
            QVERIFY2(heard >= 13, qPrintable(QString::number(heard)));
            QCOMPARE(stray, 0);
        }

        // Switched off: every room as it was found.
        server.enabled = false;
        QVERIFY(config.setServer(server).ok);
        link.apply(config);
        for (auto it = found.cbegin(); it != found.cend(); ++it) {
            const auto muted = [&] {
                for (const CampusRoom &room : watcher.rooms())
                    if (room.id == it.key())
                        return room.muted;
                return !it.value();
            };
            QTRY_COMPARE(muted(), it.value());
        }
        QTRY_VERIFY(!link.control().isConnected());
    }

    void emptyStoreGivesAnEmptyTableWithItsColumns() {
        QTemporaryDir dir;
        CHoraletView view(dir.path());
        view.OnInitialUpdate();
        const QAbstractItemModel *model = view.taskTable()->model();
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->columnCount(), 6);
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("播放任务名称"));
        QVERIFY(view.scheduleTable().isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("song.ini"))));
    }

    void toolTipsShowTheirTextsInRed() {
        QTemporaryDir dir;
        CHoraletView view(dir.path());
        view.OnInitialUpdate();
        CTipControl *tips = view.toolTips();
        QVERIFY(tips);
        QVERIFY(tips->isActive());
        QCOMPARE(tips->toolCount(), 9);
        QCOMPARE(tips->delayTime(), 200);
        QCOMPARE(tips->maxTipWidth(), 200);
        QCOMPARE(tips->tipTextColor(), QColor(255, 0, 0));
        const QList<QPair<int, QString>> expected = {
            {1019, " 新增定时播放任务."},
            {1021, "修改定时播放任务：修改时请先选择一行."},
            {1022, " 删除定时播放任务：删除时请先选择一行."},
            {1016, "列出今日的定时播放任务"},
            {1017, " 列出本周的定时播放任务"},
            {1018, "列出本月的定时播放任务"},
            {1002, "列出所有定时播放任务"},
            {1082, "增加:点击日历，选择日期, 点击‘增加’按钮"},
            {1083, "删除: 选择左边的一个日期，点击‘删除’按钮"},
        };
        for (const auto &[id, text] : expected)
            QCOMPARE(tips->toolText(control(view, id)), text);

        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QWidget *week = control(view, 1017);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), week->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(week, &enter);
        QTRY_COMPARE(tips->shownTool(), week);
        QLabel *tip = tips->tipWindow();
        QCOMPARE(tip->text(), QStringLiteral(" 列出本周的定时播放任务"));
        QCOMPARE(tip->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        QVERIFY(tip->width() < 200); // one line: no wider than the text
        const int oneLine = tip->height();

        // A long text wraps at the width instead of running off.
        QWidget *add = control(view, 1082);
        QEnterEvent enterAdd(QPointF(5, 5), QPointF(5, 5), add->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(add, &enterAdd);
        QVERIFY(!tip->isVisible()); // moving to another tool hides the old tip at once
        QTRY_COMPARE(tips->shownTool(), add);
        QCOMPARE(tip->width(), 200);
        QVERIFY(tip->height() > oneLine);

        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(add, &leave);
        QVERIFY(!tip->isVisible());
        QCOMPARE(tips->shownTool(), nullptr);
    }

    void commandsWireTheFormButtonOfTheirId() {
        QTemporaryDir dir;
        CHoraletView view(dir.path());
        auto *button = qobject_cast<QAbstractButton *>(control(view, 1019));
        QVERIFY(!view.hasCommand(1019));
        QVERIFY(!view.runCommand(1019));
        button->click(); // nothing handles it yet: nothing happens

        int first = 0;
        int second = 0;
        view.setCommand(1019, [&] { ++first; });
        button->click();
        QCOMPARE(first, 1);
        // Replacing the handler must not leave the button firing twice.
        view.setCommand(1019, [&] { ++second; });
        button->click();
        QCOMPARE(first, 1);
        QCOMPARE(second, 1);
        QVERIFY(view.runCommand(1019));
        QCOMPARE(second, 2);
        // Menu-only commands have no button but run all the same.
        int removed = 0;
        view.setCommand(32787, [&] { ++removed; });
        QVERIFY(view.runCommand(32787));
        QCOMPARE(removed, 1);
    }
};

QTEST_MAIN(TestHoraletView)
#include "test_horalet_view.moc"
