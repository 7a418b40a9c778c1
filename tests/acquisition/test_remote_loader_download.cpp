// The remote catalogue window's downloads against a local service: the
// folder, the queue, one product at a time with a fresh token, what is kept
// on the disk for each answer, aborting and closing, and the progress and
// speed display.

#include <atomic>
#include <memory>
#include <mutex>

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QToolButton>

#include "remote_loader_fixture.h"
#include "support/FileSizeLimit.h"

namespace {

using namespace RemoteTest;

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A product body sent in pieces over about pieces x delay milliseconds.
FakeHttpServer::Response slowly(const QByteArray& body, int pieces, int delayMs)
{
    FakeHttpServer::Response response;
    response.contentType = "application/zip";
    response.body = body;
    response.chunkSize = std::max(1, int(body.size()) / pieces);
    response.chunkDelayMs = delayMs;
    return response;
}

FakeHttpServer::Response product(const QByteArray& body)
{
    return slowly(body, 1, 0);
}

class RemoteDownload : public RemoteService {
protected:
    QString target(int number) const { return folderPath() + QString("/P%1.zip").arg(number); }

    QList<QByteArray> downloadPaths() const
    {
        QList<QByteArray> out;
        for (const FakeHttpServer::Request& request : server.requests("/download/"))
            out.append(request.path());
        return out;
    }

    QList<int> queuedNumbers() const
    {
        QList<int> out;
        for (const RemoteLoader::QueuedProduct& queued : window->downloadQueue)
            out.append(queued.number);
        return out;
    }

    QString status() const { return window->ui->labelRemoteDownload->text(); }

    bool waitUntil(const std::function<bool()>& condition, int ms = 10000)
    {
        return QTest::qWaitFor(condition, ms);
    }
};

TEST_F(RemoteDownload, AProductArrivesByteExactWithTheLatestToken)
{
    const QByteArray body = randomBytes(300000, 7);
    answerProducts([body](int, const Request&) { return slowly(body, 6, 20); });
    openWithResults(3);
    check({1});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return !window->downloader.isRunning() && server.requests("/download/").size() == 1
                                       && isReady(); }));

    EXPECT_EQ(status(), "Download finished successfully");
    EXPECT_TRUE(window->ui->labelDownloadSpeed->text().isEmpty());
    EXPECT_EQ(window->ui->progressBarRemoteDownload->maximum(), 1);
    EXPECT_EQ(fileBytes(target(1)), body);
    EXPECT_EQ(folderEntries(), QStringList({"P1.zip"}));
    const FakeHttpServer::Request sent = server.requests("/download/").first();
    EXPECT_EQ(sent.path(), "/download/1");
    // The login's token was tok-1; the click asked for tok-2.
    EXPECT_EQ(sent.header("Authorization"), "Bearer tok-2");
}

TEST_F(RemoteDownload, TheBusyStateShowsTheProductAndItsProgress)
{
    const QByteArray body = randomBytes(200000, 3);
    answerProducts([body](int, const Request&) { return slowly(body, 20, 40); });
    openWithResults(1);
    check({0});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return window->ui->progressBarRemoteDownload->value() > 0; }));

    const Ui::RemoteLoader& ui = *window->ui;
    EXPECT_EQ(status(), "Downloading P0");
    EXPECT_FALSE(ui.pushButtonRemoteDownload->isEnabled());
    EXPECT_FALSE(ui.lineEditRemoteDirectory->isEnabled());
    EXPECT_FALSE(ui.toolButtonRemoteChangeDir->isEnabled());
    EXPECT_TRUE(ui.pushButtonRemoteDownAbort->isEnabled());
    EXPECT_EQ(ui.progressBarRemoteDownload->maximum(), 200000);
    EXPECT_TRUE(ui.labelDownloadSpeed->text().endsWith("/s") || ui.labelDownloadSpeed->text().endsWith("/sec"));
    EXPECT_TRUE(QFileInfo::exists(target(0) + ".part"));
    EXPECT_FALSE(QFileInfo::exists(target(0)));
    ASSERT_TRUE(waitUntil([&] { return isReady(); }));
    EXPECT_EQ(fileBytes(target(0)), body);
}

