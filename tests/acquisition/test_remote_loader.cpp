// The remote catalogue window: its form, the map page, the service
// addresses, logging in and out against a local identity service, and the
// close confirmation.

#include <filesystem>

#include <QDate>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QQuickWidget>
#include <QScrollArea>
#include <QSignalSpy>
#include <QUrl>

#include "acquisition/ServiceEndpoints.h"
#include "remote_loader_fixture.h"

namespace {

using namespace RemoteTest;

// The value of one field of an application/x-www-form-urlencoded body, read
// as a form decoder reads it ("+" is a blank).
QString formField(const QByteArray& body, const QByteArray& name)
{
    for (const QByteArray& pair : body.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (pair.left(equals) != name)
            continue;
        QByteArray value = pair.mid(equals + 1);
        value.replace('+', ' ');
        return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
    }
    return QStringLiteral("<missing>");
}

// ---------------------------------------------------------------------------
// Service addresses
// ---------------------------------------------------------------------------

TEST(ServiceEndpoints, VariablesReplaceTheCompiledHttpsDefaults)
{
    using ServiceEndpoints::Service;
    for (Service service : {Service::Identity, Service::Catalogue, Service::MapTile, Service::WmsGeodesy,
                            Service::WmsProxy}) {
        const QString variable = ServiceEndpoints::environmentVariable(service);
        EXPECT_TRUE(variable.startsWith("FENLARK_") && variable.endsWith("_URL")) << variable.toStdString();
        EXPECT_TRUE(ServiceEndpoints::defaultBase(service).startsWith("https://"));
        {
            ScopedEnvironment unset(variable.toLatin1().constData(), QString());
            EXPECT_EQ(ServiceEndpoints::base(service), ServiceEndpoints::defaultBase(service));
        }
        ScopedEnvironment local(variable.toLatin1().constData(), "http://127.0.0.1:4321/");
        EXPECT_EQ(ServiceEndpoints::base(service), "http://127.0.0.1:4321");
    }
    ScopedEnvironment catalogue("FENLARK_CATALOGUE_URL", "http://127.0.0.1:4321");
    EXPECT_EQ(ServiceEndpoints::url(Service::Catalogue, "/resto/x?a=1").toString(),
              "http://127.0.0.1:4321/resto/x?a=1");
    EXPECT_TRUE(ServiceEndpoints::defaultBase(Service::MapTile).contains("{z}/{x}/{y}"));
}

TEST(ServiceEndpoints, CredentialsGoOnlyToHttpsOrLoopback)
{
    const struct {
        const char* url;
        bool safe;
    } cases[] = {
        {"https://identity.example.org/token", true}, {"http://127.0.0.1:8080/token", true},
        {"http://127.3.4.5/token", true},            {"http://localhost:99/token", true},
        {"http://[::1]:99/token", true},             {"http://0.0.0.0:99/token", false},
        {"http://identity.example.org/token", false}, {"ftp://127.0.0.1/token", false},
        {"", false},                                 {"/relative/path", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServiceEndpoints::isSafeForCredentials(QUrl(c.url)), c.safe) << c.url;
}

// ---------------------------------------------------------------------------
// Login dialog
// ---------------------------------------------------------------------------

TEST(LoginDialog, LoginEmitsUserThenPasswordAndCancelEmitsNothing)
{
    LoginDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Copernicus Data Space Ecosystem Login");
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.passwordEdit->echoMode(), QLineEdit::Password);
    auto* information = dialog.findChild<QLabel*>("labelInformation");
    ASSERT_NE(information, nullptr);
    EXPECT_TRUE(information->text().startsWith(
        "Enter credential for access to Copernicus Data Space Ecosystem.\nFor registration visit https://"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->text(), "Login");

    QStringList received;
    QObject::connect(&dialog, &LoginDialog::acceptLogin, [&](QString& user, QString& password) {
        received = {user, password};
    });
    dialog.userNameEdit->setText("ada");
    dialog.passwordEdit->setText("pa ss");
    dialog.show();
    buttons->button(QDialogButtonBox::Cancel)->click();
    EXPECT_TRUE(received.isEmpty());
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(received, QStringList({"ada", "pa ss"}));
    EXPECT_FALSE(dialog.isVisible());
}

// ---------------------------------------------------------------------------
// Window and map page
// ---------------------------------------------------------------------------

TEST_F(RemoteWindow, OpensWithTheFormTodayAndAYearBackAndTheMapPage)
{
    QSettings().setValue("remoteLoader/downloadDirectory", "/data/products");
    window = std::make_unique<RemoteLoader>();
    const Ui::RemoteLoader& ui = *window->ui;

    EXPECT_EQ(window->windowTitle(), "Remote data manager");
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(ui.dateEditTo->date(), QDate::currentDate());
    EXPECT_EQ(ui.dateEditFrom->date(), QDate::currentDate().addYears(-1));
    EXPECT_EQ(ui.dateEditFrom->displayFormat(), "yyyy-MM-dd");
    EXPECT_EQ(ui.doubleSpinBoxCloudCover->value(), 20);
    ASSERT_EQ(ui.comboBoxProductType->count(), 3);
    EXPECT_EQ(ui.comboBoxProductType->itemText(1), "Level-2A/2Ap");
    EXPECT_EQ(ui.treeWidgetRemoteResults->headerItem()->text(1), "Title");
    EXPECT_EQ(ui.lineEditRemoteDirectory->text(), "/data/products");
    EXPECT_EQ(window->downloadDirectory, "/data/products");
    // Ready: Download enabled, Abort disabled, the bar at 0 of 1.
    EXPECT_TRUE(ui.pushButtonRemoteDownload->isEnabled());
    EXPECT_FALSE(ui.pushButtonRemoteDownAbort->isEnabled());
    EXPECT_EQ(ui.progressBarRemoteDownload->maximum(), 1);
    EXPECT_TRUE(ui.pushButtonRemoteFind->isEnabled());
    EXPECT_EQ(ui.pushButtonLogInOut->text(), "Log in");
    EXPECT_TRUE(ui.label_loggedInName->text().isEmpty());
    ASSERT_NE(ui.scrollAreaRemotePreview->widget(), nullptr);
    EXPECT_TRUE(ui.scrollAreaRemotePreview->widget()->isAncestorOf(window->thumbnailLabel));

    QQuickItem* page = window->mapPage();
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->property("rectangleSet").toBool());
    EXPECT_TRUE(page->property("firstCoordinate").isNull());
    EXPECT_DOUBLE_EQ(page->property("centerLatitude").toDouble(), 48.74371);
    EXPECT_DOUBLE_EQ(page->property("zoomLevel").toDouble(), 5);
}

TEST_F(RemoteWindow, EveryThirdRightClickStartsANewRectangle)
{
    window = std::make_unique<RemoteLoader>();
    QQuickWidget* map = window->ui->quickWidget;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QQuickItem* page = window->mapPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->width() > 100 && page->height() > 100; }, 2000));

    const QPoint centre(map->width() / 2, map->height() / 2);
    const QPoint corner = centre + QPoint(60, 40);
    QList<bool> states;
    for (const QPoint& at : {centre, corner, centre}) {
        QTest::mouseClick(map, Qt::RightButton, Qt::NoModifier, at);
        states.append(page->property("rectangleSet").toBool());
    }
    EXPECT_EQ(states, QList<bool>({false, true, false}));
    // A click in the middle of the untouched view is its centre; the second
    // corner lies south-east of it.
    EXPECT_NEAR(page->property("firstLatitude").toDouble(), 48.74371, 0.05);
    EXPECT_NEAR(page->property("firstLongitude").toDouble(), 18.91373, 0.05);
    EXPECT_LT(page->property("secondLatitude").toDouble(), 48.74371);
    EXPECT_GT(page->property("secondLongitude").toDouble(), 18.91373);
    EXPECT_FALSE(page->property("firstCoordinate").isNull());

    // A left drag pans the view; it marks nothing.
    QTest::mousePress(map, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(map, centre + QPoint(-80, 0));
    QTest::mouseRelease(map, Qt::LeftButton, Qt::NoModifier, centre + QPoint(-80, 0));
    EXPECT_GT(page->property("centerLongitude").toDouble(), 18.91373);
    EXPECT_FALSE(page->property("rectangleSet").toBool());
}

