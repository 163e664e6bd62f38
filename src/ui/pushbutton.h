#pragma once

#include <QAbstractButton>

namespace nimbrel {

// The push button every window uses: caption in "Arial" 11.25 pt bold, the system button-text
// colour on white, a doubled ampersand shown as one and no access key. It raises clicked() and
// mouseMoved() (the hover rules switch the window's pointer on it).
class PushButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PushButton(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    // The caption as drawn ("&&" shown as "&").
    QString displayedCaption() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void mouseMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString m_caption;
};

} // namespace nimbrel
