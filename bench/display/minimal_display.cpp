// The least a full-screen weather display can do: five fixed lines in Arial 72 pt bold, white
// on black, centred on the screen and repainted in full every second. No settings, no network,
// no keep-awake. scripts/measure-display measures it beside the real display.
#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

class MinimalDisplay : public QWidget {
public:
    MinimalDisplay() {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        QFont face(QStringLiteral("Arial"), 72);
        face.setBold(true);
        setFont(face);
        const QString degree = QStringLiteral("\u00B0");
        m_lines = {QStringLiteral("San Diego"),
                   QStringLiteral("Current Temperature: 68 ") + degree + QLatin1Char('F'),
                   QStringLiteral("Clear Sky"),
                   QStringLiteral("Low: 63 ") + degree + QLatin1Char('F'),
                   QStringLiteral("High: 73 ") + degree + QLatin1Char('F')};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        painter.setPen(Qt::white);
        const QFontMetrics metrics = fontMetrics();
        int top = (height() - int(m_lines.size()) * metrics.lineSpacing()) / 2;
        for (const QString& line : std::as_const(m_lines)) {
            const int x = (width() - metrics.horizontalAdvance(line)) / 2;
            painter.drawText(QPoint(x, top + metrics.ascent()), line);
            top += metrics.lineSpacing();
        }
    }

private:
    QStringList m_lines;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    MinimalDisplay display;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        display.setGeometry(screen->geometry());
    display.showFullScreen();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &display, [&display] { display.update(); });
    tick.start(1000);
    return QApplication::exec();
}
