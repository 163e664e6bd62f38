// One fetch through the program's transfer, then the process's peak resident memory (VmHWM).
// bench/transfer/measure-transfer-memory runs it against floods from the sample service.
#include "apperror.h"
#include "transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

// Kibibytes, from the kernel's own account of the process.
qint64 statusField(const QByteArray& name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(name + ':')))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: transfer_memory URL\n");
        return 2;
    }
    // The display draws on the thread that takes the reply in. Drawing a large screen holds that
    // thread for a while now and then, which is when unread data can pile up; 40 ms of every
    // 50 stands for that.
    QTimer drawing;
    QObject::connect(&drawing, &QTimer::timeout, &drawing, [] {
        QElapsedTimer busy;
        busy.start();
        while (busy.elapsed() < 40) {
        }
    });
    drawing.start(50);

    nimbrel::Transfer transfer;
    const qint64 before = statusField("VmHWM");
    QString outcome;
    try {
        outcome =
            QStringLiteral("answered with %1 characters").arg(transfer.fetchBody(args[1]).size());
    } catch (const nimbrel::AppError& error) {
        outcome = QStringLiteral("refused: ") + error.description();
    }
    std::printf("vmhwm_before_kib=%lld vmhwm_kib=%lld %s\n", static_cast<long long>(before),
                static_cast<long long>(statusField("VmHWM")), qPrintable(outcome));
    return 0;
}
