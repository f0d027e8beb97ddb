#include "TimeEntry.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimeEdit>

void TimeEntry::install(QTimeEdit *edit) {
    if (edit && !edit->findChild<TimeEntry *>(QString(), Qt::FindDirectChildrenOnly))
        new TimeEntry(edit);
}

TimeEntry::TimeEntry(QTimeEdit *edit)
    : QObject(edit), m_edit(edit), m_line(edit->findChild<QLineEdit *>()) {
    m_edit->installEventFilter(this);
    if (m_line)
        m_line->installEventFilter(this);
}

bool TimeEntry::wholeTextSelected() const {
    return m_line && !m_line->text().isEmpty() && m_line->selectedText() == m_line->text();
}

bool TimeEntry::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_line) {
        // The click that brings the focus selects the whole time, so what is typed next
        // replaces all of it; later clicks place the cursor as usual.
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && m_enteredByClick) {
            m_enteredByClick = false;
            m_swallowRelease = true;
            m_typing.reset();
            m_edit->selectAll();
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && m_swallowRelease) {
            m_swallowRelease = false;
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress)
            m_typing.reset();
        return false;
    }
    switch (event->type()) {
    case QEvent::FocusIn:
        m_typing.reset();
        m_enteredByClick = static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason;
        return false;
    case QEvent::FocusOut:
        m_typing.reset();
        m_enteredByClick = false;
        return false;
    case QEvent::MouseButtonPress: // the arrows
        m_typing.reset();
        m_enteredByClick = false;
        return false;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Backspace && m_typing)
            return erase();
        if (!key->text().isEmpty() &&
            !(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) && take(key->text()))
            return true;
        m_typing.reset();
        return false;
    }
    case QEvent::InputMethod: {
        // Digits committed by an input method (full-width ones too).
        const QString text = static_cast<QInputMethodEvent *>(event)->commitString();
        return !text.isEmpty() && take(text);
    }
    default:
        return false;
    }
}

bool TimeEntry::take(const QString &text) {
    for (const QChar c : text)
        if (!TypedTime::isEntryCharacter(c))
            return false;
    if (!m_typing && !wholeTextSelected())
        return false;
    TypedTime typing = m_typing.value_or(TypedTime{});
    bool took = false;
    for (const QChar c : text)
        took = typing.type(c) || took;
    if (!took) {
        // Refused: the time stays as it is shown.
        QApplication::beep();
        return true;
    }
    m_typing = typing;
    show();
    return true;
}

bool TimeEntry::erase() {
    m_typing->erase();
    show();
    return true;
}

void TimeEntry::show() {
    m_edit->setTime(m_typing->time());
    if (m_line) {
        // The cursor stands after the part being typed.
        m_line->deselect();
        m_line->setCursorPosition(qMin(3 * m_typing->part() + 2, int(m_line->text().size())));
    }
}
