#include "ItemDisplayName.h"

#include <QList>

QString ItemDisplayName(const QString &item) {
    // Work on code points so a name is never cut inside a surrogate pair.
    const QList<uint> chars = item.toUcs4();
    const bool network = item.contains(QLatin1String("://"));
    qsizetype start = 0;
    // A separator in the first position is not counted: "\a.mp3" stays "\a".
    for (qsizetype i = chars.size() - 1; i >= 1; --i) {
        const uint c = chars[i];
        // Addresses keep their slashes: only a backslash separates there.
        if (c == u'\\' || (!network && c == u'/')) {
            start = i + 1;
            break;
        }
    }
    const qsizetype length = chars.size() - start - 4;
    if (length <= 0)
        return QString();
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + start), length);
}
