// The remote catalogue window's search: the query, the pages of an answer
// and how a search ends (complete, failed, unreadable, stalled, cancelled),
// the result rows, the details and the thumbnail of the current row.

#include <memory>

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressDialog>
#include <QPushButton>
#include <QSslError>
#include <QTimer>

#include "remote_loader_fixture.h"

namespace {

using namespace RemoteTest;

// Runs act once `ready` holds, polling from the event loop (the search's
// busy dialog runs one while Find waits).
void whenReady(std::function<bool()> ready, std::function<void()> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
        if (!ready())
            return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start();
}

QByteArray jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

class RemoteSearch : public RemoteService {
protected:
    QList<FakeHttpServer::Request> searchRequests() const { return server.requests(searchPath); }

    QStringList infoRows() const
    {
        QStringList out;
        QTreeWidget* tree = window->ui->treeWidgetRemoteFileinfo;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out.append(tree->topLevelItem(row)->text(0) + "=" + tree->topLevelItem(row)->text(1));
        return out;
    }
};

TEST_F(RemoteSearch, TheQueryIsBuiltFromTheCornersAndTheForm)
{
    window = std::make_unique<RemoteLoader>();
    Ui::RemoteLoader& ui = *window->ui;
    ui.dateEditFrom->setDate(QDate(2024, 1, 2));
    ui.dateEditTo->setDate(QDate(2024, 12, 31));
    const QString tail = "&maxRecords=100&status=ONLINE&sortParam=startDate&sortOrder=ascending";
    const QString dates = "&startDate=2024-01-02T00:00:00.000Z&completionDate=2024-12-31T23:59:59.999Z";

    const struct {
        const char* name;
        double lat1, lon1, lat2, lon2;
        int type;
        double cloud;
        QString query;
    } cases[] = {
        {"corners as drawn", 48.7437149, 18.9137, 49.5, 19.25, 0, 20,
         "box=18.9137,48.7437,19.25,49.5" + dates + "&cloudCover=[0,20]" + tail},
        {"corners reversed", 49.5, 19.25, 48.7437149, 18.9137, 0, 20,
         "box=18.9137,48.7437,19.25,49.5" + dates + "&cloudCover=[0,20]" + tail},
        {"level 2A, clear sky", 48.5, 18.0, 49.0, 18.5, 1, 0,
         "box=18,48.5,18.5,49" + dates + "&productType=S2MSI2A&cloudCover=[0,0]" + tail},
        {"level 1C, west and south", -33.8688197, -151.2092955, -33.5, -150.0, 2, 37.5,
         "box=-151.209,-33.8688,-150,-33.5" + dates + "&productType=S2MSI1C&cloudCover=[0,37.5]" + tail},
    };
    const QString prefix = server.baseUrl() + "/resto/api/collections/Sentinel2/search.json?";
    for (const auto& c : cases) {
        ui.comboBoxProductType->setCurrentIndex(c.type);
        ui.doubleSpinBoxCloudCover->setValue(c.cloud);
        EXPECT_EQ(window->searchUrl(c.lat1, c.lon1, c.lat2, c.lon2), prefix + c.query) << c.name;
    }
}

TEST_F(RemoteSearch, TheServerReceivesTheQueryAsBuilt)
{
    answerPages(pagesOf({0}));
    window = std::make_unique<RemoteLoader>();
    markRectangle(48.7437149, 18.9137, 49.5, 19.25);
    const QString url = window->searchUrl(48.7437149, 18.9137, 49.5, 19.25);
    window->ui->pushButtonRemoteFind->click();
    ASSERT_EQ(searchRequests().size(), 1);
    EXPECT_EQ(window->ui->groupBoxResults->title(), "0 Results found");
    const QByteArray sent = QByteArray::fromPercentEncoding(searchRequests()[0].target);
    EXPECT_EQ(server.baseUrl().toUtf8() + sent, url.toUtf8());
}

TEST_F(RemoteSearch, WithoutARectangleNothingIsSent)
{
    window = std::make_unique<RemoteLoader>();
    window->ui->pushButtonRemoteFind->click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].text, "Please select the area of the rectangle by clicking the right mouse button.");
    EXPECT_EQ(dialogs.requests[0].icon, 2);
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(RemoteSearch, EveryPageIsFetchedAndEachRowIsItsFeature)
{
    const struct {
        const char* name;
        QList<int> sizes;
        int row;
        int id; // 100 x page + feature
    } cases[] = {
        {"full pages", {100, 100, 50}, 130, 130},
        // A short page before the last: row 170 is feature 10 of page 3.
        {"short page before the last", {100, 60, 100}, 170, 210},
        {"last row after a short page", {100, 60, 100}, 259, 299},
    };
    window = std::make_unique<RemoteLoader>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answerPages(pagesOf(c.sizes));
        const int before = int(searchRequests().size());
        find();
        int total = 0;
        for (int size : c.sizes)
            total += size;
        EXPECT_EQ(int(searchRequests().size()) - before, c.sizes.size());
        EXPECT_TRUE(window->busyDialog.isNull());
        ASSERT_EQ(results()->topLevelItemCount(), total);
        EXPECT_EQ(window->ui->groupBoxResults->title(), QString("%1 Results found").arg(total));
        EXPECT_EQ(resultTitles().first(), "P0");
        EXPECT_EQ(resultTitles().last(), QString("P%1").arg(total - 1));
        EXPECT_EQ(rowBox(c.row)->property("id").toInt(), c.id);
        EXPECT_FALSE(rowBox(c.row)->isChecked());
        EXPECT_LE(rowBox(c.row)->maximumWidth(), 20);

        results()->setCurrentItem(results()->topLevelItem(c.row));
        EXPECT_TRUE(infoRows().contains(QString("title=P%1.SAFE").arg(c.row))) << infoRows().join(", ").toStdString();
    }
}

