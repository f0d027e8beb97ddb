#include "CampusConnectionTest.h"

#include "CampusControl.h"
#include "CampusPipe.h"
#include "tasktable/DisplayText.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

namespace {

constexpr qsizetype kShown = 64;

bool plays(const CampusStream *stream) {
    return stream && stream->status == QLatin1String("playing");
}

} // namespace

CampusConnectionTest::CampusConnectionTest(CampusControl &control, SignalWriter writer,
                                           QObject *parent)
    : QObject(parent), m_control(control), m_writer(std::move(writer)) {
    m_connectDeadline.setSingleShot(true);
    m_playDeadline.setSingleShot(true);
    connect(&m_connectDeadline, &QTimer::timeout, this, [this] {
        finish(QStringLiteral("连接失败：%1")
                   .arg(m_failure.isEmpty() ? QStringLiteral("%1 秒内没有应答")
                                                  .arg(m_connectDeadline.interval() / 1000)
                                            : m_failure));
    });
}

void CampusConnectionTest::start(const CampusConfig::Server &server, int connectTimeoutMs) {
    ++m_serial;
    m_running = true;
    m_server = server;
    m_failure.clear();
    emit progress(QStringLiteral("正在连接 %1:%2…")
                      .arg(DisplayText::shown(server.address, kShown))
                      .arg(server.controlPort));
    m_control.setServer(server.address, server.controlPort);
    m_connectDeadline.start(connectTimeoutMs);
    askStatus();
}

void CampusConnectionTest::askStatus() {
    const quint64 serial = m_serial;
    const int left = std::max(1, m_connectDeadline.remainingTime());
    m_control.refresh(left, this, [this, serial](bool ok, const QString &failure) {
        if (serial != m_serial || !m_running || !m_connectDeadline.isActive())
            return;
        if (ok) {
            statusRead();
            return;
        }
        m_failure = failure;
        // Refused before the connection was up: asked again once it is, until the deadline.
        if (!m_control.isConnected()) {
            if (!m_waitForConnection)
                m_waitForConnection = connect(&m_control, &CampusControl::connectionChanged, this,
                                              [this](bool connected) {
                                                  if (!connected)
                                                      return;
                                                  disconnect(m_waitForConnection);
                                                  m_waitForConnection = {};
                                                  askStatus();
                                              });
            return;
        }
        finish(QStringLiteral("连接失败：%1").arg(failure));
    });
}

void CampusConnectionTest::statusRead() {
    m_connectDeadline.stop();
    if (const QString problem = CampusPipe::notRead(m_control.streams(), m_server.pipe);
        !problem.isEmpty()) {
        finish(problem);
        return;
    }
    if (!m_writer) {
        finish(success());
        return;
    }
    // Sound in the pipe already (a task, or the test before): the pipe is only checked, and
    // nothing is mixed into what plays.
    const bool write = !plays(CampusPipe::readerOf(m_control.streams(), m_server.pipe));
    if (write)
        emit progress(QStringLiteral("正在向管道发送测试信号…"));
    const quint64 serial = m_serial;
    const QPointer<CampusConnectionTest> self(this);
    QThreadPool::globalInstance()->start(
        [self, serial, write, writer = m_writer, pipe = m_server.pipe, group = m_server.pipeGroup] {
            const QString error = writer(pipe, group, write);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, serial, error, write] {
                    if (self && self->m_serial == serial && self->m_running)
                        self->signalWritten(error, write);
                },
                Qt::QueuedConnection);
        });
}

void CampusConnectionTest::signalWritten(const QString &error, bool written) {
    if (!error.isEmpty() || !written) {
        finish(error.isEmpty() ? success() : error);
        return;
    }
    m_playDeadline.start(PlayWaitMs);
    pollSource();
}

void CampusConnectionTest::pollSource() {
    const quint64 serial = m_serial;
    m_control.refresh(PlayWaitMs, this, [this, serial](bool ok, const QString &failure) {
        if (serial != m_serial || !m_running)
            return;
        if (!ok) {
            finish(QStringLiteral("连接失败：%1").arg(failure));
            return;
        }
        const CampusStream *source = CampusPipe::readerOf(m_control.streams(), m_server.pipe);
        if (!source) {
            finish(CampusPipe::notRead(m_control.streams(), m_server.pipe));
            return;
        }
        if (plays(source)) {
            finish(success());
            return;
        }
        if (!m_playDeadline.isActive()) {
            finish(QStringLiteral("服务器没有读取管道 %1（测试信号没有使音源“%2”开始播放）")
                       .arg(DisplayText::shown(m_server.pipe, 80), source->id));
            return;
        }
        QTimer::singleShot(PollMs, this, [this, serial] {
            if (serial == m_serial && m_running)
                pollSource();
        });
    });
}

QString CampusConnectionTest::success() const {
    const CampusRooms &rooms = m_control.rooms();
    QString text = QStringLiteral("连接成功，%1 个终端").arg(rooms.size());
    // A room whose group plays another source hears none of this program's sound.
    const CampusStream *source = CampusPipe::readerOf(m_control.streams(), m_server.pipe);
    QStringList elsewhere;
    for (const CampusRoom &room : rooms)
        if (source && !room.stream.isEmpty() && room.stream != source->id)
            elsewhere << DisplayText::shown(room.name, 24);
    if (!elsewhere.isEmpty())
        text += QStringLiteral("；其中 %1 个终端收听其他音源，听不到本程序的声音：%2")
                    .arg(elsewhere.size())
                    .arg(DisplayText::shown(elsewhere.mid(0, 5).join(QStringLiteral("、")), 80));
    return text;
}

void CampusConnectionTest::finish(const QString &result) {
    if (!m_running)
        return;
    m_running = false;
    ++m_serial;
    m_connectDeadline.stop();
    m_playDeadline.stop();
    if (m_waitForConnection) {
        disconnect(m_waitForConnection);
        m_waitForConnection = {};
    }
    emit finished(result);
}
