// The dialog "广播分区" on a real settings file, with the control connection played by a
// double that answers as the server would.
#include "campus/CampusControl.h"
#include "dialogs/CampusDlg.h"
#include "store/ProfileStore.h"

#include <QListWidget>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

class ScriptedControl : public CampusControl {
public:
    struct Answer {
        bool ok;
        QString failure;
    };
    CampusRooms shown;
    CampusStreams sources;
    int uncontrolled = 0;
    bool connected = false;
    QList<std::pair<QString, int>> servers;
    QList<Answer> refreshAnswers;
    Answer laterAnswers{false, QStringLiteral("无应答")};
    int refreshes = 0;
    std::function<void()> onRefresh; // the server's state changing as it is asked
    QStringList renames;
    QString renameFailure;

    void setServer(const QString &address, int port) override {
        servers.append({address, port});
        connected = false;
    }
    bool isConnected() const override { return connected; }
    const CampusRooms &rooms() const override { return shown; }
    const CampusStreams &streams() const override { return sources; }
    int uncontrolledRooms() const override { return uncontrolled; }
    void applyRoute(const QStringList &, const QStringList &, int, QObject *context,
                    Done done) override {
        answer(context, std::move(done), {false, QStringLiteral("not asked for")});
    }
    void refresh(int, QObject *context, Done done) override {
        ++refreshes;
        if (onRefresh)
            onRefresh();
        answer(context, std::move(done),
               refreshAnswers.isEmpty() ? laterAnswers : refreshAnswers.takeFirst());
    }
    void renameRoom(const QString &id, const QString &name, int, QObject *context,
                    Done done) override {
        renames << id + "=" + name;
        if (renameFailure.isEmpty())
            for (CampusRoom &room : shown)
                if (room.id == id) {
                    room.name = name;
                    emit roomsChanged();
                }
        answer(context, std::move(done), {renameFailure.isEmpty(), renameFailure});
    }
    void setRoomVolume(const QString &, int, bool, int, QObject *context, Done done) override {
        answer(context, std::move(done), {false, QStringLiteral("not asked for")});
    }
    void goOnline() {
        connected = true;
        emit connectionChanged(true);
    }

private:
    // Answers come later, from the event loop, as a server's do.
    static void answer(QObject *context, Done done, Answer a) {
        QTimer::singleShot(0, context, [done = std::move(done), a] { done(a.ok, a.failure); });
    }
};

CampusRoom room(const QString &id, bool connected, int volume = 100, bool muted = false) {
    return {id, id, connected, volume, muted};
}

struct Rig {
    QTemporaryDir dir;
    CampusConfig config{dir.path()};
    ScriptedControl control;
    QStringList told;
    QStringList asked;
    bool answer = true;
    QStringList texts; // answers to the text questions, in turn
    std::unique_ptr<CCampusDlg> dialog;

    Rig() {
        config.load();
        control.shown = {room("room1", true, 80), room("room2", false, 100, true),
                         room("room3", true)};
        dialog = std::make_unique<CCampusDlg>(config, control);
        dialog->tell = [this](QWidget *, const QString &text) { told << text; };
        dialog->ask = [this](QWidget *, const QString &text) {
            asked << text;
            return answer;
        };
        dialog->askText = [this](QWidget *, const QString &, const QString &,
                                 const QString &) -> std::optional<QString> {
            if (texts.isEmpty())
                return std::nullopt;
            return texts.takeFirst();
        };
    }
    CampusConfig stored() const {
        CampusConfig read(dir.path());
        read.load();
        return read;
    }
    QStringList row(int r) const {
        QStringList cells;
        for (int c = 0; c < dialog->roomsTable()->columnCount(); ++c)
            cells << dialog->roomsTable()->item(r, c)->text();
        return cells;
    }
    QStringList ticked() const {
        QStringList ids;
        for (int i = 0; i < dialog->zoneRooms()->count(); ++i)
            if (dialog->zoneRooms()->item(i)->checkState() == Qt::Checked)
                ids << dialog->zoneRooms()->item(i)->data(Qt::UserRole).toString();
        return ids;
    }
    void tick(const QString &id, bool on) {
        for (int i = 0; i < dialog->zoneRooms()->count(); ++i)
            if (dialog->zoneRooms()->item(i)->data(Qt::UserRole).toString() == id)
                dialog->zoneRooms()->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
};

} // namespace