// Answers other than 200 keep no product: not a new one, and an earlier
// complete file stays as it was.
TEST_F(RemoteDownload, StatusAnswersKeepNoFile)
{
    const struct {
        int status;
        QString text;
    } cases[] = {
        {202, "The retrieval request has been successfully submitted."},
        {403, "The request is not accepted because the number of submitted requested exceeded the allowed user quota."},
        {503, "The service cannot accept new requests since is is busy in handling other requests."},
        {404, "Undefined error."},
        {500, "Undefined error."},
    };
    openWithResults(2);
    TestSupport::writeFile(target(1).toStdString(), "an earlier complete product");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const int code = c.status;
        answerProducts([code](int, const Request&) { return jsonResponse(R"({"detail":"not now"})", code); });
        const int before = int(server.requests("/download/").size());
        window->ui->labelRemoteDownload->clear();
        check({0, 1});
        window->ui->pushButtonRemoteDownload->click();
        ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == before + 2 && isReady(); }));
        EXPECT_EQ(status(), c.text);
        EXPECT_EQ(folderEntries(), QStringList({"P1.zip"}));
        EXPECT_EQ(fileBytes(target(1)), "an earlier complete product");
        EXPECT_TRUE(window->downloadQueue.isEmpty());
        rowBox(0)->setChecked(false);
        rowBox(1)->setChecked(false);
    }
}

TEST_F(RemoteDownload, AFailedDownloadKeepsTheRestOfTheQueueForTheNextClick)
{
    const QByteArray body = randomBytes(50000, 11);
    auto dropped = std::make_shared<std::atomic<bool>>(false);
    answerProducts([body, dropped](int number, const Request&) {
        FakeHttpServer::Response response = product(body);
        if (number == 0 && !dropped->exchange(true))
            response.dropAfterBytes = 10000;
        return response;
    });
    openWithResults(2);
    check({0, 1});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return dropped->load() && isReady(); }));

    EXPECT_FALSE(status().isEmpty());
    EXPECT_NE(status(), "Download finished successfully");
    EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
    EXPECT_EQ(queuedNumbers(), QList<int>({1}));
    EXPECT_EQ(server.requests("/download/").size(), 1);

    // The next click asks for a token and goes on with what was left.
    rowBox(0)->setChecked(false);
    rowBox(1)->setChecked(false);
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 2 && isReady(); }));
    EXPECT_EQ(downloadPaths().last(), "/download/1");
    EXPECT_EQ(folderEntries(), QStringList({"P1.zip"}));
    EXPECT_EQ(fileBytes(target(1)), body);
}

// A disk that fills up: the first write that fails ends the download while
// the server is still sending (the rest would come ten seconds later),
// removes the part and says why; no success follows.
TEST_F(RemoteDownload, AFullDiskEndsTheDownloadAtTheFirstFailedWrite)
{
    const QByteArray body = randomBytes(256 * 1024, 16);
    answerProducts([body](int, const Request&) { return slowly(body, 4, 10000); });
    openWithResults(1);
    window->transferTimeout = 30000;
    check({0});
    {
        TestSupport::FileSizeLimit full(32 * 1024);
        if (!full.active())
            GTEST_SKIP() << "no file size limit on this system";
        window->ui->pushButtonRemoteDownload->click();
        ASSERT_TRUE(waitUntil([&] { return status().startsWith("Unable to write"); }, 3000)) << status().toStdString();
    }
    EXPECT_TRUE(status().startsWith("Unable to write " + target(0) + ": ")) << status().toStdString();
    EXPECT_GT(status().size(), QString("Unable to write " + target(0) + ": ").size());
    EXPECT_TRUE(isReady());
    EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
    QTest::qWait(300);
    EXPECT_TRUE(status().startsWith("Unable to write")) << status().toStdString();
    EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
    EXPECT_EQ(server.requests("/download/").size(), 1);
}

// A part that fails to close (a network file system may report a full disk
// or a lost write only there) is a failed write: said so, removed, and an
// earlier complete file at the target stays as it was.
TEST_F(RemoteDownload, APartThatFailsToCloseIsAFailedWrite)
{
    const QByteArray body = randomBytes(50000, 21);
    answerProducts([body](int, const Request&) { return product(body); });
    openWithResults(1);
    TestSupport::writeFile(target(0).toStdString(), "an earlier complete product");
    window->downloader.replyFile().closePart = [](QFile& part) {
        part.close();
        return false;
    };
    check({0});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 1 && !window->downloader.isRunning()
                                       && isReady(); }));

    EXPECT_TRUE(status().startsWith("Unable to write " + target(0) + ": ")) << status().toStdString();
    EXPECT_EQ(folderEntries(), QStringList({"P0.zip"}));
    EXPECT_EQ(fileBytes(target(0)), "an earlier complete product");
}

