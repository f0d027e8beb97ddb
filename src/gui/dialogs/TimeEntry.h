#pragma once

#include "tasktable/TypedTime.h"

#include <QObject>

#include <optional>

class QLineEdit;
class QTimeEdit;

// Typing a whole time into a time picker. With all of its text selected (Ctrl+A, or the click
// that enters the picker selects it), the keys typed make a new time from the hour on,
// "07:45:00" or "074500" alike, instead of going into the one part the cursor is in. Other
// keys, and typing into a part the user placed the cursor in, work as the picker's own.
class TimeEntry : public QObject {
    Q_OBJECT
public:
    static void install(QTimeEdit *edit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit TimeEntry(QTimeEdit *edit);
    bool wholeTextSelected() const;
    // Takes the typed text while an entry is open or may begin; false when it is not for us.
    bool take(const QString &text);
    bool erase();
    void show();

    QTimeEdit *m_edit;
    QLineEdit *m_line;
    std::optional<TypedTime> m_typing;
    bool m_clickSelected = false; // the focus came by a click, whose press is still to come
    bool m_selectOnFocus = false; // a click came before the focus
    bool m_swallowRelease = false;
};
