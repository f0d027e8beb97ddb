#include "BusProbe.h"

#include "program/SystemErrors.h"

#include <QByteArray>
#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace BusProbe {

namespace {

const char *const kSystemDefault = "unix:path=/var/run/dbus/system_bus_socket";
// An address libdbus refuses at once: what a bus put out of reach is set to.
const char *const kOutOfReach = "unix:path=/nonexistent/horalet-bus-did-not-answer";

QString problems[2];

// "%2F" and the like, as D-Bus addresses escape their values.
QByteArray unescape(const QString &value) {
    return QByteArray::fromPercentEncoding(value.toUtf8());
}

struct Target {
    QString kind;
    QHash<QString, QByteArray> keys;
};

Target parse(const QString &entry) {
    Target target;
    const qsizetype colon = entry.indexOf(u':');
    target.kind = entry.left(colon);
    if (colon < 0)
        return target;
    for (const QString &pair : entry.mid(colon + 1).split(u',', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq > 0)
            target.keys.insert(pair.left(eq), unescape(pair.mid(eq + 1)));
    }
    return target;
}

int remainingMs(const QElapsedTimer &clock, int limitMs) {
    return std::max(0, limitMs - int(clock.elapsed()));
}

// A non-blocking connect that gives up at the limit; -1 with errno set on failure.
int connectWithin(int domain, const sockaddr *address, socklen_t length, const QElapsedTimer &clock,
                  int limitMs) {
    const int fd = ::socket(domain, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, address, length) == 0)
        return fd;
    if (errno != EINPROGRESS && errno != EAGAIN) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, remainingMs(clock, limitMs));
    int error = 0;
    socklen_t size = sizeof error;
    if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error) {
        ::close(fd);
        errno = ready == 0 ? ETIMEDOUT : (error ? error : errno);
        return -1;
    }
    return fd;
}

int open(const Target &target, const QElapsedTimer &clock, int limitMs, bool *tried) {
    *tried = true;
    if (target.kind == QLatin1String("unix")) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QByteArray name;
        socklen_t length = 0;
        if (target.keys.contains(QStringLiteral("path"))) {
            name = target.keys.value(QStringLiteral("path"));
            if (name.size() >= qsizetype(sizeof address.sun_path)) {
                errno = ENAMETOOLONG;
                return -1;
            }
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            length = socklen_t(offsetof(sockaddr_un, sun_path) + name.size() + 1);
        } else if (target.keys.contains(QStringLiteral("abstract"))) {
            name = target.keys.value(QStringLiteral("abstract"));
            if (name.size() + 1 >= qsizetype(sizeof address.sun_path)) {
                errno = ENAMETOOLONG;
                return -1;
            }
            std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
            length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        } else {
            *tried = false;
            return -1;
        }
        return connectWithin(AF_UNIX, reinterpret_cast<sockaddr *>(&address), length, clock,
                             limitMs);
    }
    if (target.kind == QLatin1String("tcp")) {
        const QByteArray host = target.keys.value(QStringLiteral("host"), "localhost");
        const QByteArray port = target.keys.value(QStringLiteral("port"));
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (port.isEmpty() || ::getaddrinfo(host.constData(), port.constData(), &hints, &found)) {
            errno = EADDRNOTAVAIL;
            return -1;
        }
        int fd = -1;
        for (addrinfo *a = found; a && fd < 0; a = a->ai_next)
            fd = connectWithin(a->ai_family, a->ai_addr, a->ai_addrlen, clock, limitMs);
        ::freeaddrinfo(found);
        return fd;
    }
    *tried = false;
    return -1;
}

// The client's first words: a NUL, then the EXTERNAL mechanism with our user id. Any line
// back (OK, REJECTED, ERROR) is an answer.
bool answers(int fd, const QElapsedTimer &clock, int limitMs) {
    const QByteArray uid = QByteArray::number(::getuid()).toHex();
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n";
    qsizetype sent = 0;
    while (sent < hello.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(clock, limitMs)) <= 0)
            return false;
        const ssize_t n =
            ::send(fd, hello.constData() + sent, size_t(hello.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (n > 0)
            sent += n;
    }
    QByteArray reply;
    while (!reply.contains("\r\n")) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(clock, limitMs)) <= 0)
            return false;
        char buffer[256];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return false;
        if (n > 0)
            reply.append(buffer, n);
    }
    return true;
}

} // namespace

QString ask(const QString &address, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QString why = QStringLiteral("地址无效");
    for (const QString &entry : address.split(u';', Qt::SkipEmptyParts)) {
        bool tried = false;
        const int fd = open(parse(entry), clock, limitMs, &tried);
        if (!tried)
            return {};
        if (fd < 0) {
            why = errno == ETIMEDOUT ? QStringLiteral("%1 毫秒内没有响应").arg(limitMs)
                                     : SystemErrors::text(errno);
            continue;
        }
        const bool answered = answers(fd, clock, limitMs);
        ::close(fd);
        if (answered)
            return {};
        why = QStringLiteral("%1 毫秒内没有响应").arg(limitMs);
    }
    return why;
}

QString addressOf(Bus bus) {
    if (bus == Bus::Session)
        return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    return qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS", QString::fromLatin1(kSystemDefault));
}

void checkAtStartup(int limitMs) {
    const struct {
        Bus bus;
        const char *variable;
        const char *name;
    } buses[] = {{Bus::Session, "DBUS_SESSION_BUS_ADDRESS", "会话总线"},
                 {Bus::System, "DBUS_SYSTEM_BUS_ADDRESS", "系统总线"}};
    // Qt takes the first thread that touches it for the main thread. The probe below runs on
    // a thread of its own before the application object exists, and its error texts go through
    // Qt's logging: this thread must come first, or the whole program would run as if on a
    // foreign thread (no timers, no children: no bell).
    QThread::currentThread();
    // Both at once: two silent buses cost one time limit, not two.
    QString why[2];
    QString address[2];
    std::thread session([&] {
        address[0] = addressOf(Bus::Session);
        if (!address[0].isEmpty())
            why[0] = ask(address[0], limitMs);
    });
    address[1] = addressOf(Bus::System);
    if (!address[1].isEmpty())
        why[1] = ask(address[1], limitMs);
    session.join();
    for (const auto &b : buses) {
        const int i = int(b.bus);
        if (why[i].isEmpty())
            continue;
        problems[i] = QStringLiteral("%1不可用（%2）").arg(QString::fromUtf8(b.name), why[i]);
        qputenv(b.variable, kOutOfReach);
        qWarning().noquote() << QStringLiteral("%1：%2 = %3，不使用它继续运行")
                                    .arg(problems[i], QLatin1String(b.variable), address[i]);
    }
}

QString problem(Bus bus) {
    return problems[int(bus)];
}

} // namespace BusProbe
