// Getting products into the main window: from a local folder of product zips
// (the tile picked on the map, the dates and the level filtered, the checked
// archive loaded), and from the remote catalogue served by a local test
// server (log in, search, download two products through a failed token
// renewal, open what arrived). Each road ends on the image the main window
// shows: the bright discs the writer put into the product.

#include <algorithm>
#include <cmath>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>

#include "acquisition/LocalLoader.h"
#include "acquisition/LocalLoaderMapPicker.h"
#include "acquisition/MapPickerTiles.h"
#include "acquisition/remote_loader_fixture.h"
#include "forms/LocalLoaderForm.h"
#include "road2_support.h"
#include "viewers/ViewerWidget.h"

namespace {

namespace fs = std::filesystem;

// The shapes product of a tile and sensing time.
Sample::ProductSpec shapes(const std::string& sensing)
{
    Sample::ProductSpec spec;
    spec.scene = Sample::Scene::Shapes;
    spec.sensingTime = sensing;
    return spec;
}

class GettingData : public Road2::RoadShell {
protected:
    // The shown image is the product's scene: the centre of every disc the
    // writer drew is brighter, in each channel, than the ground around it
    // (points 3 px outside the disc, away from every other shape and from
    // the no-data corner).
    void expectDiscsShown(const Sample::ProductSpec& spec)
    {
        UI::ViewerWidget* main = wholeWorkingWindow();
        ASSERT_FALSE(main->isEmpty());
        ASSERT_EQ(main->origin, QPoint(0, 0));
        const std::vector<Sample::SceneDisc> discs = Sample::sceneDiscs(spec.size);
        const Sample::SceneRectangle rectangle = Sample::sceneRectangle(spec.size);
        ASSERT_FALSE(discs.empty());
        auto ground = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= main->image->width() || y >= main->image->height())
                return false;
            if (x < Sample::kNoDataCorner && y < Sample::kNoDataCorner)
                return false;
            if (x >= rectangle.x0 - 2 && x <= rectangle.x1 + 1 && y >= rectangle.y0 - 2 && y <= rectangle.y1 + 1)
                return false;
            for (const Sample::SceneDisc& disc : discs)
                if (std::hypot(x + 0.5 - disc.centerX, y + 0.5 - disc.centerY) < disc.radius + 2.0)
                    return false;
            return true;
        };
        for (const Sample::SceneDisc& disc : discs) {
            SCOPED_TRACE(testing::Message() << "disc at " << disc.centerX << ", " << disc.centerY);
            const QColor centre(main->image->pixel(static_cast<int>(disc.centerX), static_cast<int>(disc.centerY)));
            const int darkest = std::min({centre.red(), centre.green(), centre.blue()});
            int around = 0;
            for (int k = 0; k < 8; ++k) {
                const double angle = k * M_PI / 4.0;
                const int x = static_cast<int>(std::floor(disc.centerX + (disc.radius + 3.0) * std::cos(angle)));
                const int y = static_cast<int>(std::floor(disc.centerY + (disc.radius + 3.0) * std::sin(angle)));
                if (!ground(x, y))
                    continue;
                const QColor outside(main->image->pixel(x, y));
                EXPECT_GT(darkest, std::max({outside.red(), outside.green(), outside.blue()})) << x << ", " << y;
                ++around;
            }
            EXPECT_GE(around, 3);
        }
    }
};

// The picture position of a tile of the map picker's first area.
QPoint tileOnTheMap(const char* name)
{
    for (int number = 1; number <= MapPicker::tileCount; ++number) {
        const MapPickerTile& tile = *MapPicker::tile(number);
        if (tile.area == 0 && QString::fromLatin1(tile.name) == QLatin1String(name))
            return {(tile.xFrom + tile.xTo) / 2, (tile.yFrom + tile.yTo) / 2};
    }
    ADD_FAILURE() << "no tile " << name << " on the first map";
    return {};
}

