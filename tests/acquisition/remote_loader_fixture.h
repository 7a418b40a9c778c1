#pragma once

// The remote catalogue window against a local server that stands in for the
// catalogue service's identity, search, thumbnail and download endpoints.

#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QCheckBox>
#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QSettings>
#include <QString>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "acquisition/LoginDialog.h"
#include "acquisition/RemoteLoader.h"
#include "app/test_dialogs.h"
#include "forms/RemoteLoaderForm.h"
#include "support/FakeHttpServer.h"
#include "support/TestSupport.h"

namespace RemoteTest {

inline const QByteArray tokenPath = "/auth/realms/CDSE/protocol/openid-connect/token";
inline const QByteArray searchPath = "/resto/api/collections/Sentinel2/search.json";

// Sets an environment variable for its lifetime, then restores it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QString& value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , previous_(qgetenv(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnvironment()
    {
        if (had_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray previous_;
};

// A token reply of the identity service.
inline FakeHttpServer::Response tokenResponse(const QString& token)
{
    QJsonObject answer{{"access_token", token}, {"refresh_token", "refresh-" + token}, {"expires_in", 600}};
    return jsonResponse(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

// One catalogue feature; its title ends in ".SAFE", so the window shows
// "P<number>".
inline QJsonObject feature(const QString& base, int number, bool withThumbnail = true)
{
    QJsonObject properties{
        {"title", QStringLiteral("P%1.SAFE").arg(number)},
        {"status", "ONLINE"},
        {"startDate", "2024-05-01T10:00:31.024Z"},
        {"completionDate", "2024-05-01T10:00:31.024Z"},
        {"processingLevel", "S2MSI2A"},
        {"snowCover", 0},
        {"cloudCover", 12.3456789},
        {"services",
         QJsonObject{{"download", QJsonObject{{"url", base + QStringLiteral("/download/%1").arg(number)}}}}},
    };
    if (withThumbnail)
        properties.insert("thumbnail", base + QStringLiteral("/thumb/%1.jpg").arg(number));
    return QJsonObject{{"type", "Feature"}, {"properties", properties}};
}

// A search page of the given features, with a "next" link when next is not
// empty.
inline QByteArray cataloguePage(const QJsonArray& features, const QString& next = {})
{
    QJsonArray links{QJsonObject{{"rel", "self"}, {"href", "ignored"}}};
    if (!next.isEmpty())
        links.append(QJsonObject{{"rel", "next"}, {"href", next}});
    QJsonObject page{{"type", "FeatureCollection"}, {"features", features},
                     {"properties", QJsonObject{{"links", links}}}};
    return QJsonDocument(page).toJson(QJsonDocument::Compact);
}

// A search page of the features first .. first + count - 1 of the server at
// base.
inline QByteArray cataloguePage(const QString& base, int first, int count, const QString& next = {})
{
    QJsonArray features;
    for (int i = 0; i < count; ++i)
        features.append(feature(base, first + i));
    return cataloguePage(features, next);
}

// Everything a window test needs: the local server as the identity service
// and the catalogue, answered dialogs (the login dialog included: cancelled
// unless dialogs.loginAnswer says otherwise), a fresh
// download folder and a settings store without the window's keys.
class RemoteWindow : public testing::Test {
protected:
    RemoteWindow()
        : identity_("FENLARK_IDENTITY_URL", server.baseUrl())
        , catalogue_("FENLARK_CATALOGUE_URL", server.baseUrl())
    {
        QSettings().remove("remoteLoader");
    }

    ~RemoteWindow() override
    {
        window.reset();
        QSettings().remove("remoteLoader");
    }

    static void storeCredentials(const QString& user, const QString& password)
    {
        QSettings settings;
        settings.setValue("remoteLoader/newCopernicusName", user);
        settings.setValue("remoteLoader/newCopernicusPass", password);
        settings.sync();
    }

    QString folderPath() const { return QString::fromStdString(folder.path().string()); }

    // A window with stored credentials, logged in with token "tok-1".
    RemoteLoader& openLoggedIn()
    {
        QSettings().setValue("remoteLoader/downloadDirectory", folderPath());
        storeCredentials("ada", "secret");
        window = std::make_unique<RemoteLoader>();
        window->transferTimeout = 5000;
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window->accessToken.isEmpty(); }, 5000));
        return *window;
    }

    // Marks a rectangle on the map page as two right clicks would.
    void markRectangle(double lat1, double lon1, double lat2, double lon2)
    {
        QQuickItem* page = window->mapPage();
        ASSERT_NE(page, nullptr);
        QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, lat1), Q_ARG(QVariant, lon1));
        QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, lat2), Q_ARG(QVariant, lon2));
        ASSERT_TRUE(page->property("rectangleSet").toBool());
    }

    QTreeWidget* results() const { return window->ui->treeWidgetRemoteResults; }

    QStringList resultTitles() const
    {
        QStringList out;
        for (int row = 0; row < results()->topLevelItemCount(); ++row)
            out.append(results()->topLevelItem(row)->text(1));
        return out;
    }

    QCheckBox* rowBox(int row) const
    {
        return qobject_cast<QCheckBox*>(results()->itemWidget(results()->topLevelItem(row), 0));
    }

    // Texts of the message-like boxes, in order.
    QStringList boxTexts() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : dialogs.requests)
            out.append(request.text);
        return out;
    }

    FakeHttpServer server;
    ShellTest::Dialogs dialogs;
    TestSupport::TempDir folder;
    std::unique_ptr<RemoteLoader> window;

