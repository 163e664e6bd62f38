#pragma once

#include "forms.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace nimbrel {

class PushButton;

// The API key window: how to get a key, the key box (stored on every change) and the key test.
// Reached from the settings window, which comes back whichever way this window is left.
class KeyWindow : public Form {
    Q_OBJECT
public:
    static inline const QString kSignInPage =
        QStringLiteral("https://home.openweathermap.org/users/sign_in/");
    static inline const QString kApiKeyArticle =
        QStringLiteral("https://en.wikipedia.org/wiki/Application_programming_interface_key");

    static inline const QString kKeyCorrect =
        QStringLiteral("Your API Key is correct and ready to work.");
    static inline const QString kKeyNotCorrect = QStringLiteral("Your API Key is not correct.");
    static inline const QString kKeyNotTested = QStringLiteral(
        "Your API Key could not be tested because the weather service did not answer.");
    // Followed by the service's own message, or the reply's status line when it has none.
    static inline const QString kKeyNotJudged =
        QStringLiteral("Your API Key could not be tested because the weather service answered: ");

    KeyWindow();

    void onLoad() override;
    void onUnload() override;

    void Text1_Change();
    void Text1_GotFocus(Qt::FocusReason reason);
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton6_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* Frame1;
    QLabel* Label2;
    PushButton* PushButton1;
    QGroupBox* Frame3;
    PushButton* PushButton2;
    QGroupBox* Frame2;
    QLineEdit* Text1;
    PushButton* PushButton3;
    PushButton* PushButton6;
};

} // namespace nimbrel
