// Snapcast's control protocol as read from the network: the line framing and its bound, the
// messages, and the rooms kept from the server's status and notifications, including what a
// hostile or broken server may send.
#include "campus/CampusPipe.h"
#include "campus/SnapcastProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Snapcast;

namespace {

QJsonObject json(const char *text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", qPrintable(error.errorString()));
    return document.object();
}

QJsonObject client(const QString &id, const QString &name, bool connected, int percent, bool muted,
                   const QString &host = QStringLiteral("vm")) {
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("connected"), connected},
        {QStringLiteral("host"), QJsonObject{{QStringLiteral("name"), host}}},
        {QStringLiteral("config"),
         QJsonObject{{QStringLiteral("name"), name},
                     {QStringLiteral("volume"), QJsonObject{{QStringLiteral("percent"), percent},
                                                            {QStringLiteral("muted"), muted}}}}}};
}

QJsonObject status(const QList<QJsonArray> &groups) {
    QJsonArray array;
    for (const QJsonArray &clients : groups)
        array.append(QJsonObject{{QStringLiteral("clients"), clients}});
    return QJsonObject{{QStringLiteral("server"), QJsonObject{{QStringLiteral("groups"), array}}}};
}

CampusRoom room(const char *id, const QString &name, bool connected, int volume, bool muted) {
    return CampusRoom{QString::fromUtf8(id), name, connected, volume, muted};
}

} // namespace

class TestSnapcastProtocol : public QObject {
    Q_OBJECT

private slots:
    void linesAreFramedWithinTheBound() {
        LineFramer framer;
        QList<QByteArray> lines;
        // Lines split anywhere across reads, either line end, blank lines skipped.
        QVERIFY(framer.feed("{\"a\":1}\r\n{\"b\"", lines));
        QVERIFY(framer.feed(":2}\n\r\n\n{\"c\":3}\r", lines));
        QCOMPARE(lines, (QList<QByteArray>{"{\"a\":1}", "{\"b\":2}"}));
        QVERIFY(framer.feed("\n", lines));
        QCOMPARE(lines.last(), QByteArray("{\"c\":3}"));

        // A line of exactly the bound passes.
        lines.clear();
        QVERIFY(framer.feed(QByteArray(MaxLineBytes, 'x') + "\n", lines));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().size(), MaxLineBytes);

        // 2 MiB without an end, in the socket's 64 KiB reads: refused at the bound, never held
        // beyond it, and what came complete before it is still given.
        lines.clear();
        QVERIFY(framer.feed("{\"ok\":1}\n", lines));
        const QByteArray chunk(64 * 1024, 'y');
        bool fits = true;
        int fed = 0;
        while (fits && fed < 32) {
            fits = framer.feed(chunk, lines);
            ++fed;
            QVERIFY(framer.pending() <= MaxLineBytes);
        }
        QVERIFY(!fits);
        QCOMPARE(fed, 17); // 16 chunks are exactly 1 MiB; the 17th is one byte too many
        QCOMPARE(framer.pending(), 0);
        QCOMPARE(lines, QList<QByteArray>{"{\"ok\":1}"});
        // Failed stays failed: nothing after the fault is read as a message.
        QVERIFY(!framer.feed("{\"late\":1}\n", lines));
        QCOMPARE(lines.size(), 1);
        framer.reset();
        QVERIFY(framer.feed("{\"new\":1}\n", lines));
        QCOMPARE(lines.last(), QByteArray("{\"new\":1}"));

