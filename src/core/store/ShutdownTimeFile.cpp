#include "ShutdownTimeFile.h"

#include "ProfileStore.h"
#include "StoreDirectory.h"
#include "StoreFiles.h"

namespace ShutdownTimeFile {

QString fileName() {
    return StoreFiles::ShutdownTimeStem + QStringLiteral(".ini");
}
QString section() {
    return QStringLiteral("定时器时间设置");
}
QString key() {
    return QStringLiteral("关机时间");
}

QString load(const QString &directory) {
    return ProfileStore::readString(StoreDirectory::filePath(directory, fileName()), section(),
                                    key());
}

StoreResult store(const QString &directory, const QString &timeText) {
    return ProfileStore::writeString(StoreDirectory::filePath(directory, fileName()), section(),
                                     key(), timeText);
}

namespace {
// One decimal number with optional leading blanks and sign, as a scanf "%d" reads it.
bool readNumber(const QString &text, qsizetype &pos, int &out) {
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-'))
        negative = text.at(pos++) == u'-';
    const qsizetype start = pos;
    long long value = 0;
    while (pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9') {
        value = value * 10 + (text.at(pos).unicode() - u'0');
        if (value > 1000000)
            return false;
        ++pos;
    }
    if (pos == start)
        return false;
    out = static_cast<int>(negative ? -value : value);
    return true;
}
} // namespace

std::optional<QTime> parse(const QString &timeText) {
    qsizetype pos = 0;
    int parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= timeText.size() || timeText.at(pos) != u':')
                return std::nullopt;
            ++pos;
        }
        if (!readNumber(timeText, pos, parts[i]))
            return std::nullopt;
    }
    const QTime time(parts[0], parts[1], parts[2]);
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QTime shownTime(const QString &timeText) {
    return parse(timeText).value_or(QTime(0, 0));
}

QString format(const QTime &time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace ShutdownTimeFile
