#include "acquisition/LoginDialog.h"

#include <utility>

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "acquisition/ServiceEndpoints.h"

namespace {

LoginDialogHandler& installedHandler()
{
    static LoginDialogHandler handler;
    return handler;
}

} // namespace

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Copernicus Data Space Ecosystem Login"));
    setModal(true);

    auto* layout = new QGridLayout(this);

    auto* information = new QLabel(this);
    information->setObjectName(QStringLiteral("labelInformation"));
    information->setTextInteractionFlags(Qt::TextSelectableByMouse);
    information->setText(tr("Enter credential for access to Copernicus Data Space Ecosystem.") + QLatin1Char('\n')
                         + tr("For registration visit ") + ServiceEndpoints::registrationPage());
    layout->addWidget(information, 0, 0, 1, 2);

    auto* userLabel = new QLabel(tr("Username"), this);
    userNameEdit = new QLineEdit(this);
    userNameEdit->setObjectName(QStringLiteral("lineEditUserName"));
    userLabel->setBuddy(userNameEdit);
    layout->addWidget(userLabel, 1, 0);
    layout->addWidget(userNameEdit, 1, 1);

    auto* passwordLabel = new QLabel(tr("Password"), this);
    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("lineEditPassword"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(passwordEdit);
    layout->addWidget(passwordLabel, 2, 0);
    layout->addWidget(passwordEdit, 2, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Login"));
    layout->addWidget(buttons, 3, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &LoginDialog::slotAcceptLogin);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void LoginDialog::slotAcceptLogin()
{
    QString userName = userNameEdit->text();
    QString password = passwordEdit->text();
    emit acceptLogin(userName, password);
    accept();
}

LoginDialogHandler setLoginDialogHandler(LoginDialogHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

LoginDialogHandler loginDialogHandler()
{
    return installedHandler();
}
