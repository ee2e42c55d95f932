#pragma once

#include "app/UserInterface.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

// The user-interaction port for tests: records everything shown and answers from scripts.
class RecordingUserInterface : public UserInterface {
public:
    struct TextAnswer {
        bool accept = true;
        QString text;
    };

    void showMessage(const QString &text) override { messages.append(text); }
    bool confirm(const QString &text) override
    {
        questions.append(text);
        if (confirmAnswers.empty())
            return false;
        const bool answer = confirmAnswers.front();
        confirmAnswers.pop_front();
        return answer;
    }
    bool askText(const QString &caption, const QString &label, QString &text, bool masked) override
    {
        textPrompts.append(caption + QLatin1Char('|') + label + (masked ? QStringLiteral("|masked") : QString()));
        if (textAnswers.empty())
            return false;
        const TextAnswer answer = textAnswers.front();
        textAnswers.pop_front();
        if (answer.accept)
            text = answer.text;
        return answer.accept;
    }
    void showBugWindow(const QString &siteId, const QString &message) override
    {
        bugs.append(siteId + QLatin1Char(':') + message);
    }

    // Without a scripted answer the prompt takes its default, as its countdown would.
    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override
    {
        overwriteQuestions.push_back(question);
        if (onOverwrite)
            onOverwrite();
        if (overwriteAnswers.empty())
            return {question.defaultChoice, false};
        const OverwriteAnswer answer = overwriteAnswers.front();
        overwriteAnswers.pop_front();
        return answer;
    }

    bool openWithDesktop(const QString &file) override
    {
        opened.append(file);
        if (onOpen)
            onOpen(file);
        return desktopOpens;
    }
    bool startProgram(const QString &program, const QStringList &arguments, const QString &workingFolder) override
    {
        started.push_back({program, arguments, workingFolder});
        return programStarts;
    }
    bool pickLocalFolder(const QString &start, QString &chosen) override
    {
        folderPickerStarts.append(start);
        if (pickedFolder.isEmpty())
            return false;
        chosen = pickedFolder;
        return true;
    }
    bool pickLocalFile(const QString &caption, const QString &start, QString &chosen) override
    {
        filePickerStarts.append(caption + QLatin1Char('|') + start);
        if (pickedFile.isEmpty())
            return false;
        chosen = pickedFile;
        return true;
    }
    bool pickRemoteFolder(const QStringList &folders, const QString &current, QString &chosen) override
    {
        remotePickerFolders = folders;
        remotePickerCurrent = current;
        if (pickedFolder.isEmpty())
            return false;
        chosen = pickedFolder;
        return true;
    }
    bool askCompareFolders(const QString &lFolder, const QString &rFolder, bool &ignoreSize) override
    {
        compareQuestions.append(lFolder + QLatin1Char('|') + rFolder);
        if (compareIgnoreSize)
            ignoreSize = *compareIgnoreSize;
        return compareAccept;
    }
    bool askPermissions(QString &code) override
    {
        permissionCodesShown.append(code);
        if (!permissionAnswer)
            return false;
        code = *permissionAnswer;
        return true;
    }

    // The Synchronize window: answered by the script (which fills `shown`), else cancelled.
    bool askSynchronize(SyncQuestion &question) override { return onSynchronize ? onSynchronize(question) : false; }

    CertificateChoice askCertificate(const CertificateQuestion &question) override
    {
        certificateQuestions.push_back(question);
        if (certificateAnswers.empty())
            return CertificateChoice::Cancel;
        const CertificateChoice answer = certificateAnswers.front();
        certificateAnswers.pop_front();
        return answer;
    }

    CertificateChoice askHostKey(const HostKeyQuestion &question) override
    {
        hostKeyQuestions.push_back(question);
        if (hostKeyAnswers.empty())
            return CertificateChoice::Cancel;
        const CertificateChoice answer = hostKeyAnswers.front();
        hostKeyAnswers.pop_front();
        return answer;
    }

    struct StartedProgram {
        QString program;
        QStringList arguments;
        QString workingFolder;
    };
    // Files handed to the desktop, programs started; whether those succeed.
    QStringList opened;
    std::vector<StartedProgram> started;
    bool desktopOpens = true;
    // Runs when a file is handed to the desktop: tests play the editor here.
    std::function<void(const QString &file)> onOpen;
    bool programStarts = true;
    // Both folder pickers answer with this folder; empty cancels.
    QString pickedFolder;
    QStringList folderPickerStarts, remotePickerFolders;
    // The file picker answers with this file; empty cancels. Its calls: "caption|start".
    QString pickedFile;
    QStringList filePickerStarts;
    QString remotePickerCurrent;
    QStringList compareQuestions;
    std::optional<bool> compareIgnoreSize;
    bool compareAccept = true;
    QStringList permissionCodesShown;
    std::optional<QString> permissionAnswer;
    std::function<bool(SyncQuestion &)> onSynchronize;
    std::vector<CertificateQuestion> certificateQuestions;
    std::vector<HostKeyQuestion> hostKeyQuestions;
    // Taken in order; Cancel when none is left.
    std::deque<CertificateChoice> hostKeyAnswers;
    // Taken in order; Cancel when none is left.
    std::deque<CertificateChoice> certificateAnswers;

    QStringList messages, questions, textPrompts, bugs;
    std::deque<bool> confirmAnswers;
    std::deque<TextAnswer> textAnswers;
    std::vector<OverwriteQuestion> overwriteQuestions;
    std::deque<OverwriteAnswer> overwriteAnswers;
    // Runs while the prompt is "open": tests use it to change the world meanwhile.
    std::function<void()> onOverwrite;
};