// The rectangle handed to the window lies in -180..180 and in the map's
// latitudes whatever copy of the world the corners were clicked on: both
// corners move together by whole turns, so the box stays the one drawn, and
// a box across the antimeridian keeps its larger side.
TEST_F(RemoteWindow, TheRectangleIsTheDrawnBoxInsideTheWorld)
{
    window = std::make_unique<RemoteLoader>();
    QQuickItem* page = window->mapPage();
    ASSERT_NE(page, nullptr);
    const double top = page->property("maximumLatitude").toDouble();
    ASSERT_NEAR(top, 85.0511, 1e-4);

    const struct {
        const char* name;
        double lat1, lon1, lat2, lon2; // as clicked
        double firstLatitude, firstLongitude, secondLatitude, secondLongitude; // as handed over
    } cases[] = {
        {"inside the world", 48, 18, 49, 19.5, 48, 18, 49, 19.5},
        {"one world east", 48, 378, 49, 379.5, 48, 18, 49, 19.5},
        {"corners reversed, one world east", 49, 379.5, 48, 378, 49, 19.5, 48, 18},
        {"two worlds west", 10, -700, 20, -690, 10, 20, 20, 30},
        {"zoom 1, far east", 40, 400, 50, 440, 40, 40, 50, 80},
        {"east of the antimeridian", 0, 190, 10, 200, 0, -170, 10, -160},
        {"across the antimeridian, mostly east", 0, 175, 10, 190, 0, -180, 10, -170},
        {"across the antimeridian, mostly west", 0, 170, 10, 185, 0, 170, 10, 180},
        {"wider than the world", 0, -300, 10, 300, 0, -180, 10, 180},
        {"beyond the map's poles", 89, 10, -89.9, 20, top, 10, -top, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, c.lat1), Q_ARG(QVariant, c.lon1));
        QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, c.lat2), Q_ARG(QVariant, c.lon2));
        ASSERT_TRUE(page->property("rectangleSet").toBool());
        EXPECT_NEAR(page->property("firstLatitude").toDouble(), c.firstLatitude, 1e-9);
        EXPECT_NEAR(page->property("firstLongitude").toDouble(), c.firstLongitude, 1e-9);
        EXPECT_NEAR(page->property("secondLatitude").toDouble(), c.secondLatitude, 1e-9);
        EXPECT_NEAR(page->property("secondLongitude").toDouble(), c.secondLongitude, 1e-9);
    }

    // A single corner is already inside the world.
    QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, 88.0), Q_ARG(QVariant, -250.0));
    EXPECT_FALSE(page->property("rectangleSet").toBool());
    EXPECT_NEAR(page->property("firstLatitude").toDouble(), top, 1e-9);
    EXPECT_NEAR(page->property("firstLongitude").toDouble(), 110, 1e-9);
}

