#pragma once

// Answers every dialog of a window test through the dialog seam and keeps
// what was asked.

#include <optional>

#include <QList>
#include <QStringList>

#include "acquisition/LoginDialog.h"
#include "app/WidgetUtils.h"

namespace ShellTest {

// Answers every dialog: file dialogs with the queued answers (then as
// cancelled), questions with `answer`, whole numbers with integerAnswer (no
// value: cancelled), text inputs with the queued textAnswers (then as
// cancelled); keeps every request.
class Dialogs {
public:
    Dialogs()
        : messages_([this](const MessageBoxRequest& request) {
            requests.append(request);
            return answer;
        })
        , files_([this](const FileDialogRequest& request) {
            fileRequests.append(request);
            return fileAnswers.isEmpty() ? QStringList() : fileAnswers.takeFirst();
        })
        , integers_([this](const IntegerInputRequest& request) {
            integerRequests.append(request);
            return integerAnswer;
        })
        , texts_([this](const TextInputRequest& request) {
            textRequests.append(request);
            return textAnswers.isEmpty() ? std::optional<QString>() : textAnswers.takeFirst();
        })
        , login_([this](QWidget*) {
            ++loginRequests;
            return loginAnswer;
        })
    {
    }

    // The texts of the plain messages, in order.
    QStringList messageTexts() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : requests) {
            if (request.kind == MessageBoxRequest::Kind::Message)
                out.append(request.text);
        }
        return out;
    }

    QList<MessageBoxRequest> requests;
    QList<FileDialogRequest> fileRequests;
    QList<QStringList> fileAnswers;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QList<IntegerInputRequest> integerRequests;
    std::optional<int> integerAnswer;
    // One-line text inputs take the queued answers in order (no value:
    // cancelled), then are cancelled.
    QList<TextInputRequest> textRequests;
    QList<std::optional<QString>> textAnswers;
    // The remote catalogue window's login dialog: answered with loginAnswer
    // (no value: cancelled).
    int loginRequests = 0;
    std::optional<LoginAnswer> loginAnswer;

private:
    ScopedMessageBoxHandler messages_;
    ScopedFileDialogHandler files_;
    ScopedIntegerInputHandler integers_;
    ScopedTextInputHandler texts_;
    ScopedLoginDialogHandler login_;
};

} // namespace ShellTest
