// 广播分区.ini and the rule that decides which rooms hear a task.
#include "TestFiles.h"
#include "campus/CampusConfig.h"
#include "campus/CampusRouting.h"
#include "store/ProfileStore.h"
#include "tasktable/TaskNames.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray gbk(const QString &text) {
    return *Gbk::encode(text);
}

QString filePath(const QTemporaryDir &dir) {
    return dir.filePath(CampusConfig::fileName());
}

struct FaultGuard {
    explicit FaultGuard(ProfileStore::WriteFault fault) { ProfileStore::setWriteFault(fault); }
    ~FaultGuard() { ProfileStore::setWriteFault(std::nullopt); }
};

CampusRoom room(const QString &id, bool connected) {
    return {id, id, connected, 100, false};
}

// A school of three rooms, with room4 named in a zone but never seen by the server.
CampusConfig school(const QTemporaryDir &dir) {
    writeFileBytes(filePath(dir), gbk("[服务器]\r\n启用=1\r\n[分区]\r\n教学楼=room1,room2\r\n"
                                      "操场=room3,room4\r\n空=\r\n[任务分区]\r\n"
                                      "上课铃=教学楼\r\n课间操=操场,教学楼\r\n"
                                      "早读=教学楼,体育馆\r\n旧铃=体育馆\r\n"));
    CampusConfig config(dir.path());
    config.load();
    return config;
}

} // namespace

class TestCampusConfig : public QObject {
    Q_OBJECT
private slots:
    void missingFileIsLocalPlayAndFirstWriteMakesAllSections() {
        QTemporaryDir dir;
        CampusConfig config(dir.path());
        config.load();
        QCOMPARE(config.server(), CampusConfig::Server{});
        QVERIFY(!config.enabled());
        QVERIFY(config.zones().isEmpty());
        QVERIFY(config.setTaskZones("上课铃", {" 教学楼 ", "教学楼", ""}));
        QCOMPARE(readFileBytes(filePath(dir)),
                 gbk("[服务器]\r\n启用=0\r\n地址=127.0.0.1\r\n控制端口=1705\r\n"
                     "管道=/tmp/snapfifo\r\n[分区]\r\n[任务分区]\r\n上课铃=教学楼\r\n"));
        QVERIFY(!TaskNames::nameProblem(QStringLiteral("广播分区"), {}).isEmpty());
    }

    // Code page 936 with CRLF; what this program does not read (comments before the first
    // section, other sections, other keys, a value that is no setting) stays where it stood.
    void rewriteKeepsWhatItDoesNotRead() {
        QTemporaryDir dir;
        QVERIFY(writeFileBytes(
            filePath(dir),
            gbk("; 校园广播\n[服务器]\n启用=1\n地址 = 10.0.0.5 \n控制端口=99999\n"
                "备注=主楼机房\n[分区]\n教学楼=room1, room2\n操场=room3\n"
                "[值班]\n张老师=周一\n[任务分区]\n上课铃=教学楼\n课间操=操场,教学楼\n")));
        CampusConfig config(dir.path());
        QString error;
        config.load(&error);
        QVERIFY(error.isEmpty());
        QVERIFY(config.enabled());
        QCOMPARE(config.server().address, QStringLiteral("10.0.0.5"));
        QCOMPARE(config.server().controlPort, 1705); // out of range
        QCOMPARE(config.server().pipe, QStringLiteral("/tmp/snapfifo"));
        QCOMPARE(config.findZone("教学楼")->rooms, (QStringList{"room1", "room2"}));
        QCOMPARE(config.zonesOf("课间操"), (QStringList{"操场", "教学楼"}));
        QCOMPARE(config.zonesOf("放学"), QStringList{});

        QVERIFY(config.setZone("宿舍", {"room4"}));
        QCOMPARE(readFileBytes(filePath(dir)),
                 gbk("; 校园广播\r\n[服务器]\r\n启用=1\r\n地址 = 10.0.0.5 \r\n控制端口=99999\r\n"
                     "备注=主楼机房\r\n[分区]\r\n教学楼=room1, room2\r\n"
                     "操场=room3\r\n宿舍=room4\r\n[值班]\r\n张老师=周一\r\n[任务分区]\r\n"
                     "上课铃=教学楼\r\n课间操=操场,教学楼\r\n"));
        CampusConfig::Server server = config.server();
        server.controlPort = 1706;
        server.enabled = false;
        // The pipe's group, written only once it is set.
        server.pipeGroup = " _snapserver ";
        QVERIFY(config.setServer(server));
        server.pipeGroup = "_snapserver";
        QVERIFY(config.setZone("教学楼", {"room1", "room5"}));
        QCOMPARE(readFileBytes(filePath(dir)),
                 gbk("; 校园广播\r\n[服务器]\r\n启用=0\r\n地址 = 10.0.0.5 \r\n控制端口=1706\r\n"
                     "备注=主楼机房\r\n管道用户组=_snapserver\r\n[分区]\r\n教学楼=room1,room5\r\n"
                     "操场=room3\r\n宿舍=room4\r\n[值班]\r\n张老师=周一\r\n[任务分区]\r\n"
                     "上课铃=教学楼\r\n课间操=操场,教学楼\r\n"));
        CampusConfig again(dir.path());
        again.load();
        QCOMPARE(again.server(), server);
        QCOMPARE(again.zones(), config.zones());
        QCOMPARE(again.taskZones(), config.taskZones());
    }

