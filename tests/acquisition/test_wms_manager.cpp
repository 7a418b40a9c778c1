// The WMS download dialog against a local map service: the GetMap requests of
// the five services, images and world files in "tmp", what a refused or
// failed request leaves (nothing) and how the dialog returns to idle, the
// choice of service, area and sizes, and closing.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>

#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "acquisition/FileDownloaderWms.h"
#include "acquisition/WmsManager.h"
#include "forms/WmsManagerForm.h"
#include "io/test_kml_locale.h"
#include "remote_loader_fixture.h"
#include "support/FileSizeLimit.h"

namespace {

using Request = FakeHttpServer::Request;
using Response = FakeHttpServer::Response;

// What each service's requests carry and what its images are.
struct ServiceCase {
    int index;
    const char* path;
    const char* layers;
    const char* format;
    const char* extension;
};

const ServiceCase serviceCases[] = {
    {0, "/zbgis_ortofoto_wms/service.svc/get", "1", "image/png", ".png"},
    {1, "/mapproxy/service/get", "vm_I", "image/jpeg", ".jpg"},
    {2, "/mapproxy/service/get", "vm_II", "image/jpeg", ".jpg"},
    {3, "/mapproxy/service/get", "vm_III", "image/jpeg", ".jpg"},
    {4, "/hm_III_vm/service.svc/get", "1", "image/png", ".png"},
};

QByteArray serviceException(const QByteArray& text)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<ServiceExceptionReport version=\"1.3.0\" xmlns=\"http://www.opengis.net/ogc\">\n"
           "  <ServiceException code=\"InvalidParameterValue\">"
           + text + "</ServiceException>\n</ServiceExceptionReport>\n";
}

Response exceptionResponse(const QByteArray& text)
{
    Response response;
    response.contentType = "text/xml";
    response.body = serviceException(text);
    return response;
}

QByteArray encodedImage(int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 60));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A map service as strict as a real one: a request it does not understand
// gets a ServiceExceptionReport with status 200 saying why; a good one gets
// an image of exactly WIDTH x HEIGHT in the service's format.
Response answerGetMap(const Request& request)
{
    const ServiceCase* service = nullptr;
    const QByteArray query = request.target.mid(request.target.indexOf('?') + 1);
    QHash<QByteArray, QByteArray> items;
    int emptyItems = 0;
    const QList<QByteArray> parts = query.split('&');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i].isEmpty()) {
            ++emptyItems;
            // The one empty item sits right before STYLES.
            if (i + 1 >= parts.size() || !parts[i + 1].startsWith("STYLES="))
                return exceptionResponse("unexpected empty item");
            continue;
        }
        const qsizetype equals = parts[i].indexOf('=');
        items.insert(parts[i].left(equals), parts[i].mid(equals + 1));
    }
    for (const ServiceCase& candidate : serviceCases) {
        if (request.path() == candidate.path && items.value("LAYERS") == candidate.layers)
            service = &candidate;
    }
    if (!service)
        return exceptionResponse("LayerNotDefined");
    if (service->path == QByteArray("/mapproxy/service/get") && items.value("service") != "wms")
        return exceptionResponse("service missing");
    if (emptyItems > 1)
        return exceptionResponse("more than one empty item");
    const std::pair<const char*, const char*> fixedItems[] = {{"FORMAT", service->format},
                                                              {"STYLES", "default"},
                                                              {"VERSION", "1.3.0"},
                                                              {"REQUEST", "GetMap"},
                                                              {"CRS", "EPSG:5514"}};
    for (const auto& [key, value] : fixedItems) {
        if (items.value(key) != value)
            return exceptionResponse("bad " + QByteArray(key) + ": " + items.value(key));
    }
    const QList<QByteArray> box = items.value("BBOX").split(',');
    static const QRegularExpression sixDecimals(QStringLiteral("^-?\\d+\\.\\d{6}$"));
    if (box.size() != 4)
        return exceptionResponse("bad BBOX");
    for (const QByteArray& value : box) {
        if (!sixDecimals.match(QString::fromLatin1(value)).hasMatch())
            return exceptionResponse("bad BBOX value " + value);
    }
    if (!(box[0].toDouble() < box[2].toDouble()) || !(box[1].toDouble() < box[3].toDouble()))
        return exceptionResponse("empty BBOX");
    static const QRegularExpression integer(QStringLiteral("^[1-9]\\d*$"));
    for (const char* key : {"WIDTH", "HEIGHT"}) {
        if (!integer.match(QString::fromLatin1(items.value(key))).hasMatch())
            return exceptionResponse("bad " + QByteArray(key));
    }
    const bool png = service->format == QByteArray("image/png");
    Response response;
    // Parameters of the content type say nothing about the body.
    response.contentType = png ? "image/png" : "image/jpeg; mode=24bit";
    response.body = encodedImage(items.value("WIDTH").toInt(), items.value("HEIGHT").toInt(), png ? "PNG" : "JPEG");
    return response;
}