// Pages that end the search early: the message, and the rows of the pages
// that did arrive.
TEST_F(RemoteSearch, AnUnusablePageEndsTheSearchAndKeepsWhatArrived)
{
    using Response = FakeHttpServer::Response;
    auto htmlAt = [](int status) {
        Response response;
        response.status = status;
        response.contentType = "text/html";
        response.body = "<html><body>Busy</body></html>";
        return response;
    };
    const struct {
        const char* name;
        Response second; // the answer for page 2
        int rows;
        QString message; // empty: the reply's own error text
        int icon;
    } cases[] = {
        {"server error", htmlAt(500), 100, QString(), 3},
        {"html page", htmlAt(200), 100, "The catalogue answered with a page that is not JSON (text/html).", 2},
        {"bad json", jsonResponse("{\"features\": ["), 100, "The catalogue answered with a page that cannot be read.",
         2},
        {"not an object", jsonResponse("[]"), 100, "The catalogue answered with a page that cannot be read.", 2},
    };
    window = std::make_unique<RemoteLoader>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PageAnswer full = pagesOf({100, 100, 100});
        const Response second = c.second;
        answerPages([full, second](int page, const Request& request) {
            return page == 2 ? second : full(page, request);
        });
        dialogs.requests.clear();
        const int before = int(searchRequests().size());
        TestSupport::quietly([&] { find(); });
        // Nothing is asked for again: the search is over.
        QTest::qWait(50);
        EXPECT_EQ(int(searchRequests().size()) - before, 2);
        EXPECT_TRUE(window->busyDialog.isNull());
        EXPECT_EQ(results()->topLevelItemCount(), c.rows);
        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].icon, c.icon);
        if (c.message.isEmpty())
            EXPECT_TRUE(dialogs.requests[0].text.contains("Internal Server Error"))
                << dialogs.requests[0].text.toStdString();
        else
            EXPECT_EQ(dialogs.requests[0].text, c.message);
    }
}

TEST_F(RemoteSearch, AFirstPageThatCannotBeReadFindsNothing)
{
    answerPages([](int, const Request&) { return jsonResponse("not json at all"); });
    window = std::make_unique<RemoteLoader>();
    TestSupport::quietly([&] { find(); });
    EXPECT_EQ(boxTexts(), QStringList({"No result find"}));
    EXPECT_EQ(results()->topLevelItemCount(), 0);
}

TEST_F(RemoteSearch, ACharsetParameterIsStillAJsonPage)
{
    const PageAnswer pages = pagesOf({30});
    answerPages([pages](int page, const Request& request) {
        FakeHttpServer::Response response = pages(page, request);
        response.contentType = "application/json; charset=utf-8";
        return response;
    });
    window = std::make_unique<RemoteLoader>();
    find();
    EXPECT_TRUE(boxTexts().isEmpty());
    EXPECT_EQ(results()->topLevelItemCount(), 30);
}