// Right clicks on a copy of the world east of the antimeridian and above the
// map's edge: the window gets the box inside the world, and the marks stay
// where the user clicked.
TEST_F(RemoteWindow, RightClicksBeyondTheWorldsEdgesMarkTheBoxInsideIt)
{
    window = std::make_unique<RemoteLoader>();
    QQuickWidget* map = window->ui->quickWidget;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QQuickItem* page = window->mapPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->width() > 400 && page->height() > 300; }, 2000));
    page->setProperty("zoomLevel", 1.0);
    page->setProperty("centerLatitude", 80.0);
    page->setProperty("centerLongitude", 170.0);

    const QPoint centre(int(page->width() / 2), int(page->height() / 2));
    const QPoint first = centre + QPoint(100, -100);
    const QPoint second = centre + QPoint(180, -40);
    auto coordinateAt = [page](QPoint at) {
        QVariant coordinate;
        QMetaObject::invokeMethod(page, "coordinateAt", Q_RETURN_ARG(QVariant, coordinate), Q_ARG(QVariant, at.x()),
                                  Q_ARG(QVariant, at.y()));
        return coordinate.toMap();
    };
    const QVariantMap rawFirst = coordinateAt(first);
    const QVariantMap rawSecond = coordinateAt(second);
    ASSERT_GT(rawFirst["longitude"].toDouble(), 180);
    ASSERT_GT(rawFirst["latitude"].toDouble(), 85.06);

    QTest::mouseClick(map, Qt::RightButton, Qt::NoModifier, map->mapFromGlobal(page->mapToGlobal(first).toPoint()));
    QTest::mouseClick(map, Qt::RightButton, Qt::NoModifier, map->mapFromGlobal(page->mapToGlobal(second).toPoint()));
    ASSERT_TRUE(page->property("rectangleSet").toBool());
    const double top = page->property("maximumLatitude").toDouble();
    EXPECT_NEAR(page->property("firstLongitude").toDouble(), rawFirst["longitude"].toDouble() - 360, 1e-6);
    EXPECT_NEAR(page->property("secondLongitude").toDouble(), rawSecond["longitude"].toDouble() - 360, 1e-6);
    EXPECT_NEAR(page->property("firstLatitude").toDouble(), top, 1e-9);
    EXPECT_NEAR(page->property("secondLatitude").toDouble(),
                std::min(rawSecond["latitude"].toDouble(), top), 1e-9);

    // The marks are drawn where the clicks were (the box's top on the map's
    // edge, which lies below a click above it).
    QQuickItem* selection = page->findChild<QQuickItem*>("selection");
    QQuickItem* firstMarker = page->findChild<QQuickItem*>("firstMarker");
    ASSERT_NE(selection, nullptr);
    ASSERT_NE(firstMarker, nullptr);
    EXPECT_TRUE(selection->isVisible());
    EXPECT_NEAR(selection->x(), first.x(), 1.0);
    EXPECT_NEAR(selection->x() + selection->width(), second.x(), 1.0);
    EXPECT_NEAR(firstMarker->x() + firstMarker->width() / 2, first.x(), 1.0);

    // The search asks for that box.
    const QString url =
        window->searchUrl(page->property("firstLatitude").toDouble(), page->property("firstLongitude").toDouble(),
                          page->property("secondLatitude").toDouble(), page->property("secondLongitude").toDouble());
    const QStringList box = url.section("box=", 1).section('&', 0, 0).split(',');
    ASSERT_EQ(box.size(), 4);
    for (int i : {0, 2}) {
        EXPECT_GE(box[i].toDouble(), -180) << url.toStdString();
        EXPECT_LE(box[i].toDouble(), 180) << url.toStdString();
    }
    EXPECT_LE(box[3].toDouble(), 85.0512) << url.toStdString();
}

