#include "testsupport.h"

#include "settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace nimbrel::test {

MessageRecorder::MessageRecorder() {
    setMessageSink(this);
}

MessageRecorder::~MessageRecorder() {
    setMessageSink(nullptr);
    dismissModeless();
}

void MessageRecorder::show(const Message& message) {
    messages.append(message);
    if (whileShown)
        whileShown(message);
}

QObject* MessageRecorder::showModeless(const Message& message) {
    messages.append(message);
    ++modelessShown;
    auto* box = new QObject;
    m_modeless.append(box);
    return box;
}

int MessageRecorder::modelessOnScreen() const {
    return int(std::count_if(m_modeless.cbegin(), m_modeless.cend(),
                             [](const QPointer<QObject>& box) { return !box.isNull(); }));
}

void MessageRecorder::dismissModeless() {
    for (const QPointer<QObject>& box : std::as_const(m_modeless))
        delete box.data();
    m_modeless.clear();
}

TempSettings::TempSettings() {
    setSettingsFileForTesting(path());
}

TempSettings::~TempSettings() {
    setSettingsFileForTesting(QString());
}

FailingStore::FailingStore() {
    setSettingsFileForTesting(path());
}

FailingStore::~FailingStore() {
    setSettingsFileForTesting(QString());
}

QString FailingStore::path() const {
    return m_dir.filePath(QStringLiteral("config/Corvane.ini"));
}

void FailingStore::fail() const {
    const QString folder = m_dir.filePath(QStringLiteral("config"));
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    if (!blocker.open(QIODevice::WriteOnly))
        qFatal("cannot block the store's folder");
}

void FailingStore::recover() const {
    QFile::remove(m_dir.filePath(QStringLiteral("config")));
}

QString TempSettings::path() const {
    return m_dir.filePath(QStringLiteral("Corvane.ini"));
}

// Read with QSettings rather than the store's own reader, so that tests see the file as another
// program would and a fault of the reader cannot hide one of the writer. QSettings matches keys
// case-sensitively, so two spellings of one key show as two entries.
QMap<QString, QString> TempSettings::entries() const {
    QMap<QString, QString> result;
    QSettings file(path(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Nimbrel"));
    const QStringList keys = file.childKeys();
    for (const QString& key : keys)
        result.insert(key, file.value(key).toString());
    return result;
}

void TempSettings::writeRaw(const QByteArray& content) const {
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path()));
}

void sendMouseMove(QWidget* target) {
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), target->mapToGlobal(QPointF(2, 2)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

PaintCounter::PaintCounter(QWidget* watched) : QObject(watched) {
    watched->installEventFilter(this);
}

bool PaintCounter::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::Paint)
        ++paints;
    return false;
}

} // namespace nimbrel::test