// How the service answers the requests that arrive after it is set.
enum class Answer { GetMap, Exception, HtmlAsPng, Status500, Status202, Drop, Stall };

class WmsDialog : public testing::Test {
protected:
    WmsDialog()
        : answer_(std::make_shared<std::atomic<Answer>>(Answer::GetMap))
        , geodesy_("FENLARK_WMS_GEODESY_URL", server.baseUrl())
        , proxy_("FENLARK_WMS_PROXY_URL", server.baseUrl())
    {
        server.setHandler([answer = answer_](const Request& request) { return respond(*answer, request); });
        dialog = std::make_unique<WmsManager>();
        // Long enough for a loaded test machine between two pieces of a
        // reply; the stalling server's case shortens it.
        dialog->downloader.transferTimeout = 5000;
    }

    ~WmsDialog() override { dialog.reset(); }

    void answer(Answer value) { answer_->store(value); }

    // The test area: 500 m wide, 400 m high, where Krovak values are negative.
    bool configureArea(int service, QList<QSize> sizes)
    {
        return dialog->configure(service, minX, minY, minX + 500.0, maxY, sizes);
    }

    QCheckBox* rowBox(int row) const
    {
        QTreeWidget* tree = dialog->ui->treeWidget;
        return qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
    }

    bool isIdle() const { return !dialog->downloader.isRunning() && dialog->ui->pushButtonOk->isEnabled(); }

    // Checks the rows, clicks Download and waits for the dialog to be idle.
    bool download(std::initializer_list<int> rows)
    {
        for (int row : rows)
            rowBox(row)->setChecked(true);
        dialog->ui->pushButtonOk->click();
        return QTest::qWaitFor([this] { return isIdle(); }, 10000);
    }