    void zoneChangesRepointTheTasks() {
        QTemporaryDir dir;
        CampusConfig config = school(dir);
        QCOMPARE(config.tasksOf("教学楼"), (QStringList{"上课铃", "课间操", "早读"}));
        QVERIFY(config.renameZone("教学楼", "教学区"));
        QCOMPARE(config.zonesOf("课间操"), (QStringList{"操场", "教学区"}));
        QVERIFY(config.tasksOf("教学楼").isEmpty());
        // Letter case is not told apart in the file: another zone's name is taken either way.
        QVERIFY(config.setZone("Hall", {"room1"}));
        QVERIFY(!config.setZone("HALL", {"room2"}));
        QVERIFY(!config.renameZone("操场", "hall"));
        QVERIFY(!config.renameZone("没有", "有"));
        QVERIFY(config.renameZone("Hall", "hall"));

        // A task left without a zone plays to every room again; the others keep the rest.
        QVERIFY(config.removeZone("操场"));
        QVERIFY(config.setTaskZones("放学", {"操场"}));
        QVERIFY(config.removeZone("操场"));
        QCOMPARE(config.zonesOf("课间操"), QStringList{"教学区"});
        QVERIFY(!config.taskZones().contains("放学"));

        const QSet<QString> existing{"上课铃", "早读"};
        QVERIFY(config.setTaskZonesOf({{"早读", {}}, {"午休", {"hall"}}}, &existing));
        CampusConfig again(dir.path());
        again.load();
        QCOMPARE(again.taskZones(), (QHash<QString, QStringList>{{"上课铃", {"教学区"}}}));
        QCOMPARE(again.zones().size(), 3);
        QVERIFY(!again.findZone("操场"));
    }