TEST_F(RemoteDownload, AbortRemovesThePartEmptiesTheQueueAndReturnsToReady)
{
    const QByteArray body = randomBytes(100000, 5);
    answerProducts([body](int, const Request&) { return slowly(body, 100, 50); });
    openWithResults(3);

    // Nothing runs: Abort changes nothing visible.
    window->ui->labelRemoteDownload->setText("last status");
    window->on_pushButtonRemoteDownAbort_clicked();
    EXPECT_EQ(status(), "last status");
    EXPECT_TRUE(isReady());

    check({0, 2});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(target(0) + ".part").size() > 0; }));
    window->ui->pushButtonRemoteDownAbort->click();

    EXPECT_TRUE(isReady());
    EXPECT_EQ(status(), "Operation canceled");
    EXPECT_TRUE(window->downloadQueue.isEmpty());
    EXPECT_EQ(window->ui->progressBarRemoteDownload->value(), 0);
    QTest::qWait(200);
    EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
    EXPECT_EQ(server.requests("/download/").size(), 1);
}

TEST_F(RemoteDownload, ClosingDuringADownloadRemovesThePart)
{
    const QByteArray body = randomBytes(100000, 9);
    answerProducts([body](int, const Request&) { return slowly(body, 100, 50); });
    openWithResults(1);
    check({0});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(target(0) + ".part").size() > 0; }));

    QPointer<RemoteLoader> closing = window.release();
    closing->setAttribute(Qt::WA_DeleteOnClose);
    dialogs.answer = QMessageBox::Yes;
    EXPECT_TRUE(closing->close());
    ASSERT_TRUE(waitUntil([&] { return closing.isNull(); }));
    QTest::qWait(200);
    EXPECT_TRUE(folderEntries().isEmpty()) << folderEntries().join(", ").toStdString();
}

TEST_F(RemoteDownload, UnsafeNamesAndAddressesAreSkippedAndTheQueueGoesOn)
{
    const QString base = server.baseUrl();
    auto titled = [&base](int number, const QString& title) {
        QJsonObject entry = feature(base, number);
        QJsonObject properties = entry["properties"].toObject();
        properties["title"] = title;
        entry["properties"] = properties;
        return entry;
    };
    QJsonObject plain = feature(base, 6);
    QJsonObject properties = plain["properties"].toObject();
    // 0.0.0.0 reaches this machine: a leaked token would arrive here.
    properties["services"] = QJsonObject{
        {"download", QJsonObject{{"url", QString("http://0.0.0.0:%1/download/6").arg(server.port())}}}};
    plain["properties"] = properties;
    const QJsonArray features{titled(0, "../x.SAFE"), titled(1, "a/b.SAFE"), titled(2, "a\\b.SAFE"),
                              titled(3, "ab\u0001c.SAFE"), titled(4, ".SAFE"), titled(5, "x"), plain,
                              titled(7, "P7.SAFE")};
    const QByteArray page = cataloguePage(features);
    answerPages([page](int, const Request&) { return jsonResponse(page); });
    const QByteArray body = randomBytes(1000, 1);
    answerProducts([body](int, const Request&) { return product(body); });
    openLoggedIn();
    find();
    ASSERT_EQ(results()->topLevelItemCount(), 8);
    for (int row = 0; row < 8; ++row)
        rowBox(row)->setChecked(true);
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 1 && isReady(); }));

    EXPECT_EQ(downloadPaths(), QList<QByteArray>({"/download/7"}));
    EXPECT_EQ(folderEntries(), QStringList({"P7.zip"}));
    EXPECT_FALSE(QFileInfo::exists(folderPath() + "/../x.zip"));
    const QStringList texts = boxTexts();
    ASSERT_EQ(texts.size(), 7) << texts.join("\n").toStdString();
    EXPECT_EQ(texts[0], "The product name \"../x.SAFE\" cannot be used as a file name; it is skipped.");
    EXPECT_EQ(texts[6], "The product P6 has no secure download address; it is skipped.");
}