    QStringList tmpEntries() const
    {
        return QDir("tmp").entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QString status() const { return dialog->ui->labelProgress->text(); }

    void expectIdle() const
    {
        EXPECT_TRUE(dialog->ui->pushButtonOk->isEnabled());
        EXPECT_EQ(dialog->ui->progressBar->minimum(), 0);
        EXPECT_EQ(dialog->ui->progressBar->maximum(), 1);
        EXPECT_EQ(dialog->ui->progressBar->value(), 0);
        EXPECT_EQ(dialog->ui->pushButtonLoad->isEnabled(), !dialog->downloadedFiles.isEmpty());
        EXPECT_TRUE(dialog->sizeQueue.isEmpty());
        EXPECT_TRUE(dialog->pixelSizeQueue.isEmpty());
    }

    static constexpr double minX = -573900.0;
    static constexpr double minY = -1280500.0;
    static constexpr double maxY = -1280100.0;

    TestSupport::ScopedWorkingDirectory cwd;
    FakeHttpServer server;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<WmsManager> dialog;

private:
    static Response respond(Answer answer, const Request& request)
    {
        Response response;
        switch (answer) {
        case Answer::GetMap:
            return answerGetMap(request);
        case Answer::Exception:
            return exceptionResponse("Layer vm_I is not available in EPSG:5514");
        case Answer::HtmlAsPng:
            response.contentType = "image/png";
            response.body = "<html><body>Maintenance</body></html>";
            return response;
        case Answer::Status500:
            response.status = 500;
            response.contentType = "text/plain";
            response.body = "boom";
            return response;
        case Answer::Status202:
            response.status = 202;
            response.contentType = "image/png";
            response.body = encodedImage(10, 10, "PNG");
            return response;
        case Answer::Drop:
            response = answerGetMap(request);
            response.dropAfterBytes = int(response.body.size() / 2);
            return response;
        case Answer::Stall:
            response.stall = true;
            return response;
        }
        return response;
    }

    std::shared_ptr<std::atomic<Answer>> answer_;
    RemoteTest::ScopedEnvironment geodesy_;
    RemoteTest::ScopedEnvironment proxy_;
};

TEST(WmsGetMap, UrlCarriesTheBoxWestSouthEastNorthWithSixDecimalsAndTheSize)
{
    const QString base = "https://host/zbgis_ortofoto_wms/service.svc/get?LAYERS=1&FORMAT=image/png&";
    EXPECT_EQ(WmsManager::getMapUrl(base, -573900.5, -1280500.25, -573400.125, -1280100.0, 1000, 800, "EPSG:5514"),
              base
                  + "&STYLES=default&VERSION=1.3.0&REQUEST=GetMap&CRS=EPSG:5514"
                    "&BBOX=-573900.500000,-1280500.250000,-573400.125000,-1280100.000000&WIDTH=1000&HEIGHT=800");
}

TEST_F(WmsDialog, EachServiceIsAskedOnItsPathWithItsLayerAndFormat)
{
    for (const ServiceCase& service : serviceCases) {
        SCOPED_TRACE(service.index);
        const int before = server.requestCount();
        ASSERT_TRUE(configureArea(service.index, {QSize(50, 40)}));
        ASSERT_TRUE(download({0}));
        ASSERT_EQ(server.requestCount(), before + 1);

        const QByteArray expected = QByteArray(service.path) + "?"
                                    + (service.index >= 1 && service.index <= 3 ? "service=wms&" : "") + "LAYERS="
                                    + service.layers + "&FORMAT=" + service.format
                                    + "&&STYLES=default&VERSION=1.3.0&REQUEST=GetMap&CRS=EPSG:5514"
                                      "&BBOX=-573900.000000,-1280500.000000,-573400.000000,-1280100.000000"
                                      "&WIDTH=50&HEIGHT=40";
        EXPECT_EQ(server.requests().last().target, expected);
        EXPECT_EQ(status(), "Download finished successfully");
        const QString image = dialog->downloadedFiles.last();
        EXPECT_TRUE(image.endsWith(service.extension)) << image.toStdString();
        EXPECT_EQ(QImageReader(image).size(), QSize(50, 40));
    }
    EXPECT_EQ(dialog->downloadedFiles.size(), 5);
}

TEST_F(WmsDialog, CheckedSizesGiveOneImageAndOneWorldFileEach)
{
    ASSERT_TRUE(configureArea(0, {QSize(1000, 800), QSize(300, 300), QSize(250, 100)}));
    EXPECT_EQ(dialog->ui->treeWidget->topLevelItem(0)->text(1), "1000 x 800 (~0.50 m)");
    EXPECT_EQ(dialog->ui->treeWidget->topLevelItem(2)->text(1), "250 x 100 (~4.00 m)");
    EXPECT_FALSE(rowBox(1)->isChecked());

    QSignalSpy progress(&dialog->downloader, &FileDownloaderWms::downloadProgress);
    ASSERT_TRUE(download({0, 2}));
    expectIdle();
    EXPECT_TRUE(dialog->ui->pushButtonLoad->isEnabled());
    EXPECT_EQ(status(), "Download finished successfully");
    ASSERT_EQ(server.requestCount(), 2) << "the unchecked row is not asked for";
    ASSERT_EQ(dialog->downloadedFiles.size(), 2);

    const QList<QPair<QSize, QPair<double, double>>> expected = {{QSize(1000, 800), {0.5, 0.5}},
                                                                 {QSize(250, 100), {2.0, 4.0}}};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const QString image = dialog->downloadedFiles[i];
        const QFileInfo info(image);
        EXPECT_EQ(info.absolutePath(), QDir::current().absoluteFilePath("tmp"));
        EXPECT_TRUE(QRegularExpression("^orthophotomosaic_\\d{8}_\\d{9}\\.png$").match(info.fileName()).hasMatch())
            << info.fileName().toStdString();
        EXPECT_EQ(QImageReader(image).size(), expected[i].first);

        const auto [pixelWidth, pixelHeight] = expected[i].second;
        const QString worldPath = info.absolutePath() + "/" + info.completeBaseName() + ".tfw";
        QFile world(worldPath);
        ASSERT_TRUE(world.open(QIODevice::ReadOnly));
        const QByteArray text = world.readAll();
        EXPECT_EQ(text, WmsManager::worldFileText(pixelWidth, pixelHeight, minX, maxY).toLatin1());
        EXPECT_EQ(text.split('\n').size(), 6);
        EXPECT_FALSE(text.endsWith('\n'));
        EXPECT_TRUE(text.startsWith(QByteArray::number(pixelWidth, 'f', 10) + "\n0\n0\n-"));

        // Any GIS reader turns the pixel centre back into the requested
        // box's upper-left corner.
        double transform[6] = {};
        ASSERT_TRUE(GDALReadWorldFile(image.toUtf8().constData(), "tfw", transform));
        EXPECT_NEAR(transform[0], minX, 1e-9);
        EXPECT_NEAR(transform[1], pixelWidth, 1e-12);
        EXPECT_EQ(transform[2], 0.0);
        EXPECT_NEAR(transform[3], maxY, 1e-9);
        EXPECT_EQ(transform[4], 0.0);
        EXPECT_NEAR(transform[5], -pixelHeight, 1e-12);

        EXPECT_TRUE(dialog->recordedTmpFiles().contains(info.absoluteFilePath()));
        EXPECT_TRUE(dialog->recordedTmpFiles().contains(QFileInfo(worldPath).absoluteFilePath()));
    }
    EXPECT_EQ(tmpEntries().size(), 4) << tmpEntries().join(", ").toStdString();
    ASSERT_FALSE(progress.isEmpty());
    const qint64 lastSize = QFileInfo(dialog->downloadedFiles[1]).size();
    EXPECT_EQ(progress.last().at(0).toLongLong(), lastSize);
    EXPECT_EQ(progress.last().at(1).toLongLong(), lastSize);
}