    void badNamesAndFailedWritesChangeNothing() {
        for (const QString &name : QStringList{"", "  ", "a=b", "[a", "a,b", ";a", "全部", "a\tb",
                                               QString(65, u'x'), QStringLiteral("\U0001F600")})
            QVERIFY2(!CampusConfig::nameProblem(name).isEmpty(), qPrintable(name));
        for (const QString &name :
             QStringList{"教学楼", " 操场 ", "b8:27:eb:01:02:03", QString(64, u'x')})
            QVERIFY2(CampusConfig::nameProblem(name).isEmpty(), qPrintable(name));

        QTemporaryDir dir;
        CampusConfig config = school(dir);
        const QByteArray before = readFileBytes(filePath(dir));
        QVERIFY(!config.setZone("教学楼", {"room1", "a,b"}));
        QVERIFY(!config.setTaskZones("上课铃", {"a=b"}));
        QVERIFY(config.setTaskZones("铃=响", {"教学楼"}).error.contains("播放任务名称"));
        QVERIFY(!config.renameZone("教学楼", "全部"));
        // Beyond any campus: refused with the reason, nothing written.
        QStringList ids;
        for (int i = 0; i <= CampusConfig::MaxRoomsPerZone; ++i)
            ids << QStringLiteral("room%1").arg(i);
        QVERIFY(config.setZone("教学楼", ids)
                    .error.contains(
                        QStringLiteral("最多 %1 个终端").arg(CampusConfig::MaxRoomsPerZone)));
        QStringList zones;
        for (int i = 0; i <= CampusConfig::MaxZones; ++i)
            zones << QStringLiteral("分区%1").arg(i);
        QVERIFY(config.setTaskZones("上课铃", zones).error.contains(QStringLiteral("最多选")));
        CampusConfig::Server server = config.server();
        server.controlPort = 0;
        QVERIFY(!config.setServer(server));
        server.controlPort = 1705;
        server.pipe = "snapfifo";
        QVERIFY(!config.setServer(server));
        server.pipe = "/tmp/snap fifo";
        QVERIFY(!config.setServer(server));
        server.pipe = "/tmp/snapfifo";
        server.pipeGroup = "audio:x";
        QVERIFY(!config.setServer(server));
        {
            FaultGuard fault({0, 3});
            QVERIFY(!config.renameZone("教学楼", "教学区"));
            QVERIFY(!config.removeZone("操场"));
            QVERIFY(!config.setTaskZones("上课铃", {"操场"}));
        }
        QCOMPARE(readFileBytes(filePath(dir)), before);
        QCOMPARE(config.zonesOf("上课铃"), QStringList{"教学楼"});
        QCOMPARE(config.zones().size(), 3);
        QVERIFY(config.findZone("教学楼"));
    }

