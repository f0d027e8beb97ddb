// Runs one backup or import and prints its message: for a child run as another user.
// Exit code 0 done, 1 failures, 2 refused.
#include "store/StoreTransfer.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 3;
    const QByteArray command(argv[1]);
    const auto direction =
        command == "import" ? StoreTransfer::Direction::Import : StoreTransfer::Direction::Backup;
    const StoreTransfer::Outcome outcome = StoreTransfer::run(
        direction, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    std::fputs(outcome.message.toUtf8().constData(), stdout);
    std::fflush(stdout);
    return outcome.refused ? 2 : outcome.report.ok() ? 0 : 1;
}