TEST_F(WmsDialog, WorldFileTextIgnoresTheUsersDecimalComma)
{
    const QByteArray expected = "0.5000000000\n0\n0\n-0.2500000000\n-573899.7500000000\n-1280100.1250000000";
    ScopedDecimalCommaLocale comma;
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));

    ASSERT_TRUE(configureArea(1, {QSize(1000, 1600)}));
    QDir().mkpath("tmp");
    dialog->pixelSizeQueue = dialog->pixelSizeRows;
    EXPECT_TRUE(dialog->writeWorldFile(QDir::current().absoluteFilePath("tmp/orthophotomosaic_x.jpg")));
    QFile world("tmp/orthophotomosaic_x.tfw");
    ASSERT_TRUE(world.open(QIODevice::ReadOnly));
    EXPECT_EQ(world.readAll(), expected);
    EXPECT_TRUE(dialog->pixelSizeQueue.isEmpty());
    EXPECT_FALSE(dialog->writeWorldFile("tmp/orthophotomosaic_y.jpg")) << "no pixel size left for it";
    EXPECT_FALSE(QFile::exists("tmp/orthophotomosaic_y.tfw"));
    EXPECT_TRUE(WmsManager::getMapUrl("b&", -1.5, -2.5, 3, 4, 5, 6, "EPSG:5514")
                    .contains("BBOX=-1.500000,-2.500000,3.000000,4.000000&"));

    QLocale::setDefault(previous);
    if (!comma.active())
        GTEST_SKIP() << comma.reason() << "; the Qt locale part was checked";
}

