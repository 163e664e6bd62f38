#include "apperror.h"
#include "convert.h"
#include "rounding.h"

#include <QLocale>
#include <QTest>
#include <cfenv>
#include <clocale>
#include <cmath>

using namespace nimbrel;

namespace {

// "" means the conversion succeeds.
template <class F> QString failureOf(F&& convert) {
    try {
        convert();
        return QString();
    } catch (const AppError& error) {
        return error.description();
    }
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT

private slots:
    void integer_data();
    void integer();
    void longColour_data();
    void longColour();
    void real_data();
    void real();
    void independentOfLocale_data();
    void independentOfLocale();
    void halvesGoToEvenWhateverTheRoundingMode();
};

void TestConvert::integer_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("failure");
    QTest::newRow("plain") << "72" << 72 << "";
    QTest::newRow("blanks") << "  1\t " << 1 << "";
    QTest::newRow("10.5 to even 10") << "10.5" << 10 << "";
    QTest::newRow("11.5 to even 12") << "11.5" << 12 << "";
    QTest::newRow("2.5") << "2.5" << 2 << "";
    QTest::newRow("-0.5") << "-0.5" << 0 << "";
    QTest::newRow("-1.5") << "-1.5" << -2 << "";
    QTest::newRow("-2.5") << "-2.5" << -2 << "";
    QTest::newRow("near half") << "10.50001" << 11 << "";
    QTest::newRow("below half") << "10.49999" << 10 << "";
    QTest::newRow("plus sign") << "+7" << 7 << "";
    QTest::newRow("point only after") << "5." << 5 << "";
    QTest::newRow("point only before") << ".6" << 1 << "";
    QTest::newRow("exponent") << "1.5e2" << 150 << "";
    QTest::newRow("tiny exponent") << "1e-400" << 0 << "";
    QTest::newRow("max") << "32767" << 32767 << "";
    QTest::newRow("min") << "-32768" << -32768 << "";
    QTest::newRow("min minus half to even") << "-32768.5" << -32768 << "";
    QTest::newRow("max plus half rounds out") << "32767.5" << 0 << "Overflow";
    QTest::newRow("40000") << "40000" << 0 << "Overflow";
    QTest::newRow("-32769") << "-32769" << 0 << "Overflow";
    QTest::newRow("huge exponent") << "1e400" << 0 << "Overflow";
    QTest::newRow("many digits") << QString(400, QLatin1Char('9')) << 0 << "Overflow";
    QTest::newRow("abc") << "abc" << 0 << "Type mismatch";
    QTest::newRow("empty") << "" << 0 << "Type mismatch";
    QTest::newRow("blank") << "   " << 0 << "Type mismatch";
    QTest::newRow("sign only") << "-" << 0 << "Type mismatch";
    QTest::newRow("point only") << "." << 0 << "Type mismatch";
    QTest::newRow("comma decimal") << "10,5" << 0 << "Type mismatch";
    QTest::newRow("trailing text") << "12px" << 0 << "Type mismatch";
    QTest::newRow("inner blank") << "1 2" << 0 << "Type mismatch";
    QTest::newRow("inf") << "inf" << 0 << "Type mismatch";
    QTest::newRow("nan") << "nan" << 0 << "Type mismatch";
    QTest::newRow("hex") << "0x10" << 0 << "Type mismatch";
    QTest::newRow("exponent without digits") << "1e" << 0 << "Type mismatch";
    QTest::newRow("arabic-indic digits")
        << QString::fromUtf8("\u0661\u0662") << 0 << "Type mismatch";
    QTest::newRow("lower-case true") << "true" << 0 << "Type mismatch";
}

void TestConvert::integer() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QFETCH(QString, failure);
    qint16 value = -1;
    QCOMPARE(failureOf([&] { value = toInteger(text); }), failure);
    if (failure.isEmpty())
        QCOMPARE(int(value), expected);
}

void TestConvert::longColour_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<QString>("failure");
    QTest::newRow("white") << "16777215" << qint64(16777215) << "";
    QTest::newRow("green") << " 65280 " << qint64(65280) << "";
    QTest::newRow("half to even") << "0.5" << qint64(0) << "";
    QTest::newRow("1.5") << "1.5" << qint64(2) << "";
    QTest::newRow("max") << "2147483647" << qint64(2147483647) << "";
    QTest::newRow("min") << "-2147483648" << qint64(-2147483648LL) << "";
    QTest::newRow("above 16 bits") << "40000" << qint64(40000) << "";
    QTest::newRow("max plus one") << "2147483648" << qint64(0) << "Overflow";
    QTest::newRow("max plus half") << "2147483647.5" << qint64(0) << "Overflow";
    QTest::newRow("min minus half") << "-2147483648.5" << qint64(-2147483648LL) << "";
    QTest::newRow("not a number") << "white" << qint64(0) << "Type mismatch";
    QTest::newRow("empty") << "" << qint64(0) << "Type mismatch";
}