TEST_F(RemoteWindow, AMapPageThatDidNotLoadOnlyBlocksTheSearch)
{
    window = std::make_unique<RemoteLoader>();
    TestSupport::quietly([&] { window->ui->quickWidget->setSource(QUrl("qrc:/FenlarkApp/missing.qml")); });
    EXPECT_EQ(window->mapPage(), nullptr);
    window->ui->pushButtonRemoteFind->click();
    EXPECT_EQ(boxTexts(), QStringList({"Please select the area of the rectangle by clicking the right mouse button."}));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(RemoteWindow, ClosingAsksAndNoKeepsTheWindow)
{
    window = std::make_unique<RemoteLoader>();
    dialogs.answer = QMessageBox::No;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].title, "Close Confirmation");
    EXPECT_EQ(dialogs.requests[0].text, "Are you sure you want to close the window?");
    EXPECT_EQ(dialogs.requests[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(dialogs.requests[0].defaultButton, QMessageBox::NoButton);

    dialogs.answer = QMessageBox::Yes;
    EXPECT_TRUE(window->close());
}

// ---------------------------------------------------------------------------
// Login
// ---------------------------------------------------------------------------

TEST_F(RemoteWindow, StoredCredentialsLogInWithOnePasswordGrant)
{
    server.setHandler([](const FakeHttpServer::Request&) { return tokenResponse("tok-1"); });
    RemoteLoader& loader = openLoggedIn();

    EXPECT_EQ(dialogs.loginRequests, 0);
    const QList<FakeHttpServer::Request> sent = server.requests();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].target, tokenPath);
    EXPECT_EQ(sent[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(sent[0].body, "username=ada&password=secret&grant_type=password&client_id=cdse-public");

    EXPECT_EQ(loader.accessToken, "tok-1");
    EXPECT_EQ(loader.refreshToken, "refresh-tok-1");
    EXPECT_EQ(loader.ui->label_loggedInName->text(), "Logged in as : ada");
    EXPECT_EQ(loader.ui->pushButtonLogInOut->text(), "Log out");
    EXPECT_TRUE(loader.ui->pushButtonRemoteFind->isEnabled());
    EXPECT_TRUE(loader.ui->pushButtonRemoteDownload->isEnabled());

    // The store that now holds the password is readable by its owner only.
    const std::filesystem::path store = QSettings().fileName().toStdString();
    EXPECT_EQ(std::filesystem::status(store).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusPass").toString(), "secret");
}

TEST_F(RemoteWindow, EveryFormValueArrivesIntact)
{
    server.setHandler([](const FakeHttpServer::Request&) { return tokenResponse("tok"); });
    const QString user = QStringLiteral("ada+lovelace@example.org");
    const QString password = QStringLiteral("a+b&c=d%e f\u00e9");
    storeCredentials(user, password);
    window = std::make_unique<RemoteLoader>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requestCount() == 1; }, 5000));

    const QByteArray body = server.requests()[0].body;
    EXPECT_EQ(formField(body, "username"), user);
    EXPECT_EQ(formField(body, "password"), password);
    EXPECT_EQ(formField(body, "grant_type"), "password");
    EXPECT_EQ(formField(body, "client_id"), "cdse-public");
    EXPECT_FALSE(body.contains('+')) << body.toStdString();
}