// Every way a request can fail leaves no file, shows its message once and
// makes the dialog idle, with the rest of the queue dropped.
struct FailureCase {
    const char* name;
    Answer answer;
    const char* message; // empty: the reply's own error text, whatever it is
};

void PrintTo(const FailureCase& failure, std::ostream* out)
{
    *out << failure.name;
}

class WmsFailures : public WmsDialog, public testing::WithParamInterface<FailureCase> {};

TEST_P(WmsFailures, LeaveNoFileAndAnIdleDialog)
{
    const FailureCase& failure = GetParam();
    ASSERT_TRUE(configureArea(0, {QSize(40, 30), QSize(20, 10)}));
    ASSERT_TRUE(download({0}));
    ASSERT_EQ(dialog->downloadedFiles.size(), 1);
    const QStringList filesBefore = dialog->downloadedFiles;
    const QStringList tmpBefore = tmpEntries();
    const QStringList recordedBefore = dialog->recordedTmpFiles();

    answer(failure.answer);
    if (failure.answer == Answer::Stall)
        dialog->downloader.transferTimeout = 300;
    QSignalSpy errors(&dialog->downloader, &FileDownloaderWms::downloadError);
    QSignalSpy successes(&dialog->downloader, &FileDownloaderWms::downloadSuccessful);
    ASSERT_TRUE(download({0, 1}));
    QTest::qWait(50); // a second report would arrive now

    EXPECT_EQ(server.requestCount(), 2) << "the second checked size is dropped";
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(successes.count(), 0);
    if (*failure.message)
        EXPECT_EQ(status(), failure.message);
    else
        EXPECT_FALSE(status().isEmpty() || status().startsWith("Downloading") || status().startsWith("Download fin"))
            << status().toStdString();
    EXPECT_EQ(status(), errors.first().first().toString());
    EXPECT_EQ(tmpEntries(), tmpBefore) << "no image, no world file, no part left";
    EXPECT_EQ(dialog->downloadedFiles, filesBefore);
    EXPECT_EQ(dialog->recordedTmpFiles(), recordedBefore);
    expectIdle();
    EXPECT_TRUE(dialog->ui->pushButtonLoad->isEnabled()) << "the earlier image can still be loaded";

    // And the dialog works again.
    answer(Answer::GetMap);
    ASSERT_TRUE(download({}));
    EXPECT_EQ(dialog->downloadedFiles.size(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, WmsFailures,
    testing::Values(
        FailureCase{"ServiceException", Answer::Exception,
                    "WMS service error: Layer vm_I is not available in EPSG:5514"},
        FailureCase{"HtmlAsPng", Answer::HtmlAsPng, "WMS service error: image/png"},
        FailureCase{"Status500", Answer::Status500, "Undefined error."},
        FailureCase{"Status202", Answer::Status202, "The retrieval request has been successfully submitted."},
        FailureCase{"DropMidBody", Answer::Drop, ""}, FailureCase{"Stall", Answer::Stall, ""}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// A disk that fills up: the first write that fails ends the request while
// the service is still sending, removes the part and reports once.
TEST_F(WmsDialog, AFullDiskEndsTheRequestAtTheFirstFailedWrite)
{
    server.setHandler([](const Request& request) {
        Response response = answerGetMap(request);
        response.body += QByteArray(256 * 1024, '\0');
        response.chunkSize = 64 * 1024;
        response.chunkDelayMs = 10000;
        return response;
    });
    dialog->downloader.transferTimeout = 60000;
    ASSERT_TRUE(configureArea(0, {QSize(200, 200), QSize(20, 10)}));
    QSignalSpy errors(&dialog->downloader, &FileDownloaderWms::downloadError);
    QSignalSpy successes(&dialog->downloader, &FileDownloaderWms::downloadSuccessful);
    {
        TestSupport::FileSizeLimit full(32 * 1024);
        if (!full.active())
            GTEST_SKIP() << "no file size limit on this system";
        rowBox(0)->setChecked(true);
        rowBox(1)->setChecked(true);
        dialog->ui->pushButtonOk->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return errors.count() > 0; }, 3000));
    }
    QTest::qWait(300);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(successes.count(), 0);
    EXPECT_TRUE(status().startsWith("Unable to write ")) << status().toStdString();
    EXPECT_TRUE(status().contains(".png: ")) << status().toStdString();
    EXPECT_TRUE(tmpEntries().isEmpty()) << tmpEntries().join(", ").toStdString();
    EXPECT_EQ(server.requestCount(), 1) << "the second checked size is dropped";
    EXPECT_TRUE(dialog->downloadedFiles.isEmpty());
    expectIdle();
}

TEST_F(WmsDialog, ATmpFolderThatCannotBeMadeIsReported)
{
    TestSupport::writeFile("tmp", "a file where the folder should be");
    ASSERT_TRUE(configureArea(0, {QSize(20, 20), QSize(10, 10)}));
    ASSERT_TRUE(download({0, 1}));
    EXPECT_EQ(status(), "Unable to create tmp directory");
    EXPECT_EQ(server.requestCount(), 0);
    expectIdle();
}

TEST_F(WmsDialog, ATargetThatCannotBeOpenedIsReportedAndNothingIsRequested)
{
    QSignalSpy errors(&dialog->downloader, &FileDownloaderWms::downloadError);
    QSignalSpy busy(&dialog->downloader, &FileDownloaderWms::goingBusy);
    EXPECT_FALSE(dialog->downloader.startDownload(server.url("/hm_III_vm/service.svc/get"),
                                                  QDir::current().absoluteFilePath("missing/folder/a.png"), false));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_TRUE(errors.first().first().toString().startsWith("Unable to write ")) << errors.first().first()
                                                                                          .toString()
                                                                                          .toStdString();
    EXPECT_EQ(busy.count(), 0);
    EXPECT_FALSE(dialog->downloader.isRunning());
    QTest::qWait(50);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(status(), errors.first().first().toString());
    expectIdle();
}

TEST_F(WmsDialog, ClosingDuringADownloadRemovesItsPart)
{
    answer(Answer::Stall);
    dialog->downloader.transferTimeout = 60000;
    ASSERT_TRUE(configureArea(0, {QSize(20, 20)}));
    rowBox(0)->setChecked(true);
    dialog->ui->pushButtonOk->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.requestCount() == 1; }, 5000));
    EXPECT_FALSE(dialog->ui->pushButtonOk->isEnabled());
    EXPECT_EQ(status(), "Downloading data:");
    ASSERT_EQ(tmpEntries().size(), 1);
    EXPECT_TRUE(tmpEntries().first().endsWith(".png.part"));
    EXPECT_FALSE(configureArea(1, {QSize(10, 10)})) << "no new choice while a request runs";
    EXPECT_EQ(dialog->serviceIndex, 0);

    dialog.reset();
    QTest::qWait(20);
    EXPECT_TRUE(tmpEntries().isEmpty()) << tmpEntries().join(", ").toStdString();
}