void TestConvert::longColour() {
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    QFETCH(QString, failure);
    qint32 value = -1;
    QCOMPARE(failureOf([&] { value = toLong(text); }), failure);
    if (failure.isEmpty())
        QCOMPARE(qint64(value), expected);
}

void TestConvert::real_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<QString>("failure");
    QTest::newRow("one") << "1" << 1.0 << "";
    QTest::newRow("fraction") << " 0.25 " << 0.25 << "";
    QTest::newRow("negative") << "-3.5e-1" << -0.35 << "";
    QTest::newRow("large") << "1e308" << 1e308 << "";
    QTest::newRow("too large") << "1e309" << 0.0 << "Overflow";
    QTest::newRow("too large fraction") << "0.001e312" << 0.0 << "Overflow";
    QTest::newRow("underflow is zero") << "0.001e-400" << 0.0 << "";
    QTest::newRow("word") << "one" << 0.0 << "Type mismatch";
    QTest::newRow("empty") << "" << 0.0 << "Type mismatch";
}

void TestConvert::real() {
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(QString, failure);
    double value = std::nan("");
    QCOMPARE(failureOf([&] { value = toDouble(text); }), failure);
    if (failure.isEmpty())
        QCOMPARE(value, expected);
}

void TestConvert::independentOfLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::newRow("German") << "de_DE";
    QTest::newRow("French") << "fr_FR";
    QTest::newRow("Arabic (Egypt)") << "ar_EG";
}

// A user with a comma-decimal locale must read the same stored numbers as anyone else.
void TestConvert::independentOfLocale() {
    QFETCH(QString, locale);
    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    const std::string cName = std::setlocale(LC_NUMERIC, nullptr);
    const QByteArray wanted = locale.toLatin1() + ".UTF-8";
    const bool cLocaleSet = std::setlocale(LC_NUMERIC, wanted.constData()) != nullptr;
    if (!cLocaleSet)
        qInfo("LC_NUMERIC %s is not installed; only the Qt default locale is changed",
              wanted.constData());

    const QString half = failureOf([] { (void)toInteger(QStringLiteral("10.5")); });
    const qint16 size = half.isEmpty() ? toInteger(QStringLiteral("10.5")) : qint16(-1);
    const QString comma = failureOf([] { (void)toDouble(QStringLiteral("1,5")); });
    const QString grouped = failureOf([] { (void)toLong(QStringLiteral("16.777.215")); });
    const QString real = failureOf([] { (void)toDouble(QStringLiteral("0.25")); });
    const double quarter = real.isEmpty() ? toDouble(QStringLiteral("0.25")) : -1.0;

    std::setlocale(LC_NUMERIC, cName.c_str());
    QLocale::setDefault(previous);

    QCOMPARE(half, QString());
    QCOMPARE(int(size), 10);
    QCOMPARE(comma, QStringLiteral("Type mismatch"));
    QCOMPARE(grouped, QStringLiteral("Type mismatch"));
    QCOMPARE(quarter, 0.25);
}

// The FPU rounding mode belongs to the whole process, and code loaded into it (a plugin, a driver)
// can change it; a stored number and a place on the screen must round the same all the same.
void TestConvert::halvesGoToEvenWhateverTheRoundingMode() {
    const int before = std::fegetround();
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        QCOMPARE(std::fesetround(mode), 0);
        const int two = roundHalfEvenToInt(2.5);
        const int minusTwo = roundHalfEvenToInt(-2.5);
        const int four = roundHalfEvenToInt(3.5);
        const qint16 stored = toInteger(QStringLiteral("2.5"));
        const double fraction = roundHalfEven(-0.6);
        std::fesetround(before);
        QCOMPARE(two, 2);
        QCOMPARE(minusTwo, -2);
        QCOMPARE(four, 4);
        QCOMPARE(stored, qint16(2));
        QCOMPARE(fraction, -1.0);
    }
}

QTEST_APPLESS_MAIN(TestConvert)
#include "tst_convert.moc"
