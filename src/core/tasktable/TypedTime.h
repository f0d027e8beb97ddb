#pragma once

#include <QString>
#include <QTime>

// A time of day typed over the whole of a picker's text. Digits fill hour, minute and second
// in order, two each; a colon (":" or "："), or a first digit that no second one could follow
// (hour 3..9, minute or second 6..9), closes the part early, so "07:45:00", "074500", "7:45"
// and "745" all name 07:45:00. Full-width digits count as digits. Parts not typed read as 0.
class TypedTime {
public:
    // Takes a character that keeps the entry a time; anything else is refused (false).
    bool type(QChar c);
    // Takes back the last character taken; false when nothing was typed.
    bool erase();
    bool isEmpty() const { return m_typed.isEmpty(); }
    // The time typed so far.
    QTime time() const;
    // The part being typed: 0 hour, 1 minute, 2 second.
    int part() const;
    // Whether the character is one an entry can take (a digit or a colon of either width).
    static bool isEntryCharacter(QChar c);

private:
    struct Parts {
        QString text[3];
        int count = 1;
        bool closed = false; // the last part takes no further digit
    };
    // The parts the characters make; false when they make no time.
    static bool read(const QString &typed, Parts &parts);

    QString m_typed; // ASCII digits and ':'
};