TEST_F(WmsDialog, ConfigureRefusesWhatCannotBeRequested)
{
    ASSERT_TRUE(configureArea(2, {QSize(100, 80), QSize(50, 40)}));
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    struct Refused {
        const char* name;
        int service;
        double minX, minY, maxX, maxY;
        QList<QSize> sizes;
    };
    const Refused cases[] = {
        {"service below 0", -1, 0, 0, 10, 10, {QSize(10, 10)}},
        {"service above 4", 5, 0, 0, 10, 10, {QSize(10, 10)}},
        {"empty width", 0, 5, 0, 5, 10, {QSize(10, 10)}},
        {"west above east", 0, 6, 0, 5, 10, {QSize(10, 10)}},
        {"south above north", 0, 0, 10, 10, 0, {QSize(10, 10)}},
        {"not a number", 0, nan, 0, 10, 10, {QSize(10, 10)}},
        {"infinite", 0, 0, 0, 10, inf, {QSize(10, 10)}},
        {"no size", 0, 0, 0, 10, 10, {}},
        {"zero width", 0, 0, 0, 10, 10, {QSize(10, 10), QSize(0, 10)}},
        {"negative height", 0, 0, 0, 10, 10, {QSize(10, -1)}},
    };
    for (const Refused& refused : cases) {
        SCOPED_TRACE(refused.name);
        EXPECT_FALSE(dialog->configure(refused.service, refused.minX, refused.minY, refused.maxX, refused.maxY,
                                       refused.sizes));
        EXPECT_EQ(dialog->serviceIndex, 2);
        EXPECT_EQ(dialog->areaMinX, minX);
        EXPECT_EQ(dialog->areaMaxY, maxY);
        EXPECT_EQ(dialog->sizeRows, (QList<QPair<int, int>>{{100, 80}, {50, 40}}));
        EXPECT_EQ(dialog->pixelSizeRows, (QList<QPair<double, double>>{{5.0, 5.0}, {10.0, 10.0}}));
        EXPECT_EQ(dialog->ui->treeWidget->topLevelItemCount(), 2);
    }
}

