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
    // A new key is refused until the service has activated it, which can take a couple of hours.
    static inline const QString kKeyNotCorrect = QStringLiteral(
        "Your API Key is not correct. A key made in the last two hours may not be active yet.");
    static inline const QString kKeyNotTested = QStringLiteral(
        "Your API Key could not be tested because the weather service did not answer.");
    // Followed by the service's own message, or the reply's status line when it has none.
    static inline const QString kKeyNotJudged =
        QStringLiteral("Your API Key could not be tested because the weather service answered: ");

    KeyWindow();

    void onLoad() override;
    void onUnload() override;

    void keyChanged();
    void keyBoxFocused(Qt::FocusReason reason);
    void openSignInPage();
    void openApiKeyArticle();
    void testKey();
    void returnToSettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* m_howToFrame;
    QLabel* m_howToLabel;
    PushButton* m_signInButton;
    QGroupBox* m_moreInfoFrame;
    PushButton* m_articleButton;
    QGroupBox* m_keyFrame;
    QLineEdit* m_keyEdit;
    PushButton* m_testKeyButton;
    PushButton* m_okButton;
};

} // namespace nimbrel
