#pragma once

#include <QLabel>
#include <QString>

namespace nimbrel {

// A label that is never left visible and exists for its height. It does not wrap:
// its height is one line of its font for every CR LF separated line of its text (an empty text
// still counts as one line), so it is exactly as tall as the drawing tick's lines in that font.
// The height follows every change of text or font; the width stays where the layout puts it.
class MeasuringLabel : public QLabel {
    Q_OBJECT
public:
    explicit MeasuringLabel(QWidget* parent = nullptr);

    void setMeasuredText(const QString& text);
    // The height the given text takes in the label's font.
    int heightFor(const QString& text) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitHeight();
};

} // namespace nimbrel
