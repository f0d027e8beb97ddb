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
    bool connected = false;
    QList<std::pair<QString, int>> servers;
    QList<Answer> refreshAnswers;
    QStringList renames;
    QString renameFailure;

    void setServer(const QString &address, int port) override {
        servers.append({address, port});
        connected = false;
    }
    bool isConnected() const override { return connected; }
    const CampusRooms &rooms() const override { return shown; }
    void applyRoute(const QStringList &, const QStringList &, int, QObject *context,
                    Done done) override {
        answer(context, std::move(done), {false, QStringLiteral("not asked for")});
    }
    void refresh(int, QObject *context, Done done) override {
        answer(context, std::move(done),
               refreshAnswers.isEmpty() ? Answer{false, QStringLiteral("无应答")}
                                        : refreshAnswers.takeFirst());
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
        rig.dialog->StoreServer();
        QCOMPARE(rig.stored().server(),
                 (CampusConfig::Server{true, "10.0.0.5", 1800, "/tmp/campusfifo"}));
        QCOMPARE(changed.size(), 1);

        // Refused while the connection is not up yet, answered once it is.
        rig.control.refreshAnswers = {{false, "未连接"}, {true, {}}};
        rig.dialog->TestConnection();
        QCOMPARE(rig.control.servers, (QList<std::pair<QString, int>>{{"10.0.0.5", 1800}}));
        QTest::qWait(20);
        QVERIFY(rig.dialog->testResult().startsWith("正在连接"));
        rig.control.goOnline();
        QTRY_COMPARE(rig.dialog->testResult(), QStringLiteral("连接成功，3 个终端"));
        QCOMPARE(rig.dialog->connectionText(), QStringLiteral("已连接广播服务器"));

        // A server that never comes up: the reason it gave, once the test's time is over.
        rig.control.refreshAnswers = {{false, "拒绝连接"}};
        rig.dialog->TestConnection();
        QTRY_COMPARE_WITH_TIMEOUT(rig.dialog->testResult(), QStringLiteral("连接失败：拒绝连接"),
                                  4 * CCampusDlg::RequestTimeoutMs);
        QCOMPARE(rig.dialog->connectionText(), QStringLiteral("未连接广播服务器"));
        QCOMPARE(changed.size(), 1);
        rig.dialog->accept();
        QCOMPARE(changed.size(), 2);
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