class TestCampusDlg : public QObject {
    Q_OBJECT
private slots:
    // Settings refused in the interface's words keep those in force; the connection test
    // waits for the connection and tells the rooms found or why it failed; closing after a
    // test has routing follow the stored settings again.
    void serverSettingsAndTheConnectionTest() {
        Rig rig;
        QSignalSpy changed(rig.dialog.get(), &CCampusDlg::campusChanged);
        rig.dialog->setServerFields(true, "10.0.0.5", 1800, "/tmp/snap fifo");
        rig.dialog->StoreServer();
        QCOMPARE(rig.told.size(), 1);
        QVERIFY(rig.told.first().contains("管道"));
        QVERIFY(!rig.stored().enabled());
        QCOMPARE(changed.size(), 0);
        rig.dialog->setServerFields(true, "10.0.0.5", 1800, "/tmp/campusfifo");
        QCOMPARE(rig.dialog->saveText(), QStringLiteral("服务器设置已修改，尚未保存"));
        rig.dialog->StoreServer();
        QCOMPARE(rig.stored().server(),
                 (CampusConfig::Server{true, "10.0.0.5", 1800, "/tmp/campusfifo", {}}));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(rig.dialog->saveText(), QStringLiteral("服务器设置已保存"));

        // Refused while the connection is not up yet, answered once it is: a server with no
        // source reading the pipe is no path to the rooms, however many rooms it has.
        QStringList signalled;
        rig.dialog->testSignal = [&](const QString &pipe, const QString &, bool write) {
            if (write)
                signalled << pipe;
            return QString();
        };
        rig.control.refreshAnswers = {{false, "未连接"}, {true, {}}};
        rig.control.sources = {{"other", "idle", "pipe", "/tmp/snapfifo"}};
        rig.dialog->TestConnection();
        QCOMPARE(rig.control.servers, (QList<std::pair<QString, int>>{{"10.0.0.5", 1800}}));
        QTest::qWait(20);
        QVERIFY(rig.dialog->testResult().startsWith("正在连接"));
        rig.control.goOnline();
        QTRY_COMPARE(rig.dialog->testResult(),
                     QStringLiteral("服务器没有读取管道 /tmp/campusfifo（服务器读取的管道：/tmp/"
                                    "snapfifo）"));
        QVERIFY(signalled.isEmpty());
        QCOMPARE(rig.dialog->connectionText(), QStringLiteral("已连接广播服务器"));

        // A source reads it: the test signal must make it play.
        rig.control.sources << CampusStream{"horalet", "idle", "pipe", "/tmp/campusfifo"};
        rig.control.laterAnswers = {true, {}};
        rig.control.onRefresh = [&] {
            if (!signalled.isEmpty())
                rig.control.sources[1].status = "playing";
        };
        rig.dialog->TestConnection();
        QTRY_COMPARE(rig.dialog->testResult(), QStringLiteral("连接成功，3 个终端"));
        QCOMPARE(signalled, QStringList{"/tmp/campusfifo"});
        // A room whose group plays another source is named: it would hear nothing.
        rig.control.shown[0].stream = "horalet";
        rig.control.shown[2].stream = "other";
        rig.dialog->TestConnection();
        QTRY_COMPARE(rig.dialog->testResult(),
                     QStringLiteral("连接成功，3 个终端；其中 1 个终端收听其他音源，听不到本程序的"
                                    "声音：room3"));
        rig.control.shown[2].stream.clear();
        // A pipe refused is told as it was refused; one that never plays is said plainly.
        rig.control.sources[1].status = "idle";
        rig.control.onRefresh = {};
        rig.dialog->testSignal = [](const QString &, const QString &, bool) {
            return QStringLiteral(
                "广播管道 /tmp/campusfifo 属于其他用户（nobody），可能被他人读写");
        };
        rig.dialog->TestConnection();
        QTRY_VERIFY2(rig.dialog->testResult().startsWith("广播管道 /tmp/campusfifo 属于其他用户"),
                     qPrintable(rig.dialog->testResult()));
        rig.dialog->testSignal = [](const QString &, const QString &, bool) { return QString(); };
        rig.dialog->TestConnection();
        QTRY_COMPARE_WITH_TIMEOUT(
            rig.dialog->testResult(),
            QStringLiteral(
                "服务器没有读取管道 /tmp/campusfifo（测试信号没有使音源“horalet”开始播放）"),
            2 * CampusConnectionTest::PlayWaitMs);
        rig.control.laterAnswers = {false, QStringLiteral("无应答")};

        // A server that never comes up: the reason it gave, once the test's time is over.
        rig.control.refreshAnswers = {{false, "拒绝连接"}};
        rig.dialog->TestConnection();
        QTRY_COMPARE_WITH_TIMEOUT(rig.dialog->testResult(), QStringLiteral("连接失败：拒绝连接"),
                                  4 * CCampusDlg::RequestTimeoutMs);
        QCOMPARE(rig.dialog->connectionText(), QStringLiteral("未连接广播服务器"));
        QCOMPARE(changed.size(), 1);
        rig.dialog->accept();
        QCOMPARE(changed.size(), 2);
        QVERIFY(rig.asked.isEmpty());
    }

