#pragma once
// Answers the message boxes the program opens and records what they said: with the given
// answers in order, then Yes where asked, else OK.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <deque>

struct Shown {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
};

class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(std::deque<QMessageBox::StandardButton> answers = {})
        : m_answers(std::move(answers)) {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
        m_timer.start(10);
    }
    QList<Shown> shown;

private:
    void poll() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        Shown seen{box->windowTitle(), box->text(), box->icon(), {}};
        for (QAbstractButton *button : box->buttons())
            seen.buttons << box->standardButton(button);
        shown.append(seen);
        QMessageBox::StandardButton answer =
            box->button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.pop_front();
        }
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    }
    std::deque<QMessageBox::StandardButton> m_answers;
    QTimer m_timer;
};