TEST_F(RemoteDownload, ATargetThatCannotBeWrittenIsReportedAndSkipped)
{
    const QByteArray body = randomBytes(1000, 2);
    answerProducts([body](int, const Request&) { return product(body); });
    openWithResults(1);
    window->downloadDirectory = folderPath() + "/missing";
    check({0});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return !dialogs.requests.isEmpty(); }));
    EXPECT_TRUE(boxTexts()[0].startsWith("Unable to write " + folderPath() + "/missing/P0.zip"))
        << boxTexts()[0].toStdString();
    EXPECT_TRUE(isReady());
    EXPECT_TRUE(server.requests("/download/").isEmpty());
}

TEST_F(RemoteDownload, TwoClicksBeforeTheTokenReplyQueueTwiceAndNeverOverlap)
{
    const QByteArray body = randomBytes(30000, 4);
    answerProducts([body](int, const Request&) { return slowly(body, 3, 60); });
    openWithResults(3);
    delayTokens(300);
    check({0, 2});
    window->ui->pushButtonRemoteDownload->click();
    window->ui->pushButtonRemoteDownload->click();
    EXPECT_EQ(queuedNumbers(), QList<int>({0, 2, 0, 2}));

    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 4 && isReady(); }, 20000));
    EXPECT_EQ(downloadPaths(), QList<QByteArray>({"/download/0", "/download/2", "/download/0", "/download/2"}));
    const QList<FakeHttpServer::Request> sent = server.requests("/download/");
    for (int i = 1; i < sent.size(); ++i)
        EXPECT_GE(sent[i].receivedMs, sent[i - 1].finishedMs) << "download " << i << " overlaps the one before";
    EXPECT_EQ(fileBytes(target(0)), body);
    EXPECT_EQ(fileBytes(target(2)), body);
    EXPECT_EQ(folderEntries(), QStringList({"P0.zip", "P2.zip"}));
}

TEST_F(RemoteDownload, ALoginDuringADownloadStartsNoSecondOne)
{
    const QByteArray body = randomBytes(60000, 8);
    answerProducts([body](int, const Request&) { return slowly(body, 20, 40); });
    openWithResults(2);
    check({0, 1});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return window->downloader.isRunning(); }));
    // Log out and in again while product 0 runs.
    dialogs.loginAnswer = LoginAnswer{"ada", "secret"};
    window->ui->pushButtonLogInOut->click();
    window->ui->pushButtonLogInOut->click();
    const int tokens = tokensIssued();
    ASSERT_TRUE(waitUntil([&] { return tokensIssued() >= tokens && window->accessToken.startsWith("tok-"); }));

    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 2 && isReady(); }, 20000));
    const QList<FakeHttpServer::Request> sent = server.requests("/download/");
    EXPECT_GE(sent[1].receivedMs, sent[0].finishedMs);
    EXPECT_EQ(folderEntries(), QStringList({"P0.zip", "P1.zip"}));
}

TEST_F(RemoteDownload, ExpiringTokensAreRenewedBeforeEveryProduct)
{
    // Tokens of this service live shorter than a product takes to download,
    // so the token that served one product has expired by the next. The
    // service tells it by the tokens' order ("tok-1", "tok-2", ...), not by
    // the clock: a token no newer than the one the previous product came
    // with is refused, however fast or slow the machine is.
    const QByteArray body = randomBytes(40000, 6);
    auto refused = std::make_shared<std::atomic<int>>(0);
    auto lastServed = std::make_shared<std::atomic<int>>(0);
    answerProducts([body, refused, lastServed](int, const Request& request) {
        const QByteArray authorization = request.header("Authorization");
        bool number = false;
        const int token = authorization.startsWith("Bearer tok-") ? authorization.mid(11).toInt(&number) : 0;
        if (!number || token <= lastServed->load()) {
            ++*refused;
            return jsonResponse(R"({"detail":"Expired signature!"})", 401);
        }
        lastServed->store(token);
        return slowly(body, 10, 20);
    });
    openWithResults(3);
    check({0, 1, 2});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() >= 3 && isReady(); }, 20000));

    EXPECT_EQ(refused->load(), 0);
    EXPECT_EQ(status(), "Download finished successfully");
    for (int number : {0, 1, 2})
        EXPECT_EQ(fileBytes(target(number)), body) << number;
    QStringList authorizations;
    for (const FakeHttpServer::Request& request : server.requests("/download/"))
        authorizations.append(QString::fromLatin1(request.header("Authorization")));
    EXPECT_EQ(authorizations.removeDuplicates(), 0);
}

