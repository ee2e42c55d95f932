#pragma once

#include "app/UserInterface.h"

#include <QStringList>

#include <deque>

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

    QStringList messages, questions, textPrompts, bugs;
    std::deque<bool> confirmAnswers;
    std::deque<TextAnswer> textAnswers;
};
