#include "TypedTime.h"

namespace {

QChar normalised(QChar c) {
    if (c == u'：')
        return u':';
    if (c.isDigit() && c.digitValue() >= 0)
        return QChar(u'0' + c.digitValue());
    return c;
}

constexpr int kHighest[3] = {23, 59, 59};

} // namespace

bool TypedTime::isEntryCharacter(QChar c) {
    const QChar n = normalised(c);
    return n == u':' || (n >= u'0' && n <= u'9');
}

bool TypedTime::read(const QString &typed, Parts &parts) {
    parts = Parts{};
    for (const QChar c : typed) {
        QString *current = &parts.text[parts.count - 1];
        if (c == u':') {
            // A colon after a closed or begun part opens the next; "::" or a leading one
            // names nothing.
            if ((!parts.closed && current->isEmpty()) || parts.count == 3)
                return false;
            ++parts.count;
            parts.closed = false;
            continue;
        }
        if (parts.closed) {
            if (parts.count == 3)
                return false;
            current = &parts.text[parts.count++];
            parts.closed = false;
        }
        current->append(c);
        const int highest = kHighest[parts.count - 1];
        const int value = current->toInt();
        if (value > highest)
            return false;
        parts.closed = current->size() == 2 || value * 10 > highest;
    }
    return true;
}

bool TypedTime::type(QChar c) {
    const QChar n = normalised(c);
    if (!isEntryCharacter(n))
        return false;
    Parts parts;
    if (!read(m_typed + n, parts))
        return false;
    m_typed += n;
    return true;
}

bool TypedTime::erase() {
    if (m_typed.isEmpty())
        return false;
    m_typed.chop(1);
    return true;
}

QTime TypedTime::time() const {
    Parts parts;
    read(m_typed, parts);
    return QTime(parts.text[0].toInt(), parts.text[1].toInt(), parts.text[2].toInt());
}

int TypedTime::part() const {
    Parts parts;
    read(m_typed, parts);
    return parts.count - 1;
}