    // Edits to the server fields are never dropped without a word: closing asks, and saves
    // them or lets them go as answered; a save that is refused keeps the dialog open.
    void unsavedServerEditsAreAskedAbout() {
        Rig rig;
        rig.dialog->show();
        rig.dialog->setServerFields(false, "10.0.0.9", 1705, "/tmp/snapfifo");
        rig.answer = false;
        rig.dialog->reject();
        QCOMPARE(rig.asked.size(), 1);
        QVERIFY(rig.asked.first().contains("尚未保存"));
        QVERIFY(!rig.dialog->isVisible());
        QCOMPARE(rig.stored().server().address, QStringLiteral("127.0.0.1"));

        rig.dialog->show();
        rig.dialog->setServerFields(false, "10.0.0.9", 1705, "/tmp/snapfifo");
        rig.answer = true;
        rig.dialog->accept();
        QCOMPARE(rig.asked.size(), 2);
        QCOMPARE(rig.stored().server().address, QStringLiteral("10.0.0.9"));
        QVERIFY(!rig.dialog->isVisible());

        rig.dialog->show();
        rig.dialog->setServerFields(false, "10.0.0.9", 1705, "relative/fifo");
        rig.dialog->accept();
        QCOMPARE(rig.asked.size(), 3);
        QCOMPARE(rig.told.size(), 1);
        QVERIFY(rig.dialog->isVisible());
        // Nothing edited: nothing asked.
        rig.dialog->accept();
        QCOMPARE(rig.asked.size(), 3);
        QVERIFY(!rig.dialog->isVisible());
    }

    // The rooms table follows the server's reports, and names the rooms the zones hold that
    // the server has never seen; a rename goes to the server, its failure is told.
    void roomsAreShownLiveAndRenamedOnTheServer() {
        Rig rig;
        QVERIFY(rig.config.setZone("宿舍", {"room9"}));
        rig.dialog = std::make_unique<CCampusDlg>(rig.config, rig.control);
        rig.dialog->tell = [&](QWidget *, const QString &text) { rig.told << text; };
        rig.dialog->askText = [&](QWidget *, const QString &, const QString &,
                                  const QString &proposed) -> std::optional<QString> {
            return proposed == "room1" ? QStringLiteral("一楼东") : QString("x");
        };
        QCOMPARE(rig.dialog->roomsTable()->rowCount(), 4);
        QCOMPARE(rig.row(0), (QStringList{"room1", "room1", "在线", "80%", "否"}));
        QCOMPARE(rig.row(1), (QStringList{"room2", "room2", "离线", "100%", "是"}));
        QCOMPARE(rig.row(3).mid(0, 3), (QStringList{"room9", "", "服务器未知"}));
        QVERIFY(rig.dialog->unlistedText().isEmpty());

        // Rooms whose ids cannot be shown are left out of the lists, and said to be there.
        CampusRoom blank = room("room 4", true);
        blank.shown = false;
        rig.control.shown << blank;
        rig.control.uncontrolled = 3;
        emit rig.control.roomsChanged();
        QCOMPARE(rig.dialog->roomsTable()->rowCount(), 4);
        QVERIFY2(rig.dialog->unlistedText().startsWith("另有 1 个终端未列出"),
                 qPrintable(rig.dialog->unlistedText()));
        QVERIFY(rig.dialog->unlistedText().contains("3 个无法控制的终端"));
        for (int i = 0; i < rig.dialog->zoneRooms()->count(); ++i)
            QVERIFY(rig.dialog->zoneRooms()->item(i)->data(Qt::UserRole) != "room 4");
        rig.control.shown.removeLast();
        rig.control.uncontrolled = 0;
        emit rig.control.roomsChanged();
        QVERIFY(rig.dialog->unlistedText().isEmpty());

        rig.control.shown[1].connected = true;
        emit rig.control.roomsChanged();
        QCOMPARE(rig.row(1).at(CCampusDlg::StateColumn), QStringLiteral("在线"));

        rig.dialog->selectRoom("room1");
        rig.dialog->RenameRoom();
        QCOMPARE(rig.control.renames, QStringList{"room1=一楼东"});
        QCOMPARE(rig.row(0).at(CCampusDlg::NameColumn), QStringLiteral("一楼东"));
        rig.control.renameFailure = "超时";
        rig.dialog->selectRoom("room2");
        rig.dialog->RenameRoom();
        QTRY_COMPARE(rig.told, QStringList{"终端“room2”未能改名：超时"});
        // A room only a zone names is not the server's to rename.
        rig.dialog->selectRoom("room9");
        rig.dialog->RenameRoom();
        QCOMPARE(rig.control.renames.size(), 2);
        QCOMPARE(rig.told.size(), 2);
    }