        // One read holding a good line and an oversized one.
        framer.reset();
        lines.clear();
        QVERIFY(!framer.feed("{\"x\":1}\n" + QByteArray(MaxLineBytes + 1, 'z') + "\n", lines));
        QCOMPARE(lines, QList<QByteArray>{"{\"x\":1}"});
    }

    void messagesAreToldApart_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text"); // the method, or the error
        const int invalid = int(Message::Kind::Invalid), reply = int(Message::Kind::Reply),
                  notification = int(Message::Kind::Notification),
                  other = int(Message::Kind::Other);
        QTest::newRow("result") << QByteArray(R"({"id":7,"jsonrpc":"2.0","result":{"name":"a"}})")
                                << reply << qint64(7) << true << QString();
        QTest::newRow("error, as snapserver 0.26 sends it")
            << QByteArray(R"({"error":{"code":-32603,"data":"Client not found","message":)"
                          R"("Internal error"},"id":3,"jsonrpc":"2.0"})")
            << reply << qint64(3) << false << QStringLiteral("Internal error: Client not found");
        QTest::newRow("error with only a code")
            << QByteArray(R"({"id":4,"error":{"code":-32601}})") << reply << qint64(4) << false
            << QStringLiteral("-32601");
        QTest::newRow("null result is an answer")
            << QByteArray(R"({"id":5,"result":null})") << reply << qint64(5) << true << QString();
        QTest::newRow("notification")
            << QByteArray(R"({"jsonrpc":"2.0","method":"Client.OnConnect","params":{"id":"r"}})")
            << notification << qint64(-1) << false << QStringLiteral("Client.OnConnect");
        QTest::newRow("a request from the server")
            << QByteArray(R"({"id":1,"method":"Client.SetVolume"})") << other << qint64(-1) << false
            << QString();
        QTest::newRow("id of the wrong type") << QByteArray(R"({"id":"7","result":"ok"})") << other
                                              << qint64(-1) << false << QString();
        QTest::newRow("id not whole") << QByteArray(R"({"id":7.5,"result":"ok"})") << other
                                      << qint64(-1) << false << QString();
        QTest::newRow("neither result nor error")
            << QByteArray(R"({"id":7})") << other << qint64(-1) << false << QString();
        QTest::newRow("not JSON") << QByteArray("{\"id\":7,") << invalid << qint64(-1) << false
                                  << QString();
        QTest::newRow("a batch") << QByteArray(R"([{"id":7,"result":1}])") << invalid << qint64(-1)
                                 << false << QString();
        QTest::newRow("a bare number")
            << QByteArray("42") << invalid << qint64(-1) << false << QString();
        QTest::newRow("an error text that is long and has control characters")
            << QByteArray("{\"id\":9,\"error\":{\"message\":\"bad\\u001b[31m") +
                   QByteArray(100, 'e') + "\"}}"
            << reply << qint64(9) << false
            << QStringLiteral("bad[31m") + QString(MaxTextLength - 7, QLatin1Char('e')) +
                   QChar(0x2026);
    }
    void messagesAreToldApart() {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        const Message message = parse(line);
        QCOMPARE(int(message.kind), kind);
        if (message.kind == Message::Kind::Reply) {
            QTEST(message.id, "id");
            QTEST(message.ok, "ok");
            QTEST(message.error, "text");
        } else if (message.kind == Message::Kind::Notification) {
            QTEST(message.method, "text");
            QCOMPARE(message.params.value(QStringLiteral("id")).toString(), QStringLiteral("r"));
        }
    }

    // What the notifications leave to the reader, in the shapes snapserver 0.26 sends.
    void roomsFollowStatusAndNotifications() {
        RoomState state;
        QVERIFY(state.setStatus(
            status({QJsonArray{client(QStringLiteral("room2"), QString(), true, 40, false)},
                    QJsonArray{client(QStringLiteral("room1"), QStringLiteral("教学楼一"), true,
                                      100, false)}})));
        QCOMPARE(state.rooms(),
                 (CampusRooms{room("room2", QStringLiteral("vm"), true, 40, false),
                              room("room1", QStringLiteral("教学楼一"), true, 100, false)}));
        // A name cleared on the server shows the host's name again.
        QVERIFY(state.apply(QStringLiteral("Client.OnNameChanged"),
                            json(R"({"id":"room1","name":""})")));
        QCOMPARE(state.find(QStringLiteral("room1"))->name, QStringLiteral("vm"));
        // The event decides connected, whatever its client object says.
        QVERIFY(state.apply(
            QStringLiteral("Client.OnDisconnect"),
            QJsonObject{{QStringLiteral("id"), QStringLiteral("room2")},
                        {QStringLiteral("client"),
                         client(QStringLiteral("room2"), QString(), true, 40, false)}}));
        QVERIFY(!state.find(QStringLiteral("room2"))->connected);
        // A room not seen before is added by its first connection.
        QVERIFY(state.apply(
            QStringLiteral("Client.OnConnect"),
            QJsonObject{{QStringLiteral("id"), QStringLiteral("room4")},
                        {QStringLiteral("client"), client(QStringLiteral("room4"), QString(), false,
                                                          70, false, QStringLiteral("pi4"))}}));
        QCOMPARE(state.rooms().last(), room("room4", QStringLiteral("pi4"), true, 70, false));
        // Notifications of other things, or about unknown rooms, change nothing.
        QVERIFY(!state.apply(QStringLiteral("Group.OnMute"), json(R"({"id":"g","mute":true})")));
        QVERIFY(!state.apply(QStringLiteral("Client.OnVolumeChanged"),
                             json(R"({"id":"nobody","volume":{"muted":true,"percent":1}})")));
        QCOMPARE(state.rooms().size(), 3);
    }

    void untrustedStatusIsBoundedAndCleaned() {
        RoomState state;
        QJsonArray clients;
        // Names: cut, control and format characters out (an ANSI escape, a bidi override),
        // a character beyond the BMP kept whole.
        clients.append(
            client(QStringLiteral("long"), QString(200, QLatin1Char('n')), true, 50, false));
        clients.append(client(QStringLiteral("ctl"),
                              QStringLiteral("a\x1b[2J\u202Eb\tc\r\nd\U0001F514"), true, 50,
                              false));
        clients.append(
            client(QStringLiteral("edge"),
                   QString(MaxTextLength - 1, QLatin1Char('m')) + QStringLiteral("\U0001F514"),
                   true, 50, false));
        // Ids that cannot be shown as they are: kept whole, to be controlled, but not listed.
        const QString longId(MaxTextLength + 1, QLatin1Char('i'));
        clients.append(client(longId, QString(), true, 50, false));
        clients.append(client(QStringLiteral("room\n1"), QString(), true, 50, false));
        clients.append(client(QString(), QString(), true, 50, false));
        clients.append(client(QStringLiteral("room 2"), QString(), true, 50, false, QString()));
        clients.append(client(QStringLiteral("room\u200B3"), QString(), true, 50, false));
        // Not a room that can be addressed at all: counted.
        clients.append(QJsonObject{{QStringLiteral("id"), 17}});
        // The second of two with one id is ignored.
        clients.append(client(QStringLiteral("long"), QStringLiteral("twin"), false, 1, true));
        // Wrong types: read as missing, never a crash.
        clients.append(QStringLiteral("not an object"));
        clients.append(json(R"({"id":"typed","connected":"yes","host":[1],"config":{"name":5,)"
                            R"("volume":{"percent":"80","muted":1}}})"));
        clients.append(
            json(R"({"id":"loud","connected":true,"config":{"volume":{"percent":250}}})"));
        clients.append(json(R"({"id":"low","connected":true,"config":{"volume":{"percent":-4}}})"));
        QJsonObject weird = status({clients});
        // A group that is not an object, and one whose clients are not a list.
        QJsonArray groups =
            weird[QStringLiteral("server")].toObject().value(QStringLiteral("groups")).toArray();
        groups.append(42);
        groups.append(json(R"({"clients":{"id":"x"}})"));
        weird[QStringLiteral("server")] = QJsonObject{{QStringLiteral("groups"), groups}};
        QVERIFY(state.setStatus(weird));

        const CampusRooms &rooms = state.rooms();
        QStringList ids;
        for (const CampusRoom &r : rooms)
            ids << r.id;
        QCOMPARE(ids, (QStringList{QStringLiteral("long"), QStringLiteral("ctl"),
                                   QStringLiteral("edge"), longId, QStringLiteral("room\n1"),
                                   QString(), QStringLiteral("room 2"),
                                   QStringLiteral("room\u200B3"), QStringLiteral("typed"),
                                   QStringLiteral("loud"), QStringLiteral("low")}));
        QList<bool> shown;
        for (const CampusRoom &r : rooms)
            shown << r.shown;
        QCOMPARE(shown, (QList<bool>{true, true, true, false, false, false, false, false, true,
                                     true, true}));
        QCOMPARE(state.uncontrolled(), 1);
        QCOMPARE(rooms[0].name, QString(MaxTextLength, QLatin1Char('n')) + QChar(0x2026));
        QCOMPARE(rooms[0].volume, 50);
        QCOMPARE(rooms[1].name, QStringLiteral("a[2Jbcd\U0001F514"));
        // The pair would cross the bound: cut before it, not through it.
        QCOMPARE(rooms[2].name, QString(MaxTextLength - 1, QLatin1Char('m')) + QChar(0x2026));
        // With no name at all, the id stands for it, cleaned and cut like a name.
        QCOMPARE(rooms[6].name, QStringLiteral("room 2"));
        QCOMPARE(rooms[8], room("typed", QStringLiteral("typed"), false, 100, false));
        QCOMPARE(rooms[9].volume, 100);
        QCOMPARE(rooms[10].volume, 0);
        // Their notifications are read like any room's.
        QVERIFY(state.apply(
            QStringLiteral("Client.OnVolumeChanged"),
            QJsonObject{{QStringLiteral("id"), QStringLiteral("room\u200B3")},
                        {QStringLiteral("volume"), json(R"({"muted":true,"percent":50})")}}));
        QVERIFY(state.find(QStringLiteral("room\u200B3"))->muted);

        // Past the rooms the lists show, rooms are still kept; past the bound of what is kept
        // at all, they are counted, by status and by notifications alike.
        QJsonArray many;
        for (int i = 0; i < MaxRooms + 50; ++i)
            many.append(client(QStringLiteral("r%1").arg(i), QString(), true, 100, false));
        QVERIFY(state.setStatus(status({many})));
        QCOMPARE(state.rooms().size(), MaxRooms);
        QCOMPARE(state.uncontrolled(), 50);
        QVERIFY(state.rooms()[MaxShownRooms - 1].shown);
        QVERIFY(!state.rooms()[MaxShownRooms].shown);
        QVERIFY(!state.apply(QStringLiteral("Client.OnConnect"),
                             QJsonObject{{QStringLiteral("id"), QStringLiteral("one-more")}}));
        QCOMPARE(state.rooms().size(), MaxRooms);

        // Notifications with the wrong shapes.
        QVERIFY(!state.apply(QStringLiteral("Client.OnVolumeChanged"),
                             json(R"({"id":"r1","volume":"loud"})")));
        QVERIFY(
            !state.apply(QStringLiteral("Client.OnNameChanged"), json(R"({"id":"r1","name":7})")));
        QVERIFY(!state.apply(QStringLiteral("Client.OnConnect"), json(R"({"id":["r1"]})")));
        QVERIFY(state.apply(QStringLiteral("Client.OnDisconnect"), json(R"({"id":"r1"})")));
        QVERIFY(!state.find(QStringLiteral("r1"))->connected);
        // A status that is not one at all empties the list.
        QVERIFY(state.setStatus(json(R"({"server":"down"})")));
        QVERIFY(state.rooms().isEmpty());
        QCOMPARE(state.uncontrolled(), 0);
    }

    // The sources as Server.GetStatus lists them (snapserver 0.26's shape) and Stream.OnUpdate
    // changes them; whether one reads the configured pipe decides whether tasks can reach the
    // rooms at all.
    void streamsTellWhichPipeTheServerReads() {
        RoomState state;
        QJsonObject reply = status({});
        QJsonObject server = reply[QStringLiteral("server")].toObject();
        server[QStringLiteral("streams")] = QJsonArray{
            json(R"({"id":"horalet","status":"idle","uri":{"path":"/run/horalet/snapfifo",)"
                 R"("scheme":"pipe","query":{"name":"horalet"}}})"),
            json(R"({"id":"radio","status":"playing","uri":{"path":"/srv/radio.fifo",)"
                 R"("scheme":"file"}})"),
            json(R"({"status":"playing"})"), 7};
        reply[QStringLiteral("server")] = server;
        QJsonArray groups;
        groups.append(QJsonObject{
            {QStringLiteral("stream_id"), QStringLiteral("radio")},
            {QStringLiteral("clients"),
             QJsonArray{client(QStringLiteral("room3"), QString(), true, 100, false)}}});
        server[QStringLiteral("groups")] = groups;
        reply[QStringLiteral("server")] = server;
        QVERIFY(state.setStatus(reply));
        QCOMPARE(state.find(QStringLiteral("room3"))->stream, QStringLiteral("radio"));
        QCOMPARE(state.streams(),
                 (CampusStreams{{"horalet", "idle", "pipe", "/run/horalet/snapfifo"},
                                {"radio", "playing", "file", "/srv/radio.fifo"}}));
        QVERIFY(!state.setStatus(reply));

        const CampusStreams &streams = state.streams();
        QCOMPARE(CampusPipe::readerOf(streams, "/run/horalet//snapfifo"), &streams[0]);
        QVERIFY(CampusPipe::notRead(streams, "/run/horalet/snapfifo").isEmpty());
        // A file source is not a pipe's reader, whatever its path.
        QCOMPARE(CampusPipe::notRead(streams, "/srv/radio.fifo"),
                 QStringLiteral("服务器没有读取管道 /srv/radio.fifo（服务器读取的管道：/run/"
                                "horalet/snapfifo）"));
        QCOMPARE(CampusPipe::notRead({}, "/tmp/snapfifo"),
                 QStringLiteral("服务器没有读取管道 /tmp/snapfifo（服务器没有管道音源）"));

        QVERIFY(state.apply(QStringLiteral("Stream.OnUpdate"),
                            json(R"({"id":"horalet","stream":{"id":"horalet","status":"playing",)"
                                 R"("uri":{"path":"/run/horalet/snapfifo","scheme":"pipe"}}})")));
        QCOMPARE(state.streams()[0].status, QStringLiteral("playing"));
        QVERIFY(!state.apply(QStringLiteral("Stream.OnUpdate"), json(R"({"stream":"x"})")));
        QCOMPARE(state.streams().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSnapcastProtocol)
#include "test_snapcast_protocol.moc"
