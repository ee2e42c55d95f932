#pragma once

#include "app/UserInterface.h"

#include <QStringList>

#include <deque>
#include <functional>
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

    QStringList messages, questions, textPrompts, bugs;
    std::deque<bool> confirmAnswers;
    std::deque<TextAnswer> textAnswers;
    std::vector<OverwriteQuestion> overwriteQuestions;
    std::deque<OverwriteAnswer> overwriteAnswers;
    // Runs while the prompt is "open": tests use it to change the world meanwhile.
    std::function<void()> onOverwrite;
};