void mouseOn(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

TEST_F(GettingData, ALocalArchiveChosenByTileDateAndLevelOpensInTheMainWindow)
{
    // The folder: the wanted product among others of another year, another
    // tile and another level (copies named as such products are).
    const Sample::ProductSpec wanted = shapes("20230601T095031");
    const fs::path archive = folder.path() / "archive";
    fs::create_directories(archive / "2023" / "june");
    fs::create_directories(archive / "2022");
    const fs::path wantedPath = archive / "2023" / "june" / (Sample::productName(wanted) + ".zip");
    fs::copy_file(product(wanted).toStdString(), wantedPath);
    const std::string others[] = {
        "2022/S2A_MSIL2A_20220601T095031_N0509_R079_T33UXP_20220601T121212.zip",
        "2023/S2B_MSIL2A_20230605T095031_N0509_R079_T34UCV_20230605T121212.zip",
        "2023/S2B_MSIL1C_20230610T095031_N0509_R079_T33UXP_20230610T121212.zip",
    };
    for (const std::string& other : others)
        fs::copy_file(wantedPath, archive / other);

    // No folder stored: the window asks for one.
    QSettings().remove("localLoader/workingDirectory");
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(archive.string())});
    window->ui->actionLocal_Loader->trigger();
    QPointer<LocalLoader> loader = window->localLoader;
    ASSERT_TRUE(loader);
    ASSERT_EQ(loader->products.size(), 4);

    // The tile on the map, the dates, the level, Apply.
    const QPoint tile = tileOnTheMap("33UXP");
    mouseOn(loader->mapPicker, QEvent::MouseMove, tile, Qt::NoButton, Qt::NoButton);
    mouseOn(loader->mapPicker, QEvent::MouseButtonPress, tile, Qt::LeftButton, Qt::LeftButton);
    mouseOn(loader->mapPicker, QEvent::MouseButtonRelease, tile, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(loader->ui->labelSelectedArea->text(), "33UXP");
    loader->ui->dateEditFrom->setDate(QDate(2023, 1, 1));
    loader->ui->dateEditTo->setDate(QDate(2023, 12, 31));
    Road2::chooseEntry(loader->ui->comboBoxProductType, "Level-2A/2Ap");
    ASSERT_EQ(loader->ui->comboBoxProductType->currentText(), "Level-2A/2Ap");
    QTest::mouseClick(loader->ui->pushButtonFilterApply, Qt::LeftButton);

    QTreeWidget* results = loader->ui->treeWidgetLocalResults;
    ASSERT_EQ(results->topLevelItemCount(), 1);
    EXPECT_EQ(results->topLevelItem(0)->text(1), QString::fromStdString(Sample::productName(wanted)));
    auto* box = qobject_cast<QCheckBox*>(results->itemWidget(results->topLevelItem(0), 0));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());

    // Load: the real task runner opens it, the window closes (asked, Yes).
    Jp2ZipTest::quietly([&] { QTest::mouseClick(loader->ui->pushButtonLocalLoad, Qt::LeftButton); });
    EXPECT_TRUE(loader.isNull() || !loader->isVisible());
    ASSERT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(window->dataFiles[0]->name, Sample::productName(wanted));
    EXPECT_EQ(window->dataFiles[0]->directory, wantedPath.parent_path().string());
    EXPECT_EQ(window->ui->leftDataIndex, 0);
    expectDiscsShown(wanted);
}

using RemoteTest::ScopedEnvironment;
using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

// The catalogue service on 127.0.0.1: tokens "tok-1", "tok-2", ... (the
// third request refused), a search page of the products, and each product's
// zip.
class Catalogue {
public:
    explicit Catalogue(QList<QByteArray> zips)
        : zips_(std::move(zips))
    {
        server.setHandler([this](const Request& request) { return answer(request); });
    }

    QJsonArray features(const QStringList& titles) const
    {
        QJsonArray out;
        for (int k = 0; k < titles.size(); ++k) {
            QJsonObject feature = RemoteTest::feature(server.baseUrl(), k, false);
            QJsonObject properties = feature.value("properties").toObject();
            properties.insert("title", titles[k] + ".SAFE");
            feature.insert("properties", properties);
            out.append(feature);
        }
        return out;
    }

    void setPage(QByteArray page) { page_ = std::move(page); }

    int downloadsOf(int product) const
    {
        return static_cast<int>(server.requests("/download/" + QByteArray::number(product)).size());
    }

    FakeHttpServer server;

private:
    Response answer(const Request& request)
    {
        const QByteArray path = request.path();
        if (path == RemoteTest::tokenPath) {
            if (++tokenRequests_ == 3)
                return jsonResponse(R"({"error":"invalid_grant","error_description":"Session not active"})", 400);
            return RemoteTest::tokenResponse(QStringLiteral("tok-%1").arg(tokenRequests_.load()));
        }
        if (path == RemoteTest::searchPath)
            return jsonResponse(page_);
        if (path.startsWith("/download/")) {
            const int number = path.mid(10).toInt();
            Response response;
            response.contentType = "application/zip";
            response.body = zips_.value(number);
            response.status = number < zips_.size() ? 200 : 404;
            return response;
        }
        Response missing;
        missing.status = 404;
        return missing;
    }

