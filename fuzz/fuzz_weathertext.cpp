// Arbitrary bytes as the service's reply: the reader must give a text (or its report) for
// anything, never crash, and keep the shape of its five lines.
#include "guard.h"
#include "weathertext.h"

#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Reports are counted, never shown; the reader may report each of its three temperature steps
// once.
class CountingReporter : public nimbrel::FailureReporter {
public:
    bool report(const QString&, const QString&, int, nimbrel::ReportMode) override {
        ++count;
        return true;
    }
    void closeReports(const QString&, int) override {}
    int count = 0;
};

void expect(bool condition) {
    if (!condition)
        std::abort();
}

bool isMessageReply(const QString& reply) {
    return reply.contains(QLatin1String("Invalid API key"), Qt::CaseInsensitive) ||
           reply.contains(QLatin1String("city not found"), Qt::CaseInsensitive);
}

void readOnce(const QString& reply, const QString& key, const QString& tempType,
              const nimbrel::DetailChoices& details) {
    CountingReporter reports;
    nimbrel::setFailureReporter(&reports);
    nimbrel::Guard guard(QStringLiteral("Form2.getWeather"));
    const QString text = nimbrel::weatherTextFromReply(guard, reply, key, tempType, details);
    nimbrel::setFailureReporter(nullptr);
    expect(reports.count <= 3);
    if (key.isEmpty() || isMessageReply(reply))
        return;

    // The last line is the "High: " line whenever it is switched on: nothing from the reply
    // can reach it but a whole number.
    const QString last = text.section(QLatin1String("\r\n"), -1);
    if (!details.high || tempType.isEmpty()) {
        expect(last.isEmpty());
        return;
    }
    static const QRegularExpression highLine(QStringLiteral("^High: (-?[0-9]+|--) \u00B0[FC]$"));
    expect(highLine.match(last).hasMatch());
    expect(last != QStringLiteral("High: -0 \u00B0F") &&
           last != QStringLiteral("High: -0 \u00B0C"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString reply =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    nimbrel::DetailChoices all;
    nimbrel::DetailChoices none{false, false, false, false, false};
    readOnce(reply, QStringLiteral("demo-key"), QStringLiteral("Fahrenheit"), all);
    readOnce(reply, QStringLiteral("demo-key"), QStringLiteral("Celsius"), all);
    readOnce(reply, QStringLiteral("demo-key"), QString(), none);
    readOnce(reply, QString(), QStringLiteral("Fahrenheit"), all);
    return 0;
}
