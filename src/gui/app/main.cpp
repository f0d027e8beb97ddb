#include "app/ChineseLocale.h"
#include "app/InstanceBeacon.h"
#include "app/MainFrame.h"
#include "app/QuitOnSignal.h"
#include "app/StartupGuard.h"
#include "platform/BusProbe.h"
#include "program/CommandLine.h"
#include "program/Terminal.h"
#include "view/HoraletView.h"
#include "widgets/ScreenFit.h"

#include <QApplication>
#include <QDir>
#include <QFont>

int main(int argc, char *argv[]) {
    Terminal::installMessageHandler();
    // Before the application object, which needs a display: --help and --version must not.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine options = CommandLine::parse(arguments);
    if (options.action != CommandLine::Action::Run) {
        Terminal::write(options.action == CommandLine::Action::Error ? stderr : stdout,
                        options.output);
        return options.exitCode();
    }
    if (!options.storeDirectory.isEmpty())
        qputenv("HORALET_STORE_DIR", QDir(options.storeDirectory).absolutePath().toLocal8Bit());

    // A bus that takes connections and never answers would hold the start-up for good, in
    // the first of Qt's parts to connect to it: ask each with a time limit, and go on without it.
    BusProbe::checkAtStartup();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horalet"));
    QGuiApplication::setDesktopFileName(QStringLiteral("horalet"));
    // The window goes to the tray; only the exit question ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font = QApplication::font();
    font.setFamilies(
        {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei"), font.family()});
    font.setPointSize(9);
    QApplication::setFont(font);
    ChineseLocale::install();
    ScreenFit::install(&app);

    // Nothing reads a file before the store directory is settled and locked.
    bool handedOver = false;
    auto guard = StartupGuard::acquire(&handedOver);
    if (!guard)
        return handedOver ? 0 : 1;

    QuitOnSignal quitOnSignal;
    CMainFrame frame(guard->storeDirectory);
    frame.view()->OnInitialUpdate();
    frame.centreOnScreen();
    if (quitOnSignal.requested())
        return 0;
    frame.showAtStart(options.minimized);
    InstanceBeacon beacon(guard->storeDirectory);
    QObject::connect(&beacon, &InstanceBeacon::comeForward, &frame, &CMainFrame::bringForward);
    beacon.listen();
    guard->tellReadOnly(&frame);
    return app.exec();
}
