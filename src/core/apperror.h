#pragma once

#include <QString>
#include <exception>

namespace nimbrel {

// A failure of one step. The description is what the user reads in the error report, so it is
// short plain English in the style of the platform's own messages.
class AppError : public std::exception {
public:
    explicit AppError(QString description);
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

    static AppError typeMismatch();
    static AppError overflow();
    static AppError invalidPropertyValue();
    static AppError fileNotFound();

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace nimbrel
