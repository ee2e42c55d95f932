#pragma once

#include "app/UserInterface.h"
#include "cli/CliOptions.h"

#include <QString>

// The user-interaction port of the command line. Nothing waits for a person: messages and
// errors go to stderr, questions are answered No (scripts must not block on a question nobody
// sees), and the overwrite prompt takes the choice given by --overwrite, --resume or --skip.
class TerminalUserInterface : public UserInterface {
public:
    explicit TerminalUserInterface(CliOptions::Existing existing) : m_existing(existing) {}

    void showMessage(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askText(const QString &caption, const QString &label, QString &text, bool masked) override;
    void showBugWindow(const QString &siteId, const QString &message) override;
    void showErrorWindow(const QString &message, const QString &details) override;
    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override;

    // The last error or message shown, for the item that caused it; taking it clears it.
    QString takeLastError();
    // Whether the last overwrite answer was Skip; taking it clears it.
    bool takeSkipped();

    // Reads a password from the terminal with echo off. False when there is no terminal.
    static bool readPassword(const QString &prompt, QString &password);
    // One line on stderr; passwords masked as in the log.
    static void printError(const QString &text);

private:
    CliOptions::Existing m_existing;
    QString m_lastError;
    bool m_skipped = false;
};