    void routeReachesTheRoomsOfTheTasksZones() {
        QTemporaryDir dir;
        const CampusConfig config = school(dir);
        // Rooms in the log by the names they were given; the host's name, shared by rooms on
        // one machine, with the id.
        CampusRooms rooms{room("room1", true), room("room2", true), room("room3", false),
                          room("room6", true)};
        rooms[2].name = "三楼东";

        CampusRoute route = routeFor(config, "课间操", rooms);
        QCOMPARE(route.zones, (QStringList{"操场", "教学楼"}));
        // A known room away now is unmuted all the same, to hear the task once it is back;
        // room4 is unknown to the server, so there is nothing to tell it.
        QCOMPARE(route.unmute, (QStringList{"room3", "room1", "room2"}));
        QCOMPARE(route.mute, QStringList{"room6"});
        QCOMPARE(route.offline, (QStringList{"room3", "room4"}));
        QCOMPARE(route.logText, QStringLiteral("操场 0/2，教学楼 2/2 在线；未连接：三楼东、room4"));

        route = routeFor(config, "上课铃", rooms);
        QCOMPARE(route.unmute, (QStringList{"room1", "room2"}));
        QCOMPARE(route.mute, (QStringList{"room3", "room6"}));
        QCOMPARE(route.logText, QStringLiteral("教学楼 2/2 在线"));

        // No entry: every room the server knows.
        route = routeFor(config, "放学", rooms);
        QVERIFY(route.zones.isEmpty());
        QCOMPARE(route.unmute, (QStringList{"room1", "room2", "room3", "room6"}));
        QVERIFY(route.mute.isEmpty());
        QCOMPARE(route.logText, QStringLiteral("全部 3/4 在线；未连接：三楼东"));
        CampusRooms oneHost = rooms;
        oneHost[0].name = oneHost[2].name = oneHost[3].name = "pi";
        oneHost[0].connected = false;
        QCOMPARE(routeFor(config, "放学", oneHost).logText,
                 QStringLiteral("全部 2/4 在线；未连接：pi（room1）、pi（room3）"));

        // A zone that does not exist reaches no room, and the log says so.
        route = routeFor(config, "早读", rooms);
        QCOMPARE(route.unmute, (QStringList{"room1", "room2"}));
        QCOMPARE(route.logText, QStringLiteral("教学楼 2/2，体育馆 0/0 在线；无此分区：体育馆"));
        route = routeFor(config, "旧铃", rooms);
        QVERIFY(route.unmute.isEmpty());
        QCOMPARE(route.mute, (QStringList{"room1", "room2", "room3", "room6"}));

        route = routeFor(config, "放学", {});
        QVERIFY(route.unmute.isEmpty() && route.mute.isEmpty());
        QCOMPARE(route.logText, QStringLiteral("全部 0/0 在线"));

        // Rooms the lists leave out are muted and unmuted like the others, and the row says
        // they are there.
        CampusRooms withUnlisted = rooms;
        CampusRoom blank = room(" ", true), hidden = room("room\u200B7", true);
        blank.shown = hidden.shown = false;
        withUnlisted << blank << hidden;
        route = routeFor(config, "上课铃", withUnlisted);
        QCOMPARE(route.mute, (QStringList{"room3", "room6", " ", "room\u200B7"}));
        QCOMPARE(route.logText, QStringLiteral("教学楼 2/2 在线；另有 2 个未列出的终端已静音"));
        route = routeFor(config, "上课铃", withUnlisted, 3);
        QVERIFY(route.logText.endsWith("；服务器另列出 3 个无法控制的终端"));
        route = routeFor(config, "放学", withUnlisted);
        QCOMPARE(route.unmute,
                 (QStringList{"room1", "room2", "room3", "room6", " ", "room\u200B7"}));
        QCOMPARE(route.logText,
                 QStringLiteral("全部 5/6 在线（其中 2 个终端未列出）；未连接：三楼东"));

        // Long ids from a hand-edited file are cut for the log, and still routed whole.
        const QString longId(300, u'r');
        QVERIFY(QFile::remove(filePath(dir)));
        CampusConfig edited(dir.path());
        QVERIFY(writeFileBytes(filePath(dir), gbk("[分区]\r\n走廊=" + longId +
                                                  "\r\n[任务分区]\r\n"
                                                  "铃=走廊\r\n")));
        edited.load();
        route = routeFor(edited, "铃", {room(longId, false)});
        QCOMPARE(route.unmute, QStringList{longId});
        QVERIFY(route.logText.size() < 100);
        QVERIFY(route.logText.endsWith(u'…'));

        // A hand-made file past every cap is read whole (each id once) and routed.
        QByteArray manyIds, manyZones;
        CampusRooms server;
        for (int i = 0; i < 100000; ++i) {
            manyIds += "r" + QByteArray::number(i) + (i % 2 ? ", " : ",r0,");
            manyZones += "z" + QByteArray::number(i) + ',';
            if (i % 10 == 0)
                server << room(QStringLiteral("r%1").arg(i), i % 20 == 0);
        }
        QVERIFY(writeFileBytes(filePath(dir), gbk("[分区]\r\n大楼=") + manyIds +
                                                  gbk("\r\n[任务分区]\r\n铃=大楼\r\n钟=") +
                                                  manyZones + gbk("大楼\r\n")));
        edited.load();
        QCOMPARE(edited.findZone("大楼")->rooms.size(), 100000);
        QCOMPARE(edited.zonesOf("钟").size(), 100001);
        route = routeFor(edited, "铃", server);
        QCOMPARE(route.unmute.size(), 10000);
        QVERIFY(route.mute.isEmpty());
        QCOMPARE(route.offline.size(), 95000);
        route = routeFor(edited, "钟", server + CampusRooms{room("外面", true)});
        QCOMPARE(route.unmute.size(), 10000);
        QCOMPARE(route.mute, QStringList{"外面"});
    }
};

QTEST_GUILESS_MAIN(TestCampusConfig)
#include "test_campus_config.moc"
