#include "app/StartupGuard.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horalet"));
    auto guard = StartupGuard::acquire();
    if (!guard)
        return 1;
    QLabel placeholder(QStringLiteral("Horalet — %1").arg(guard->storeDirectory));
    placeholder.show();
    return app.exec();
}