private:
    ScopedEnvironment identity_;
    ScopedEnvironment catalogue_;
};

// The window against a local stand-in of the whole service: the identity
// endpoint issues "tok-1", "tok-2", ... (optionally after a delay); search
// pages, thumbnails and products are answered by the test's functions, which
// run on the server's thread.
class RemoteService : public RemoteWindow {
protected:
    using Request = FakeHttpServer::Request;
    using Response = FakeHttpServer::Response;
    using PageAnswer = std::function<Response(int page, const Request&)>;
    using ProductAnswer = std::function<Response(int product, const Request&)>;

    RemoteService()
        : state_(std::make_shared<State>())
    {
        server.setHandler([state = state_](const Request& request) { return route(*state, request); });
    }

    ~RemoteService() override { window.reset(); }

    // Every setter takes effect for the requests that arrive after it.
    void answerPages(PageAnswer answer)
    {
        std::lock_guard lock(state_->mutex);
        state_->pages = std::move(answer);
    }
    void answerProducts(ProductAnswer answer)
    {
        std::lock_guard lock(state_->mutex);
        state_->products = std::move(answer);
    }
    void answerThumbnails(std::function<Response(const Request&)> answer)
    {
        std::lock_guard lock(state_->mutex);
        state_->thumbnails = std::move(answer);
    }
    void delayTokens(int milliseconds)
    {
        std::lock_guard lock(state_->mutex);
        state_->tokenDelayMs = milliseconds;
    }
    // Token request `number` (counted from 1 over the test) gets `response`
    // instead of a token.
    void failTokenRequest(int number, Response response)
    {
        std::lock_guard lock(state_->mutex);
        state_->tokenFailures.insert(number, std::move(response));
    }
    int tokensIssued() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->tokens;
    }
    // A search page's number from its "page" query item (1 when none).
    static int pageNumber(const Request& request)
    {
        const QList<QByteArray> items = request.target.mid(request.target.indexOf('?') + 1).split('&');
        for (const QByteArray& item : items) {
            if (item.startsWith("page="))
                return item.mid(5).toInt();
        }
        return 1;
    }

    static QString pageUrl(const QString& base, int page)
    {
        return base + QString::fromLatin1(searchPath) + QStringLiteral("?page=%1").arg(page);
    }

    // Pages of `sizes` features, numbered on from 0 across the pages.
    PageAnswer pagesOf(QList<int> sizes) const
    {
        return [base = server.baseUrl(), sizes](int page, const Request&) {
            int first = 0;
            for (int p = 1; p < page; ++p)
                first += sizes.value(p - 1);
            const QString next = page < sizes.size() ? pageUrl(base, page + 1) : QString();
            return jsonResponse(cataloguePage(base, first, sizes.value(page - 1), next));
        };
    }

    // Marks a rectangle and clicks Find; returns when the search has ended.
    void find()
    {
        markRectangle(48.0, 18.0, 49.0, 19.5);
        window->ui->pushButtonRemoteFind->click();
    }

    // A logged-in window whose results hold `count` products on one page.
    RemoteLoader& openWithResults(int count)
    {
        answerPages(pagesOf({count}));
        openLoggedIn();
        find();
        EXPECT_EQ(results()->topLevelItemCount(), count);
        return *window;
    }

    void check(std::initializer_list<int> rows)
    {
        for (int row : rows)
            rowBox(row)->setChecked(true);
    }

    bool isReady() const
    {
        return window->ui->pushButtonRemoteDownload->isEnabled() && !window->ui->pushButtonRemoteDownAbort->isEnabled()
               && !window->downloader.isRunning();
    }

    QStringList folderEntries() const
    {
        return QDir(folderPath()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private:
    struct State {
        std::mutex mutex;
        int tokens = 0;
        int tokenRequests = 0;
        int tokenDelayMs = 0;
        QHash<int, Response> tokenFailures; // token request number -> answer
        PageAnswer pages;
        ProductAnswer products;
        std::function<Response(const Request&)> thumbnails;
    };

    static Response route(State& state, const Request& request)
    {
        const QByteArray path = request.path();
        std::unique_lock lock(state.mutex);
        if (path == tokenPath) {
            if (const auto failure = state.tokenFailures.constFind(++state.tokenRequests);
                failure != state.tokenFailures.constEnd())
                return *failure;
            const QString token = QStringLiteral("tok-%1").arg(++state.tokens);
            Response response = tokenResponse(token);
            response.delayMs = state.tokenDelayMs;
            return response;
        }
        if (path == searchPath && state.pages) {
            const PageAnswer answer = state.pages;
            lock.unlock();
            return answer(pageNumber(request), request);
        }
        if (path.startsWith("/download/") && state.products) {
            const ProductAnswer answer = state.products;
            lock.unlock();
            return answer(path.mid(10).toInt(), request);
        }
        if (path.startsWith("/thumb/") && state.thumbnails) {
            const auto answer = state.thumbnails;
            lock.unlock();
            return answer(request);
        }
        Response missing;
        missing.status = 404;
        return missing;
    }

    std::shared_ptr<State> state_;
};

} // namespace RemoteTest