TEST(WmsArea, LatLonRectangleBecomesTheKrovakBoxOfItsCorners)
{
    // One point: a box of no size at the point itself.
    const std::optional<WmsManager::Area> point = WmsManager::areaFromLatLon(48.1486, 17.1077, 48.1486, 17.1077);
    ASSERT_TRUE(point);
    EXPECT_NEAR(point->minX, -573686.66, 2.0);
    EXPECT_NEAR(point->maxX, -573686.66, 2.0);
    EXPECT_NEAR(point->minY, -1280322.09, 2.0);
    EXPECT_NEAR(point->maxY, -1280322.09, 2.0);

    // Against OGR directly, corners given in either order.
    OGRSpatialReference wgs84;
    OGRSpatialReference krovak;
    ASSERT_EQ(wgs84.importFromEPSG(4326), OGRERR_NONE);
    ASSERT_EQ(krovak.importFromEPSG(5514), OGRERR_NONE);
    wgs84.SetAxisMappingStrategy(OAMS_AUTHORITY_COMPLIANT);
    krovak.SetAxisMappingStrategy(OAMS_AUTHORITY_COMPLIANT);
    std::unique_ptr<OGRCoordinateTransformation> transform(OGRCreateCoordinateTransformation(&wgs84, &krovak));
    ASSERT_TRUE(transform);
    double lat[4] = {48.0, 48.0, 48.6, 48.6};
    double lon[4] = {17.0, 18.2, 17.0, 18.2};
    ASSERT_TRUE(transform->Transform(4, lat, lon));
    const double expectedMinX = *std::min_element(lat, lat + 4);
    const double expectedMaxX = *std::max_element(lat, lat + 4);
    const double expectedMinY = *std::min_element(lon, lon + 4);
    const double expectedMaxY = *std::max_element(lon, lon + 4);
    for (const auto& corners : {std::array{48.0, 17.0, 48.6, 18.2}, std::array{48.6, 18.2, 48.0, 17.0}}) {
        const std::optional<WmsManager::Area> area =
            WmsManager::areaFromLatLon(corners[0], corners[1], corners[2], corners[3]);
        ASSERT_TRUE(area);
        EXPECT_NEAR(area->minX, expectedMinX, 1e-6);
        EXPECT_NEAR(area->maxX, expectedMaxX, 1e-6);
        EXPECT_NEAR(area->minY, expectedMinY, 1e-6);
        EXPECT_NEAR(area->maxY, expectedMaxY, 1e-6);
    }

    EXPECT_FALSE(WmsManager::areaFromLatLon(95.0, 17.0, 48.0, 18.0));
    EXPECT_FALSE(WmsManager::areaFromLatLon(48.0, 17.0, std::nan(""), 18.0));
}

