#include "apperror.h"
#include "guard.h"
#include "testsupport.h"
#include "weathertestsupport.h"
#include "weathertext.h"

#include <QLocale>
#include <QtTest>

Q_DECLARE_METATYPE(nimbrel::DetailChoices)

using namespace nimbrel;
using namespace Qt::StringLiterals;

namespace {

const QString kReportName = QStringLiteral("Form2.getWeather");

QString lines(const QStringList& five) {
    Q_ASSERT(five.size() == 5);
    return five.join(QLatin1String("\r\n"));
}

QString degrees(const QString& label, const QString& number, char unit) {
    return label + number + QLatin1Char(' ') + QChar(0x00B0) + QLatin1Char(unit);
}

DetailChoices onlyDetails(bool location, bool current, bool summary, bool high, bool low) {
    DetailChoices details;
    details.location = location;
    details.current = current;
    details.summary = summary;
    details.high = high;
    details.low = low;
    return details;
}

} // namespace

// The reading of one reply, without the network.
class TestWeatherText : public QObject {
    Q_OBJECT

private:
    QString read(const QString& reply, const QString& key = QStringLiteral("demo-key"),
                 const QString& tempType = QStringLiteral("Fahrenheit"),
                 const DetailChoices& details = {}) {
        Guard guard(kReportName);
        return weatherTextFromReply(guard, reply, key, tempType, details);
    }

    test::MessageRecorder* m_recorder = nullptr;

private Q_SLOTS:
    void init() { m_recorder = new test::MessageRecorder; }
    void cleanup() {
        delete m_recorder;
        m_recorder = nullptr;
        QLocale::setDefault(QLocale::c());
    }

