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

namespace {
bool isModifierKey(int key) {
    return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
           key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_CapsLock;
}
} // namespace

bool TimeEntry::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_line) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            m_typing.reset();
            // The click that brings the focus selects the whole time (done when the focus
            // arrives, which may be before this press or, in a window still being
            // activated, after it); it places no cursor. Later clicks work as usual.
            if (m_clickSelected || !m_edit->hasFocus()) {
                m_selectOnFocus = !m_clickSelected;
                m_clickSelected = false;
                m_swallowRelease = true;
                return true;
            }
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease && m_swallowRelease) {
            m_swallowRelease = false;
            return true;
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::FocusIn: {
        m_typing.reset();
        const bool byClick = static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason;
        if (!byClick && !m_selectOnFocus)
            return false;
        // The picker's own handling first (it selects one part), then the whole.
        m_edit->removeEventFilter(this);
        QCoreApplication::sendEvent(m_edit, event);
        m_edit->installEventFilter(this);
        m_edit->selectAll();
        m_clickSelected = byClick && !m_selectOnFocus;
        m_selectOnFocus = false;
        return true;
    }
    case QEvent::FocusOut:
        m_typing.reset();
        m_clickSelected = m_selectOnFocus = false;
        return false;
    case QEvent::MouseButtonPress: // the arrows
        m_typing.reset();
        m_clickSelected = false;
        return false;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (isModifierKey(key->key()))
            return false;
        m_clickSelected = false;
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
