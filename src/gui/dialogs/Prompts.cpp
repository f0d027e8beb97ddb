#include "Prompts.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace Prompts {

Tell warning(const QString &title) {
    return [title](QWidget *parent, const QString &text) {
        QMessageBox::warning(parent, title, text);
    };
}

Tell information(const QString &title) {
    return [title](QWidget *parent, const QString &text) {
        QMessageBox::information(parent, title, text);
    };
}

Ask question(const QString &title) {
    return [title](QWidget *parent, const QString &text) {
        return QMessageBox::question(parent, title, text) == QMessageBox::Yes;
    };
}

AskText text() {
    return [](QWidget *parent, const QString &caption, const QString &label,
              const QString &proposed) -> std::optional<QString> {
        bool ok = false;
        const QString answer =
            QInputDialog::getText(parent, caption, label, QLineEdit::Normal, proposed, &ok);
        if (!ok)
            return std::nullopt;
        return answer;
    };
}

} // namespace Prompts