TEST_F(RemoteDownload, ARefusedTokenIsRenewedOnceForTheProduct)
{
    // Product 0 is refused once, product 1 always; product 2 is fine.
    const QByteArray body = randomBytes(5000, 12);
    auto firstOfZero = std::make_shared<std::atomic<bool>>(true);
    answerProducts([body, firstOfZero](int number, const Request&) {
        if ((number == 0 && firstOfZero->exchange(false)) || number == 1)
            return jsonResponse(R"({"detail":"Unauthorized"})", 401);
        return product(body);
    });
    openWithResults(3);
    check({0, 1, 2});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 5 && isReady(); }, 20000));

    EXPECT_EQ(downloadPaths(), QList<QByteArray>({"/download/0", "/download/0", "/download/1", "/download/1",
                                                  "/download/2"}));
    EXPECT_EQ(folderEntries(), QStringList({"P0.zip", "P2.zip"}));
    EXPECT_EQ(fileBytes(target(0)), body);
}

// A token renewed between two products (or for a product whose token was
// refused) that does not come: the window stays logged in with the
// credentials it had, drops the products still queued and says why, so the
// next click downloads each checked product once.
struct RenewalFailure {
    const char* name;
    bool refusedFirst; // product 0's token is refused once: the renewal is its retry
    FakeHttpServer::Response answer; // the identity service's answer to the renewal
    const char* reason; // in the message; empty: Qt's text of the failed reply
};

void PrintTo(const RenewalFailure& failure, std::ostream* out)
{
    *out << failure.name;
}

FakeHttpServer::Response plainResponse(int status, const QByteArray& contentType, const QByteArray& body)
{
    FakeHttpServer::Response response;
    response.status = status;
    response.contentType = contentType;
    response.body = body;
    return response;
}

class RenewalFailures : public RemoteDownload, public testing::WithParamInterface<RenewalFailure> {};