TEST_F(RemoteSearch, AStalledServerIsGivenUpAfterTheTransferTimeout)
{
    answerPages([](int, const Request&) {
        FakeHttpServer::Response response;
        response.stall = true;
        return response;
    });
    window = std::make_unique<RemoteLoader>();
    window->transferTimeout = 300;
    QElapsedTimer clock;
    clock.start();
    find();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(window->busyDialog.isNull());
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].icon, 3);
}

TEST_F(RemoteSearch, CancelListsThePagesReceivedSoFarAndTheNextSearchStartsClean)
{
    const PageAnswer pages = pagesOf({100, 100});
    answerPages([pages](int page, const Request& request) {
        FakeHttpServer::Response response = pages(page, request);
        response.stall = page == 2;
        return response;
    });
    window = std::make_unique<RemoteLoader>();
    whenReady([this] { return window->busyDialog && searchRequests().size() == 2; },
              [this] {
                  QPushButton* cancel = window->busyDialog->findChild<QPushButton*>();
                  ASSERT_NE(cancel, nullptr);
                  EXPECT_EQ(cancel->text(), "Cancel");
                  cancel->click();
              });
    find();
    EXPECT_EQ(results()->topLevelItemCount(), 100);
    EXPECT_EQ(window->ui->groupBoxResults->title(), "100 Results found");
    EXPECT_TRUE(dialogs.requests.isEmpty());

    answerPages(pagesOf({7}));
    find();
    QTest::qWait(100);
    EXPECT_EQ(results()->topLevelItemCount(), 7);
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(RemoteSearch, DetailsAndThumbnailOfTheCurrentRow)
{
    const QString base = server.baseUrl();
    QJsonArray features{feature(base, 0), feature(base, 1, false), feature(base, 2)};
    const QByteArray page = cataloguePage(features);
    answerPages([page](int, const Request&) { return jsonResponse(page); });
    const QByteArray picture = jpeg(500, 250);
    answerThumbnails([picture](const Request& request) {
        FakeHttpServer::Response response;
        response.contentType = "image/jpeg";
        // Thumbnail 2 is not a picture at all.
        response.body = request.path() == "/thumb/2.jpg" ? QByteArray("GIF89a garbage") : picture;
        return response;
    });
    window = std::make_unique<RemoteLoader>();
    find();
    ASSERT_EQ(results()->topLevelItemCount(), 3);

    results()->setCurrentItem(results()->topLevelItem(0));
    EXPECT_EQ(infoRows(), QStringList({"Status=ONLINE", "title=P0.SAFE", "startDate=2024-05-01T10:00:31.024Z",
                                       "completionDate=2024-05-01T10:00:31.024Z", "processingLevel=S2MSI2A",
                                       "snowCover=0", "cloudCover=12.3457"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->thumbnailLabel->pixmap().isNull(); }, 5000));
    EXPECT_EQ(window->thumbnailLabel->pixmap().size(), QSize(250, 125));
    EXPECT_EQ(window->thumbnailData, picture);
    EXPECT_EQ(server.requests("/thumb/").size(), 1);

    // Without a thumbnail nothing is asked for and the preview is empty.
    results()->setCurrentItem(results()->topLevelItem(1));
    QTest::qWait(100);
    EXPECT_EQ(server.requests("/thumb/").size(), 1);
    EXPECT_TRUE(window->thumbnailLabel->pixmap().isNull());
    EXPECT_TRUE(infoRows().contains("title=P1.SAFE"));

    // A body that is no JPEG leaves the preview empty.
    results()->setCurrentItem(results()->topLevelItem(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests("/thumb/").size() == 2; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->thumbnailData.startsWith("GIF89a"); }, 5000));
    EXPECT_TRUE(window->thumbnailLabel->pixmap().isNull());
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(RemoteSearch, SslErrorsAreShownJoined)
{
    window = std::make_unique<RemoteLoader>();
    const QList<QSslError> errors{QSslError(QSslError::CertificateExpired), QSslError(QSslError::HostNameMismatch)};
    window->sslErrors(errors);
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].text, errors[0].errorString() + errors[1].errorString());
    EXPECT_EQ(dialogs.requests[0].icon, 3);
}

} // namespace
