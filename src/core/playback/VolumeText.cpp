#include "VolumeText.h"

#include "store/PlayTask.h"

#include <algorithm>

namespace VolumeText {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\u3000';
}

bool isDigits(const QString &text) {
    return !text.isEmpty() &&
           std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A whole number from 0 to Loudest; leading zeros are allowed.
bool inRange(const QString &text) {
    if (!isDigits(text))
        return false;
    qsizetype first = 0;
    while (first + 1 < text.size() && text[first] == u'0')
        ++first;
    return text.size() - first <= 5 && text.mid(first).toInt() <= Loudest;
}

// Blanks around a number are what playback skips: such a text plays as the number.
bool storedInRange(const QString &stored) {
    qsizetype first = 0, last = stored.size();
    while (first < last && (stored[first] == u' ' || stored[first] == u'\t'))
        ++first;
    while (last > first && (stored[last - 1] == u' ' || stored[last - 1] == u'\t'))
        --last;
    return inRange(stored.mid(first, last - first));
}

} // namespace

QString normal(const QString &typed) {
    QString text;
    text.reserve(typed.size());
    for (QChar c : typed) {
        if (c >= u'\uFF10' && c <= u'\uFF19')
            c = QChar(char16_t(u'0' + (c.unicode() - u'\uFF10')));
        text.append(c);
    }
    qsizetype first = 0, last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

QString problem(const QString &volume) {
    const QString ask = QStringLiteral("请选择或填写 0 到 65535 之间的数字.");
    if (volume.isEmpty())
        return QStringLiteral("请填写音量,") + ask;
    if (!isDigits(volume))
        return QStringLiteral("音量 \"%1\" 不是数字,").arg(volume) + ask;
    if (!inRange(volume))
        return QStringLiteral("音量 %1 超出范围,").arg(volume) + ask;
    return {};
}

int played(const QString &stored) {
    return std::clamp(leadingInt(stored), 0, Loudest);
}

QString storedNote(const QString &stored) {
    if (storedInRange(stored))
        return {};
    const int volume = played(stored);
    // A hand-edited file may hold anything: a few characters say which text is meant.
    const QString shown = stored.size() > 16 ? stored.left(16) + u'…' : stored;
    const bool fullWidth = std::any_of(stored.cbegin(), stored.cend(),
                                       [](QChar c) { return c >= u'\uFF10' && c <= u'\uFF19'; });
    const QString what = fullWidth && inRange(normal(stored))
                             ? QStringLiteral("音量“%1”是全角数字").arg(shown)
                             : QStringLiteral("音量“%1”不是 0 到 65535 之间的数字").arg(shown);
    QString note = what + QStringLiteral("，播放时按 %1 处理").arg(volume);
    if (volume == 0)
        note += QStringLiteral("，听不到声音");
    return note;
}

bool silentByMistake(const QString &stored) {
    return !storedInRange(stored) && played(stored) == 0;
}

} // namespace VolumeText