    void workedExample_data() {
        QTest::addColumn<QString>("tempType");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Fahrenheit")
            << "Fahrenheit"
            << lines({u"San Diego"_s, degrees(u"Current Temperature: "_s, u"68"_s, 'F'),
                      u"Clear Sky"_s, degrees(u"Low: "_s, u"63"_s, 'F'),
                      degrees(u"High: "_s, u"73"_s, 'F')});
        QTest::newRow("Celsius") << "Celsius"
                                 << lines({u"San Diego"_s,
                                           degrees(u"Current Temperature: "_s, u"20"_s, 'C'),
                                           u"Clear Sky"_s, degrees(u"Low: "_s, u"17"_s, 'C'),
                                           degrees(u"High: "_s, u"23"_s, 'C')});
    }
    void workedExample() {
        QFETCH(QString, tempType);
        QFETCH(QString, expected);
        QCOMPARE(read(test::serviceReply(u"293.15"_s, u"290.37"_s, u"295.93"_s), u"demo-key"_s,
                      tempType),
                 expected);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // The exact value, the offset 273.15 and a single rounding, halves to even.
    void temperatures_data() {
        QTest::addColumn<QString>("kelvin");
        QTest::addColumn<QString>("tempType");
        QTest::addColumn<QString>("expected");
        QTest::newRow("293.15 F") << "293.15"
                                  << "Fahrenheit"
                                  << "68";
        QTest::newRow("290.37 F") << "290.37"
                                  << "Fahrenheit"
                                  << "63";
        QTest::newRow("295.93 F") << "295.93"
                                  << "Fahrenheit"
                                  << "73";
        QTest::newRow("285.5 C") << "285.5"
                                 << "Celsius"
                                 << "12";
        QTest::newRow("285.5 F") << "285.5"
                                 << "Fahrenheit"
                                 << "54";
        QTest::newRow("284.5 C") << "284.5"
                                 << "Celsius"
                                 << "11";
        QTest::newRow("284.5 F") << "284.5"
                                 << "Fahrenheit"
                                 << "52";
        QTest::newRow("282.55 C") << "282.55"
                                  << "Celsius"
                                  << "9";
        QTest::newRow("282.55 F") << "282.55"
                                  << "Fahrenheit"
                                  << "49";
        QTest::newRow("275.65 C half down to even") << "275.65"
                                                    << "Celsius"
                                                    << "2";
        QTest::newRow("275.65 F half down to even") << "275.65"
                                                    << "Fahrenheit"
                                                    << "36";
        QTest::newRow("276.65 C half up to even") << "276.65"
                                                  << "Celsius"
                                                  << "4";
        QTest::newRow("272.65 C is -0.5") << "272.65"
                                          << "Celsius"
                                          << "0";
        QTest::newRow("272.9 C is -0.25") << "272.9"
                                          << "Celsius"
                                          << "0";
        QTest::newRow("271.65 C is -1.5") << "271.65"
                                          << "Celsius"
                                          << "-2";
        QTest::newRow("255.37 F is -0.004") << "255.37"
                                            << "Fahrenheit"
                                            << "0";
        QTest::newRow("250.65 F is -8.5") << "250.65"
                                          << "Fahrenheit"
                                          << "-8";
        // Outside 150 to 350 K a figure is no reading.
        QTest::newRow("0 K") << "0"
                             << "Celsius"
                             << "--";
        QTest::newRow("149.99 K") << "149.99"
                                  << "Celsius"
                                  << "--";

        QTest::newRow("whole kelvin") << "300"
                                      << "Fahrenheit"
                                      << "80";
        // JSON has no plus sign: the reply is no JSON, so it holds no reading.
        QTest::newRow("blanks and sign") << " + 293.15 "
                                         << "Fahrenheit"
                                         << "--";
        QTest::newRow("negative kelvin") << "-1.85"
                                         << "Celsius"
                                         << "--";
        QTest::newRow("exponent") << "2.9315e2"
                                  << "Fahrenheit"
                                  << "68";
        QTest::newRow("trailing zeros") << "275.650000000000000000"
                                        << "Celsius"
                                        << "2";
        QTest::newRow("many decimals") << "275.650000000001"
                                       << "Celsius"
                                       << "3";
        QTest::newRow("no integer digits") << ".5"
                                           << "Celsius"
                                           << "--";
        QTest::newRow("large") << "1000000273.15"
                               << "Celsius"
                               << "--";
    }
    void temperatures() {
        QFETCH(QString, kelvin);
        QFETCH(QString, tempType);
        QFETCH(QString, expected);
        const QString text =
            read(test::serviceReply(kelvin, u"290"_s, u"290"_s), u"demo-key"_s, tempType);
        const char unit = tempType == QLatin1String("Celsius") ? 'C' : 'F';
        QCOMPARE(text.split(QLatin1String("\r\n")).value(1),
                 degrees(u"Current Temperature: "_s, expected, unit));
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // The reply is written the same everywhere: the user's decimal comma plays no part.
    void localeIndependent() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text = read(test::serviceReply(u"282.55"_s, u"282.55"_s, u"282.55"_s),
                                  u"demo-key"_s, QStringLiteral("Celsius"));
        QCOMPARE(text.split(QLatin1String("\r\n")).value(1),
                 degrees(u"Current Temperature: "_s, u"9"_s, 'C'));
    }

    // A member that is not a number fails its own step, and its line shows "--"; a value that
    // is no JSON number makes the reply no JSON, which holds nothing to show, without a report.
    void unreadableValue_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("description"); // empty: no report
        QTest::addColumn<bool>("stillJson");
        const QString mismatch = AppError::typeMismatch().description();
        QTest::newRow("word") << "null" << mismatch << true;
        QTest::newRow("quoted") << "\"293.15\"" << mismatch << true;
        QTest::newRow("object") << "{\"k\":293.15}" << mismatch << true;
        QTest::newRow("huge") << "9999999999999999999999" << QString() << true;
        QTest::newRow("empty") << "" << QString() << false;
        QTest::newRow("sign only") << "-" << QString() << false;
        QTest::newRow("two points") << "293.1.5" << QString() << false;
        QTest::newRow("inner blank") << "29 3.15" << QString() << false;
        QTest::newRow("other separator") << "293;15" << QString() << false;
        QTest::newRow("arabic-indic digits")
            << QString::fromUtf8("\u0662\u0669\u0663") << QString() << false;
    }
    void unreadableValue() {
        QFETCH(QString, value);
        QFETCH(QString, description);
        QFETCH(bool, stillJson);
        struct Case {
            QString reply;
            int line;
            int lineIndex;
            const char* label;
        };
        const Case cases[] = {
            {test::serviceReply(value, u"290.37"_s, u"295.93"_s), 114, 1, "Current Temperature: "},
            {test::serviceReply(u"293.15"_s, value, u"295.93"_s), 116, 3, "Low: "},
            {test::serviceReply(u"293.15"_s, u"290.37"_s, value), 118, 4, "High: "},
        };
        for (const Case& c : cases) {
            m_recorder->messages.clear();
            const QStringList five = read(c.reply).split(QLatin1String("\r\n"));
            QCOMPARE(five.size(), 5);
            QCOMPARE(five.at(c.lineIndex), degrees(QLatin1String(c.label), u"--"_s, 'F'));
            QCOMPARE(five.at(0), stillJson ? QStringLiteral("San Diego") : QString());
            if (description.isEmpty()) {
                QVERIFY(m_recorder->messages.isEmpty());
                continue;
            }
            QCOMPARE(m_recorder->messages.size(), 1);
            QCOMPARE(m_recorder->messages.first().title, QStringLiteral("Application Error"));
            QCOMPARE(m_recorder->messages.first().text,
                     errorReportText(description, kReportName, c.line));
        }
    }