TEST_F(RemoteWindow, ARefusedLoginShowsTheServiceDescriptionAndLogsOut)
{
    server.setHandler([](const FakeHttpServer::Request&) {
        return jsonResponse(R"({"error":"invalid_grant","error_description":"Invalid user credentials"})", 401);
    });
    storeCredentials("ada", "wrong");
    window = std::make_unique<RemoteLoader>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.requests.isEmpty(); }, 5000));

    EXPECT_EQ(dialogs.requests[0].text, "Unable to login: Invalid user credentials.");
    EXPECT_EQ(dialogs.requests[0].icon, 3);
    EXPECT_EQ(window->ui->label_loggedInName->text(), "Not logged in ");
    EXPECT_EQ(window->ui->pushButtonLogInOut->text(), "Log in");
    EXPECT_FALSE(window->ui->pushButtonRemoteFind->isEnabled());
    EXPECT_FALSE(window->ui->pushButtonRemoteDownload->isEnabled());
    EXPECT_TRUE(window->userName.isEmpty());
    EXPECT_TRUE(window->password.isEmpty());
    // This path keeps what was stored.
    EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusName").toString(), "ada");
}

// Replies that are not the identity service's JSON object clear the
// credentials in memory and leave the shown state and the store alone.
TEST_F(RemoteWindow, RepliesThatAreNotATokenObjectClearTheCredentialsOnly)
{
    const struct {
        const char* name;
        QByteArray contentType;
        QByteArray body;
        bool box; // a critical box with the reply's error text
    } cases[] = {
        {"charset parameter", "application/json; charset=utf-8", R"({"access_token":"t"})", true},
        {"html page", "text/html", "<html>maintenance</html>", true},
        {"array", "application/json", "[1, 2]", false},
        {"bad json", "application/json", "{\"access_token\":", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.setHandler([&c](const FakeHttpServer::Request&) {
            FakeHttpServer::Response response;
            response.contentType = c.contentType;
            response.body = c.body;
            return response;
        });
        storeCredentials("ada", "secret");
        dialogs.requests.clear();
        const int before = server.requestCount();
        window = std::make_unique<RemoteLoader>();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->userName.isEmpty(); }, 5000));
        EXPECT_EQ(server.requestCount(), before + 1);
        EXPECT_EQ(dialogs.requests.size(), c.box ? 1 : 0);
        if (c.box && !dialogs.requests.isEmpty())
            EXPECT_EQ(dialogs.requests[0].icon, 3);
        EXPECT_TRUE(window->password.isEmpty());
        EXPECT_TRUE(window->accessToken.isEmpty());
        EXPECT_TRUE(window->ui->label_loggedInName->text().isEmpty());
        EXPECT_TRUE(window->ui->pushButtonRemoteFind->isEnabled());
        EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusPass").toString(), "secret");
        window.reset();
    }
}

