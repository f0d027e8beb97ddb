#include "app/ChineseLocale.h"
#include "app/MainFrame.h"
#include "app/StartupGuard.h"
#include "view/HoraletView.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horalet"));
    // The window goes to the tray; only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font = QApplication::font();
    font.setFamilies(
        {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"), font.family()});
    font.setPointSize(9);
    QApplication::setFont(font);
    ChineseLocale::install();

    // Nothing reads a file before the store directory is settled and locked.
    auto guard = StartupGuard::acquire();
    if (!guard)
        return 1;

    CMainFrame frame(guard->storeDirectory);
    frame.view()->OnInitialUpdate();
    frame.centreOnScreen();
    frame.show();
    return app.exec();
}