    // Zones are added, filled by ticking rooms (known or typed), renamed and deleted, each
    // stored at once; a deletion says which tasks will then play to every room; 试听 plays
    // the zone's rooms, never while a task plays.
    void zonesAreEditedAndAuditioned() {
        Rig rig;
        QSignalSpy changed(rig.dialog.get(), &CCampusDlg::campusChanged);
        rig.texts = {"教学楼", "a=b"};
        rig.dialog->AddZone();
        rig.dialog->AddZone();
        QCOMPARE(rig.told.size(), 1);
        QCOMPARE(rig.dialog->selectedZone(), QStringLiteral("教学楼"));
        QVERIFY(rig.ticked().isEmpty());
        // Ticks made while a slow write lets the event loop run are each kept.
        ProfileStore::setSlowWrite([] { QThread::msleep(20); });
        rig.tick("room1", true);
        rig.tick("room3", true);
        QTRY_COMPARE(rig.stored().findZone("教学楼")->rooms, (QStringList{"room1", "room3"}));
        ProfileStore::setSlowWrite({});
        rig.tick("room3", false);
        QTRY_COMPARE(rig.stored().findZone("教学楼")->rooms, QStringList{"room1"});
        rig.texts = {"room7", "bad,id"};
        rig.dialog->AddRoomId();
        rig.dialog->AddRoomId();
        QCOMPARE(rig.told.size(), 2);
        QCOMPARE(rig.ticked(), (QStringList{"room1", "room7"}));
        QCOMPARE(rig.stored().findZone("教学楼")->rooms, (QStringList{"room1", "room7"}));

        QVERIFY(rig.config.setTaskZones("上课铃", {"教学楼"}));
        QVERIFY(rig.config.setTaskZones("课间操", {"操场", "教学楼"}));
        rig.texts = {"教学区"};
        rig.dialog->RenameZone();
        QCOMPARE(rig.stored().zonesOf("课间操"), (QStringList{"操场", "教学区"}));

        QStringList heard;
        bool playing = true;
        rig.dialog->audition = [&](const QStringList &rooms) { heard = rooms; };
        rig.dialog->isPlaying = [&] { return playing; };
        rig.dialog->Audition();
        QVERIFY(heard.isEmpty());
        playing = false;
        rig.dialog->Audition();
        QCOMPARE(heard, (QStringList{"room1", "room7"}));

        rig.answer = false;
        rig.dialog->RemoveZone();
        QCOMPARE(rig.asked.size(), 1);
        QVERIFY2(rig.asked.first().contains("上课铃 将在所有终端播放"), qPrintable(rig.asked[0]));
        QVERIFY(rig.stored().findZone("教学区"));
        rig.answer = true;
        const qsizetype before = changed.size();
        rig.dialog->RemoveZone();
        QCOMPARE(changed.size(), before + 1);
        const CampusConfig stored = rig.stored();
        QVERIFY(stored.zones().isEmpty());
        QCOMPARE(stored.taskZones(), (QHash<QString, QStringList>{{"课间操", {"操场"}}}));
        QCOMPARE(rig.dialog->zoneRooms()->item(0)->flags() & Qt::ItemIsUserCheckable,
                 Qt::ItemFlags());
    }
};

QTEST_MAIN(TestCampusDlg)
#include "test_campus_dlg.moc"