TEST_F(RemoteWindow, LogOutRemovesExactlyTheTwoCredentialKeys)
{
    server.setHandler([](const FakeHttpServer::Request&) { return tokenResponse("tok-1"); });
    RemoteLoader& loader = openLoggedIn();
    loader.ui->pushButtonLogInOut->click();

    QSettings settings;
    EXPECT_FALSE(settings.contains("remoteLoader/newCopernicusName"));
    EXPECT_FALSE(settings.contains("remoteLoader/newCopernicusPass"));
    EXPECT_EQ(settings.value("remoteLoader/downloadDirectory").toString(), folderPath());
    EXPECT_TRUE(loader.userName.isEmpty());
    EXPECT_TRUE(loader.accessToken.isEmpty());
    EXPECT_EQ(loader.ui->label_loggedInName->text(), "Not logged in ");
    EXPECT_EQ(loader.ui->pushButtonLogInOut->text(), "Log in");
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(RemoteWindow, FirstStartCancelSendsNothingAndTheButtonThenAsksAgain)
{
    window = std::make_unique<RemoteLoader>();
    EXPECT_EQ(dialogs.loginRequests, 1);
    QTest::qWait(100);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_TRUE(window->ui->label_loggedInName->text().isEmpty());

    // The button asks again and sends whatever it has, here after a login.
    server.setHandler([](const FakeHttpServer::Request&) { return tokenResponse("tok-9"); });
    dialogs.loginAnswer = LoginAnswer{"bob", "pw"};
    window->ui->pushButtonLogInOut->click();
    EXPECT_EQ(dialogs.loginRequests, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->accessToken == "tok-9"; }, 5000));
    EXPECT_EQ(server.requests()[0].body, "username=bob&password=pw&grant_type=password&client_id=cdse-public");
    EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusName").toString(), "bob");
    EXPECT_EQ(window->ui->label_loggedInName->text(), "Logged in as : bob");
}

TEST_F(RemoteWindow, AStoredNameWithoutPasswordAsksAndSendsOnlyWithBoth)
{
    storeCredentials("ada", "");
    window = std::make_unique<RemoteLoader>();
    EXPECT_EQ(dialogs.loginRequests, 1);
    QTest::qWait(100);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(window->userName, "ada");
}

TEST_F(RemoteWindow, CredentialsAreNotSentToAPlainRemoteAddress)
{
    // 0.0.0.0 reaches this machine, so a leak would show up at the server.
    ScopedEnvironment identity("FENLARK_IDENTITY_URL", QStringLiteral("http://0.0.0.0:%1").arg(server.port()));
    server.setHandler([](const FakeHttpServer::Request&) { return tokenResponse("tok"); });
    storeCredentials("ada", "secret");
    window = std::make_unique<RemoteLoader>();
    QTest::qWait(200);
    EXPECT_EQ(server.requestCount(), 0);
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].icon, 3);
    EXPECT_TRUE(dialogs.requests[0].text.contains("0.0.0.0")) << dialogs.requests[0].text.toStdString();
    EXPECT_TRUE(window->accessToken.isEmpty());
}

} // namespace