TEST_P(RenewalFailures, KeepTheLoginEmptyTheQueueAndTellTheUser)
{
    const RenewalFailure& failure = GetParam();
    const QByteArray body = randomBytes(4000, 15);
    auto refuse = std::make_shared<std::atomic<bool>>(failure.refusedFirst);
    answerProducts([body, refuse](int number, const Request&) {
        if (number == 0 && refuse->exchange(false))
            return jsonResponse(R"({"detail":"Unauthorized"})", 401);
        return product(body);
    });
    // Token requests: 1 the login, 2 the click, 3 the renewal.
    failTokenRequest(3, failure.answer);
    openWithResults(2);
    check({0, 1});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return !dialogs.requests.isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return isReady(); }));

    EXPECT_EQ(server.requests(tokenPath).size(), 3);
    EXPECT_EQ(downloadPaths(), QList<QByteArray>({"/download/0"}));
    EXPECT_TRUE(window->downloadQueue.isEmpty());
    ASSERT_EQ(dialogs.requests.size(), 1) << boxTexts().join("\n").toStdString();
    const QString text = boxTexts().first();
    EXPECT_EQ(dialogs.requests.first().icon, 3);
    EXPECT_TRUE(text.startsWith("The access token could not be renewed (")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("); the remaining downloads were cancelled.")) << text.toStdString();
    if (*failure.reason) {
        EXPECT_TRUE(text.contains(QString("(%1)").arg(failure.reason))) << text.toStdString();
    }
    EXPECT_FALSE(text.contains("tok-") || text.contains("secret")) << text.toStdString();
    // Still logged in with the same credentials, in memory and in the store.
    EXPECT_EQ(window->userName, "ada");
    EXPECT_EQ(window->password, "secret");
    EXPECT_EQ(window->ui->label_loggedInName->text(), "Logged in as : ada");
    EXPECT_EQ(window->ui->pushButtonLogInOut->text(), "Log out");
    EXPECT_TRUE(window->ui->pushButtonRemoteFind->isEnabled());
    EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusName").toString(), "ada");
    EXPECT_EQ(QSettings().value("remoteLoader/newCopernicusPass").toString(), "secret");

    // The user unchecks what arrived and clicks again: each product still
    // wanted is queued once and fetched with the kept credentials.
    const QStringList arrived = folderEntries();
    EXPECT_EQ(arrived, failure.refusedFirst ? QStringList() : QStringList({"P0.zip"}));
    rowBox(0)->setChecked(!arrived.contains("P0.zip"));
    window->ui->pushButtonRemoteDownload->click();
    EXPECT_EQ(queuedNumbers(), failure.refusedFirst ? QList<int>({0, 1}) : QList<int>({1}));
    ASSERT_TRUE(waitUntil([&] { return folderEntries().size() == 2 && isReady(); }));
    EXPECT_TRUE(server.requests(tokenPath).at(3).body.startsWith("username=ada&password=secret&"));
    // Product 0's first request was refused, not downloaded.
    EXPECT_EQ(downloadPaths(), failure.refusedFirst
                                   ? QList<QByteArray>({"/download/0", "/download/0", "/download/1"})
                                   : QList<QByteArray>({"/download/0", "/download/1"}));
    EXPECT_EQ(fileBytes(target(0)), body);
    EXPECT_EQ(fileBytes(target(1)), body);
    EXPECT_EQ(boxTexts().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RenewalFailures,
    testing::Values(
        RenewalFailure{"HtmlPageBetweenProducts", false, plainResponse(502, "text/html", "<html>gateway</html>"), ""},
        RenewalFailure{"RefusedBetweenProducts", false,
                       jsonResponse(R"({"error":"invalid_grant","error_description":"Session not active"})", 400),
                       "Session not active"},
        RenewalFailure{"BadJsonBetweenProducts", false, jsonResponse(R"({"access_token":)"),
                       "the identity service's answer could not be read"},
        RenewalFailure{"ArrayBetweenProducts", false, jsonResponse("[1, 2]"),
                       "the identity service's answer could not be read"},
        RenewalFailure{"HtmlPageAfterARefusedToken", true, plainResponse(200, "text/html", "<html>login</html>"),
                       "the identity service sent no JSON answer"},
        RenewalFailure{"RefusedAfterARefusedToken", true, jsonResponse(R"({"error":"invalid_grant"})", 400),
                       "the identity service gave no token"}),
    [](const testing::TestParamInfo<RenewalFailure>& info) { return std::string(info.param.name); });

TEST_F(RemoteDownload, TheQueueKeepsWhatWasClickedAcrossANewSearch)
{
    const QByteArray body = randomBytes(2000, 13);
    answerProducts([body](int, const Request&) { return product(body); });
    openWithResults(3);
    delayTokens(500);
    check({2});
    window->ui->pushButtonRemoteDownload->click();
    // A new search with a single result before the token arrives.
    answerPages(pagesOf({1}));
    find();
    ASSERT_EQ(results()->topLevelItemCount(), 1);
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 1 && isReady(); }));
    EXPECT_EQ(downloadPaths(), QList<QByteArray>({"/download/2"}));
    EXPECT_EQ(folderEntries(), QStringList({"P2.zip"}));
}

TEST_F(RemoteDownload, TheClickNeedsAFolderAndAsksForATokenEvenWithNothingChecked)
{
    openWithResults(2);
    const int tokens = tokensIssued();

    window->downloadDirectory.clear();
    window->ui->pushButtonRemoteDownload->click();
    EXPECT_EQ(boxTexts(), QStringList({"Please select directory."}));
    EXPECT_EQ(dialogs.requests[0].icon, 0);
    QTest::qWait(100);
    EXPECT_EQ(tokensIssued(), tokens);

    window->downloadDirectory = folderPath();
    window->ui->pushButtonRemoteDownload->click();
    EXPECT_EQ(boxTexts().last(), "Please select files to download");
    ASSERT_TRUE(waitUntil([&] { return tokensIssued() == tokens + 1 && window->accessToken == "tok-2"; }));
    EXPECT_TRUE(server.requests("/download/").isEmpty());
}