    QList<QByteArray> zips_;
    QByteArray page_;  // set before the search; read on the server's thread afterwards
    std::atomic<int> tokenRequests_{0};
};

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST_F(GettingData, RemoteProductsAreFoundDownloadedThroughAFailedRenewalAndOpened)
{
    const Sample::ProductSpec first = shapes("20230601T095031");
    const Sample::ProductSpec second = shapes("20230611T095031");
    const QList<QByteArray> zips{bytesOf(product(first)), bytesOf(product(second))};
    const QStringList titles{QString::fromStdString(Sample::productName(first)),
                             QString::fromStdString(Sample::productName(second))};
    Catalogue catalogue(zips);
    catalogue.setPage(RemoteTest::cataloguePage(catalogue.features(titles)));
    const ScopedEnvironment identity("FENLARK_IDENTITY_URL", catalogue.server.baseUrl());
    const ScopedEnvironment service("FENLARK_CATALOGUE_URL", catalogue.server.baseUrl());
    QSettings().remove("remoteLoader");
    const fs::path downloads = folder.path() / "downloads";
    fs::create_directories(downloads);

    window->ui->actionRemote_Data_Manager->trigger();
    QPointer<RemoteLoader> remote = Road2::shownTopLevel<RemoteLoader>();
    ASSERT_TRUE(remote);
    remote->transferTimeout = 10000;

    // Log in.
    dialogs.loginAnswer = LoginAnswer{"ada", "secret"};
    QTest::mouseClick(remote->ui->pushButtonLogInOut, Qt::LeftButton);
    ASSERT_TRUE(Road2::waitFor([&] { return !remote->accessToken.isEmpty(); }));
    EXPECT_EQ(remote->ui->pushButtonLogInOut->text(), "Log out");

    // The download folder, a rectangle on the map page, Find.
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(downloads.string())});
    QTest::mouseClick(remote->ui->toolButtonRemoteChangeDir, Qt::LeftButton);
    ASSERT_EQ(remote->downloadDirectory, QString::fromStdString(downloads.string()));
    QQuickItem* page = remote->mapPage();
    ASSERT_NE(page, nullptr);
    QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, 48.5), Q_ARG(QVariant, 14.9));
    QMetaObject::invokeMethod(page, "captureCoordinate", Q_ARG(QVariant, 48.8), Q_ARG(QVariant, 15.3));
    QTest::mouseClick(remote->ui->pushButtonRemoteFind, Qt::LeftButton);
    QTreeWidget* results = remote->ui->treeWidgetRemoteResults;
    ASSERT_TRUE(Road2::waitFor([&] { return results->topLevelItemCount() == 2; }));
    ASSERT_EQ(catalogue.server.requests(RemoteTest::searchPath).size(), 1);
    EXPECT_EQ(results->topLevelItem(0)->text(1), titles[0]);
    EXPECT_EQ(results->topLevelItem(1)->text(1), titles[1]);

    // Both checked, Download: the first arrives, the renewal before the
    // second is refused; the user is told and stays logged in.
    auto box = [&](int row) { return qobject_cast<QCheckBox*>(results->itemWidget(results->topLevelItem(row), 0)); };
    QTest::mouseClick(box(0), Qt::LeftButton);
    QTest::mouseClick(box(1), Qt::LeftButton);
    ASSERT_TRUE(box(0)->isChecked() && box(1)->isChecked());
    auto ready = [&] {
        return remote->ui->pushButtonRemoteDownload->isEnabled() && !remote->ui->pushButtonRemoteDownAbort->isEnabled()
               && !remote->downloader.isRunning();
    };
    QTest::mouseClick(remote->ui->pushButtonRemoteDownload, Qt::LeftButton);
    ASSERT_TRUE(Road2::waitFor([&] { return !dialogs.requests.isEmpty() && ready(); }, 20000));
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_TRUE(dialogs.requests[0].text.startsWith("The access token could not be renewed"))
        << dialogs.requests[0].text.toStdString();
    EXPECT_EQ(remote->ui->pushButtonLogInOut->text(), "Log out");
    const QString firstPath = QString::fromStdString((downloads / (Sample::productName(first) + ".zip")).string());
    const QString secondPath = QString::fromStdString((downloads / (Sample::productName(second) + ".zip")).string());
    EXPECT_EQ(bytesOf(firstPath), zips[0]);
    EXPECT_FALSE(QFile::exists(secondPath));

    // What arrived unchecked, Download again: the second alone, once.
    QTest::mouseClick(box(0), Qt::LeftButton);
    QTest::mouseClick(remote->ui->pushButtonRemoteDownload, Qt::LeftButton);
    ASSERT_TRUE(Road2::waitFor([&] { return QFile::exists(secondPath) && ready(); }, 20000));
    EXPECT_EQ(bytesOf(secondPath), zips[1]);
    EXPECT_EQ(catalogue.downloadsOf(0), 1);
    EXPECT_EQ(catalogue.downloadsOf(1), 1);
    EXPECT_EQ(QDir(QString::fromStdString(downloads.string())).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no part files left";
    EXPECT_EQ(dialogs.requests.size(), 1);
    remote->close();

    // The downloaded product opens in the main window and shows its scene.
    open({secondPath});
    ASSERT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(window->dataFiles[0]->name, Sample::productName(second));
    expectDiscsShown(second);
}

} // namespace
