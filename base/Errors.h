#pragma once

#include <QString>

#include <exception>
#include <string>

// Base of every error the program raises itself. Guards catch this class (and
// std::exception) and turn it into a bug report; failed FTP operations are not
// errors of this kind, they travel as codes in request-done events.
class KestrinError : public std::exception {
public:
    explicit KestrinError(QString message) : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// A file that could not be read or written where the caller must know about it.
class FileError : public KestrinError {
public:
    using KestrinError::KestrinError;
};
