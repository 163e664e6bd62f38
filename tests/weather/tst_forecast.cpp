#include "forecast.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QtTest>

using namespace nimbrel;
using namespace Qt::StringLiterals;

namespace {

// 12:00 UTC on 9 December 2024.
const QDateTime kNoon(QDate(2024, 12, 9), QTime(12, 0), QTimeZone::utc());

// A forecast as the service lays it out, cut down to what matters: points given as hours from
// kNoon and kelvin.
QString forecast(const QJsonValue& timezone, const QList<QPair<int, double>>& points) {
    QJsonArray list;
    for (const auto& [hours, kelvin] : points)
        list.append(QJsonObject{{u"dt"_s, kNoon.toSecsSinceEpoch() + hours * 3600},
                                {u"main"_s, QJsonObject{{u"temp"_s, kelvin}}}});
    const QJsonObject city{{u"name"_s, u"Somewhere"_s}, {u"timezone"_s, timezone}};
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{u"list"_s, list}, {u"city"_s, city}}).toJson());
}

} // namespace

// Which points make up "today" at the place, whatever the computer's own time zone.
class TestForecast : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void todayAtThePlace_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("nowHours");           // from kNoon
        QTest::addColumn<QList<double>>("expected"); // low and high; empty for none
        // 01:00 on the 10th there: the day ends at 11:00 UTC on the 10th.
        QTest::newRow("UTC+13") << forecast(13 * 3600, {{-3, 280}, {3, 285}, {21, 296}, {24, 300}})
                                << 0 << QList<double>{285, 296};
        // 20:00 on the 8th there: the day ends at 10:00 UTC.
        QTest::newRow("UTC-10") << forecast(-10 * 3600, {{-3, 287}, {-1, 299}, {0, 281}}) << -6
                                << QList<double>{287, 290};
        // 22:00 on the 8th there: the 9th there counts too, to 10:00 UTC on the 10th.
        QTest::newRow("after 21:00")
            << forecast(-10 * 3600, {{-3, 287}, {0, 281}, {12, 299}, {24, 270}}) << -4
            << QList<double>{281, 299};
        QTest::newRow("nothing left today") << forecast(0, {{12, 280}}) << 8 << QList<double>{};
        QTest::newRow("points that are no reading")
            << forecast(0, {{-3, 0}, {0, 400}, {3, 295}}) << -6 << QList<double>{290, 295};
        QTest::newRow("no time zone") << forecast(QJsonValue(), {{3, 280}}) << 0 << QList<double>{};
    }
    void todayAtThePlace() {
        QFETCH(QString, reply);
        QFETCH(int, nowHours);
        QFETCH(QList<double>, expected);
        const std::optional<DayRange> range =
            todayRange(reply, 290.0, kNoon.addSecs(nowHours * 3600));
        const QList<double> found =
            range ? QList<double>{range->low, range->high} : QList<double>{};
        QCOMPARE(found, expected);
    }
};

QTEST_GUILESS_MAIN(TestForecast)
#include "tst_forecast.moc"