TEST_F(RemoteDownload, TheFolderIsChosenStoredAndShown)
{
    openWithResults(0);
    dialogs.fileAnswers = {{"/data/new"}, {}};
    window->ui->toolButtonRemoteChangeDir->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Select directory");
    EXPECT_EQ(dialogs.fileRequests[0].directory, folderPath());
    EXPECT_EQ(dialogs.fileRequests[0].options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(window->downloadDirectory, "/data/new");
    EXPECT_EQ(window->ui->lineEditRemoteDirectory->text(), "/data/new");
    EXPECT_EQ(QSettings().value("remoteLoader/downloadDirectory").toString(), "/data/new");

    // Cancelled: nothing changes.
    window->ui->toolButtonRemoteChangeDir->click();
    EXPECT_EQ(window->downloadDirectory, "/data/new");
    EXPECT_EQ(QSettings().value("remoteLoader/downloadDirectory").toString(), "/data/new");
}

// The field only shows where files go: what a user types there changes
// neither the field nor the folder, and the product lands in the folder the
// field names.
TEST_F(RemoteDownload, TheFolderFieldShowsWhereFilesGo)
{
    const QByteArray body = randomBytes(3000, 21);
    answerProducts([body](int, const Request&) { return product(body); });
    openWithResults(1);
    QLineEdit* field = window->ui->lineEditRemoteDirectory;
    ASSERT_EQ(field->text(), folderPath());
    field->setFocus();
    QTest::keyClicks(field, "/dl2");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(field->text(), folderPath());
    EXPECT_EQ(window->downloadDirectory, folderPath());

    check({0});
    window->ui->pushButtonRemoteDownload->click();
    ASSERT_TRUE(waitUntil([&] { return server.requests("/download/").size() == 1 && isReady(); }));
    EXPECT_EQ(fileBytes(field->text() + "/P0.zip"), body);
}

TEST_F(RemoteDownload, NoPasswordOrTokenInAnyLogLine)
{
    static std::mutex mutex;
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            std::lock_guard lock(mutex);
            lines.append(message);
        });
    const QByteArray body = randomBytes(1000, 14);
    answerProducts([body](int, const Request&) { return product(body); });
    openWithResults(1);
    check({0});
    window->ui->pushButtonRemoteDownload->click();
    const bool done = waitUntil([&] { return server.requests("/download/").size() == 1 && isReady(); });
    qInstallMessageHandler(previous);
    ASSERT_TRUE(done);

    EXPECT_TRUE(lines.join("\n").contains("/download/0"));
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains("secret")) << line.toStdString();
        EXPECT_FALSE(line.contains("tok-")) << line.toStdString();
        EXPECT_FALSE(line.contains("Bearer")) << line.toStdString();
    }
    // No key but the two credential keys holds them.
    QSettings settings;
    for (const QString& key : settings.allKeys()) {
        if (key == "remoteLoader/newCopernicusPass")
            continue;
        EXPECT_FALSE(settings.value(key).toString().contains("secret")) << key.toStdString();
        EXPECT_FALSE(settings.value(key).toString().contains("tok-")) << key.toStdString();
    }
}

TEST(RemoteLoaderSpeed, TextsByRate)
{
    const struct {
        qint64 received;
        qint64 elapsedMs;
        const char* text;
    } cases[] = {
        {512, 1000, "512.0 bytes/sec"},
        {1536, 1000, "1.5 kB/s"},
        {3 * 1024 * 1024, 2000, "1.5 MB/s"},
        {0, 700, "0.0 bytes/sec"},
        // A progress report in the first millisecond divides by 1 ms.
        {100, 0, "97.7 kB/s"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(downloadSpeedText(c.received, c.elapsedMs), c.text) << c.received << " in " << c.elapsedMs;
}

TEST_F(RemoteWindow, TheProgressBarShowsUnknownAndHugeTotals)
{
    window = std::make_unique<RemoteLoader>();
    QProgressBar* bar = window->ui->progressBarRemoteDownload;
    window->downloadTimer.start();

    window->updateProgress(4096, -1);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 0);

    window->updateProgress(300, 1200);
    EXPECT_EQ(bar->maximum(), 1200);
    EXPECT_EQ(bar->value(), 300);

    // 6 GiB do not fit the bar's int: shown in coarser units, same share.
    const qint64 gib = qint64(1) << 30;
    window->updateProgress(3 * gib, 6 * gib);
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_NEAR(double(bar->value()) / bar->maximum(), 0.5, 1e-6);
}

} // namespace