TEST(WmsNames, ImageNamesCarryTheTimeAndNeverReplaceAnEarlierImage)
{
    TestSupport::TempDir folder;
    const QString path = QString::fromStdString(folder.path().string());
    const QDateTime when(QDate(2024, 3, 5), QTime(7, 8, 9, 12));
    EXPECT_EQ(WmsManager::imagePath(path, false, ".png", when), path + "/orthophotomosaic_05032024_070809012.png");
    EXPECT_EQ(WmsManager::imagePath(path, true, ".jpg", when), path + "/pw_05032024_070809012.jpg");

    // The same millisecond again: the name moves on past the taken ones,
    // whether the image or only its world file is there.
    TestSupport::writeFile(folder.file("orthophotomosaic_05032024_070809012.png"), "first");
    TestSupport::writeFile(folder.file("orthophotomosaic_05032024_070809013.tfw"), "world of another");
    EXPECT_EQ(WmsManager::imagePath(path, false, ".png", when), path + "/orthophotomosaic_05032024_070809014.png");

    EXPECT_EQ(WmsManager::imageExtension(0), ".png");
    EXPECT_EQ(WmsManager::imageExtension(4), ".png");
    for (int service : {1, 2, 3})
        EXPECT_EQ(WmsManager::imageExtension(service), ".jpg");
}

TEST_F(WmsDialog, ClosingOnYesDeletesOnlyTheRecordedPreviews)
{
    ASSERT_TRUE(configureArea(4, {QSize(30, 20)}));
    ASSERT_TRUE(download({0}));
    ASSERT_TRUE(dialog->requestImage(minX, minY, minX + 500.0, maxY, 64, 48, "EPSG:5514", true));
    EXPECT_EQ(status(), "Downloading preview image:");
    ASSERT_TRUE(QTest::qWaitFor([this] { return isIdle(); }, 10000));
    EXPECT_EQ(dialog->downloadedFiles.size(), 1) << "a preview is no image to load";
    EXPECT_EQ(dialog->ui->labelPreviewImg->pixmap().size(), QSize(64, 48));
    const QStringList previews = tmpEntries().filter(QRegularExpression("^pw_.*\\.png$"));
    ASSERT_EQ(previews.size(), 1);
    EXPECT_FALSE(QFile::exists("tmp/" + QFileInfo(previews.first()).completeBaseName() + ".tfw"));
    TestSupport::writeFile("tmp/pw_mine.png", "a user's file with the preview prefix");
    const QString image = dialog->downloadedFiles.first();

    dialog->show();
    dialogs.answer = QMessageBox::No;
    dialog->close();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(dialogs.requests[0].title, "Close Confirmation");
    EXPECT_EQ(dialogs.requests[0].text, "Are you sure you want to close the window?");
    EXPECT_EQ(dialogs.requests[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(dialogs.requests[0].defaultButton, QMessageBox::NoButton);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(QFile::exists("tmp/" + previews.first()));

    dialogs.answer = QMessageBox::Yes;
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(QFile::exists("tmp/" + previews.first()));
    EXPECT_TRUE(QFile::exists("tmp/pw_mine.png"));
    EXPECT_TRUE(QFile::exists(image));
    EXPECT_TRUE(QFile::exists(QFileInfo(image).absolutePath() + "/" + QFileInfo(image).completeBaseName() + ".tfw"));
    EXPECT_EQ(dialog->downloadedFiles, QStringList{image});
    EXPECT_TRUE(dialog->ui->pushButtonLoad->isEnabled());

    // What is left of the dialog's files goes with the main window's close.
    dialog->removeTmpFiles();
    EXPECT_EQ(tmpEntries(), QStringList{"pw_mine.png"});
}

} // namespace
