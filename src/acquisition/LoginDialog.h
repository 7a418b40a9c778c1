#pragma once

// The login dialog of the remote catalogue window: user name and password of
// the catalogue service's account.
//
// Owner and modality: the remote window creates it as its child and runs it
// modally. Like the shell's dialogs it goes through a replaceable handler,
// so a test answers it instead of a user.

#include <functional>
#include <optional>

#include <QDialog>
#include <QString>

#include "app/WidgetUtils.h"

class QLineEdit;

class LoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);

    QLineEdit* userNameEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;

signals:
    // User name first.
    void acceptLogin(QString& userName, QString& password);

public slots:
    // Emits acceptLogin with the two edits' texts, then closes the dialog.
    void slotAcceptLogin();
};

// What the user entered in the login dialog.
struct LoginAnswer {
    QString userName;
    QString password;
};

// Receives every login request (the parent the dialog would have) and returns
// the answer; no value means the user cancelled.
using LoginDialogHandler = std::function<std::optional<LoginAnswer>(QWidget* parent)>;

// Installs a handler; an empty function restores the real dialog. Returns
// the handler installed before.
LoginDialogHandler setLoginDialogHandler(LoginDialogHandler handler);

// The installed handler, empty when the real dialog is shown.
LoginDialogHandler loginDialogHandler();

using ScopedLoginDialogHandler = ScopedDialogHandler<LoginDialogHandler, &setLoginDialogHandler>;
