#include "DisplayText.h"

#include <QStringList>

namespace DisplayText {

QString shown(const QString &text, qsizetype maxLength) {
    if (text.size() <= maxLength)
        return text;
    qsizetype cut = std::max<qsizetype>(maxLength - 1, 0);
    // Never half a surrogate pair.
    if (cut > 0 && text[cut - 1].isHighSurrogate())
        --cut;
    return text.first(cut) + QChar(u'…');
}

QStringList shown(const QStringList &texts, qsizetype maxLength) {
    QStringList out;
    out.reserve(texts.size());
    for (const QString &text : texts)
        out << shown(text, maxLength);
    return out;
}

} // namespace DisplayText