    // An error reply, a failed fetch or a cut-off reply: never a number made up from 0 K.
    void missingTemperatures_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("expected");
        const QString none =
            lines({u""_s, degrees(u"Current Temperature: "_s, u"--"_s, 'F'), u""_s,
                   degrees(u"Low: "_s, u"--"_s, 'F'), degrees(u"High: "_s, u"--"_s, 'F')});
        QTest::newRow("empty reply") << "" << none;
        QTest::newRow("429") << R"({"cod":429, "message": "Your account is temporary blocked"})"
                             << none;
        QTest::newRow("no comma after the last value")
            << R"({"main":{"temp_max":295.93})"
            << lines({u""_s, degrees(u"Current Temperature: "_s, u"--"_s, 'F'), u""_s,
                      degrees(u"Low: "_s, u"--"_s, 'F'), degrees(u"High: "_s, u"--"_s, 'F')});
        QTest::newRow("only the current value")
            << R"({"main":{"temp":293.15,"humidity":50}})"
            << lines({u""_s, degrees(u"Current Temperature: "_s, u"68"_s, 'F'), u""_s,
                      degrees(u"Low: "_s, u"--"_s, 'F'), degrees(u"High: "_s, u"--"_s, 'F')});
    }
    void missingTemperatures() {
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        QCOMPARE(read(reply), expected);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // Check6 (captioned "High") switches the "High: " line, Check7 ("Low") the "Low: " line;
    // the order of the lines never changes.
    void detailChoices_data() {
        QTest::addColumn<DetailChoices>("details");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << onlyDetails(false, false, false, false, false)
                              << "\r\n\r\n\r\n\r\n";
        QTest::newRow("only High")
            << onlyDetails(false, false, false, true, false)
            << lines({u""_s, u""_s, u""_s, u""_s, degrees(u"High: "_s, u"73"_s, 'F')});
        QTest::newRow("only Low") << onlyDetails(false, false, false, false, true)
                                  << lines({u""_s, u""_s, u""_s, degrees(u"Low: "_s, u"63"_s, 'F'),
                                            u""_s});
        QTest::newRow("location and summary")
            << onlyDetails(true, false, true, false, false)
            << lines({u"San Diego"_s, u""_s, u"Clear Sky"_s, u""_s, u""_s});
        QTest::newRow("only current")
            << onlyDetails(false, true, false, false, false)
            << lines(
                   {u""_s, degrees(u"Current Temperature: "_s, u"68"_s, 'F'), u""_s, u""_s, u""_s});
    }
    void detailChoices() {
        QFETCH(DetailChoices, details);
        QFETCH(QString, expected);
        QCOMPARE(read(test::serviceReply(u"293.15"_s, u"290.37"_s, u"295.93"_s), u"demo-key"_s,
                      u"Fahrenheit"_s, details),
                 expected);
    }

    void unknownUnitBuildsNoTemperatureLine_data() {
        QTest::addColumn<QString>("tempType");
        QTest::newRow("empty") << "";
        QTest::newRow("lower case") << "fahrenheit";
        QTest::newRow("trailing blank") << "Celsius ";
        QTest::newRow("Kelvin") << "Kelvin";
    }
    void unknownUnitBuildsNoTemperatureLine() {
        QFETCH(QString, tempType);
        QCOMPARE(read(test::serviceReply(u"293.15"_s, u"290.37"_s, u"295.93"_s), u"demo-key"_s,
                      tempType),
                 lines({u"San Diego"_s, u""_s, u"Clear Sky"_s, u""_s, u""_s}));
    }

    void keyAndPlaceMessages_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QString refused =
            QStringLiteral("{\"cod\":401, \"message\": \"Invalid API key. Please see "
                           "https://openweathermap.org/faq#error401 for more info.\"}");
        const QString refusedText = QStringLiteral(
            "Invalid API key. Please see https://openweathermap.org/faq#error401 for more info.");
        const QString cityMessage = QStringLiteral(
            "Please enter valid location. Please go to the https://openweathermap.org/city to "
            "learn how city should be written.");
        const QString weather = test::serviceReply(u"293.15"_s, u"290.37"_s, u"295.93"_s);
        QTest::newRow("key refused") << refused << "wrong" << refusedText;
        QTest::newRow("no key, refused") << refused << "" << refusedText;
        QTest::newRow("no closing pair") << "x \"INVALID api KEY, try again"
                                         << "wrong"
                                         << "INVALID api KEY, try again";
        QTest::newRow("cut at the first closing pair") << "Invalid API key\"} and \"} more"
                                                       << "wrong"
                                                       << "Invalid API key";
        QTest::newRow("no key, weather") << weather << ""
                                         << "Please enter valid API key.";
        QTest::newRow("no key, nothing") << ""
                                         << ""
                                         << "Please enter valid API key.";
        QTest::newRow("city not found") << R"({"cod":"404","message":"city not found"})"
                                        << "demo-key" << cityMessage;
        QTest::newRow("cod as a number") << R"({"cod":404,"message":"city not found"})"
                                         << "demo-key" << cityMessage;
        QTest::newRow("cod as text")
            << QString(refused).replace(u"\"cod\":401"_s, u"\"cod\":\"401\""_s) << "wrong"
            << refusedText;
        QTest::newRow("CITY NOT FOUND") << R"({"cod":"404","message":"CITY NOT FOUND"})"
                                        << "demo-key" << cityMessage;
        QTest::newRow("no key, city not found") << R"({"cod":"404","message":"city not found"})"
                                                << ""
                                                << "Please enter valid API key.";
    }
    void keyAndPlaceMessages() {
        QFETCH(QString, reply);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(read(reply, key), expected);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    void placeAndSummary_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("summary");
        QTest::newRow("plain") << "London"
                               << "light intensity drizzle"
                               << "London"
                               << "Light Intensity Drizzle";
        QTest::newRow("upper case") << "New York"
                                    << "SCATTERED CLOUDS"
                                    << "New York"
                                    << "Scattered Clouds";
        QTest::newRow("comma kept") << "Washington, D.C."
                                    << "mIxEd  case"
                                    << "Washington, D.C."
                                    << "Mixed  Case";
        QTest::newRow("letters outside ASCII")
            << QString::fromUtf8("Zürich") << QString::fromUtf8("ÉCLAIRCIES légères")
            << QString::fromUtf8("Zürich") << QString::fromUtf8("Éclaircies Légères");
        QTest::newRow("inner quotes") << "Sa\\\"n"
                                      << "light rain"
                                      << "Sa\"n"
                                      << "Light Rain";
        // One line each, whatever the reply holds: the wall has room for five.
        QTest::newRow("line breaks inside") << "San\\r\\nDiego"
                                            << "light\\nrain"
                                            << "San  Diego"
                                            << "Light Rain";
    }
    void placeAndSummary() {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, location);
        QFETCH(QString, summary);
        const QStringList five =
            read(test::serviceReply(u"293.15"_s, u"290.37"_s, u"295.93"_s, name, description))
                .split(QLatin1String("\r\n"));
        QCOMPARE(five.value(0), location);
        QCOMPARE(five.value(2), summary);
    }

    // Member names are matched exactly, as JSON has them: "TEMP" is not "temp".
    void markerForms() {
        const QString reply = QStringLiteral(
            R"({"weather":[{"DESCRIPTION":"few clouds","icon":"02d"}],"Main":{"TEMP":293.15,)"
            R"("Temp_Min":290.37,"temp_MAX":295.93},"visibility":10000,"NAME":"San Diego","cod":200})");
        QCOMPARE(read(reply),
                 lines({u""_s, degrees(u"Current Temperature: "_s, u"--"_s, 'F'), u""_s,
                        degrees(u"Low: "_s, u"--"_s, 'F'), degrees(u"High: "_s, u"--"_s, 'F')}));
    }

    // Replies that the search for the first marker and the next comma read wrongly.
    void valuesFromTheirPlaces_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("lineIndex");
        QTest::addColumn<QString>("expected");
        const QString main =
            QStringLiteral(R"("main":{"temp":293.15,"temp_min":290.37,"temp_max":295.93})");
        const QString current = degrees(u"Current Temperature: "_s, u"68"_s, 'F');
        QTest::newRow("escaped letters")
            << QStringLiteral(R"({"cod":200,%1,"name":"S\u00e3o Paulo"})").arg(main) << 0
            << QString::fromUtf8("S\u00e3o Paulo");
        QTest::newRow("null name")
            << QStringLiteral(R"({"name":null,%1,"cod":200})").arg(main) << 0 << u""_s;
        QTest::newRow("temp of an earlier object")
            << QStringLiteral(R"({"hourly":[{"temp":250.5,"x":1}],%1})").arg(main) << 1 << current;
        QTest::newRow("temp in another letter case")
            << QStringLiteral(R"({"Feels":{"TEMP":250.5,"x":1},%1})").arg(main) << 1 << current;
        QTest::newRow("blank before the colon")
            << QStringLiteral(R"({"main" : {"temp" : 293.15 , "humidity" : 50}})") << 1 << current;
        QTest::newRow("description last in its object")
            << QStringLiteral(R"({"weather":[{"id":500,"description":"leichter Regen"}],%1})")
                   .arg(main)
            << 2 << u"Leichter Regen"_s;
        QTest::newRow("the words of a refusal in a description")
            << QStringLiteral(
                   R"({"cod":200,"weather":[{"description":"city not found; Invalid API key"}],%1})")
                   .arg(main)
            << 2 << u"City Not Found; Invalid Api Key"_s;
    }
    void valuesFromTheirPlaces() {
        QFETCH(QString, reply);
        QFETCH(int, lineIndex);
        QFETCH(QString, expected);
        QCOMPARE(read(reply).split(QLatin1String("\r\n")).value(lineIndex), expected);
        QVERIFY(m_recorder->messages.isEmpty());
    }

    // The details line takes what the reply has, in the unit that goes with the temperatures.
    void detailsLineParts_data() {
        QTest::addColumn<QString>("members"); // inside the reply's object
        QTest::addColumn<QString>("tempType");
        QTest::addColumn<QString>("expected");
        const QString all = uR"("main":{"temp":293,"feels_like":292.04,"humidity":60},)"
                            uR"("wind":{"speed":3.13,"deg":292})"_s;
        QTest::newRow("Fahrenheit")
            << all << "Fahrenheit"
            << u"Feels like 66 \u00B0F \u00B7 Humidity 60% \u00B7 Wind 7 mph W"_s;
        QTest::newRow("Celsius")
            << all << "Celsius"
            << u"Feels like 19 \u00B0C \u00B7 Humidity 60% \u00B7 Wind 11 km/h W"_s;
        QTest::newRow("nearer north-west than north")
            << uR"("wind":{"speed":0,"deg":336})"_s << "Celsius" << u"Wind 0 km/h NW"_s;
        QTest::newRow("wind without direction, no humidity")
            << uR"("main":{"feels_like":260},"wind":{"speed":10})"_s << "Fahrenheit"
            << u"Feels like 8 \u00B0F \u00B7 Wind 22 mph"_s;
        QTest::newRow("nothing to tell")
            << uR"("main":{"temp":293})"_s << "Fahrenheit" << QString();
    }
    void detailsLineParts() {
        QFETCH(QString, members);
        QFETCH(QString, tempType);
        QFETCH(QString, expected);
        const CurrentReply reply = readCurrentReply(u'{' + members + u'}');
        QCOMPARE(detailsLine(reply.reading, tempType), expected);
    }
};

QTEST_GUILESS_MAIN(TestWeatherText)
#include "tst_weathertext.moc"
