// The dialog seam: every modal question goes through one replaceable
// handler; one test drives the real message box to prove the real path.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "app/WidgetUtils.h"

namespace {

struct RecordedMessages {
    QList<MessageBoxRequest> requests;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

    MessageBoxHandler handler()
    {
        return [this](const MessageBoxRequest& request) {
            requests.append(request);
            return answer;
        };
    }
};

} // namespace

TEST(DialogSeam, MessageBoxGoesToTheHandlerWithTextAndIcon)
{
    RecordedMessages recorded;
    ScopedMessageBoxHandler scope(recorded.handler());
    showMessageBox("Unable to save all files.", 2);
    showMessageBox("All files are saved.", 0);
    ASSERT_EQ(recorded.requests.size(), 2);
    const MessageBoxRequest& warning = recorded.requests[0];
    EXPECT_EQ(warning.kind, MessageBoxRequest::Kind::Message);
    EXPECT_EQ(warning.text, "Unable to save all files.");
    EXPECT_EQ(warning.icon, 2);
    EXPECT_EQ(warning.parent, nullptr);
    EXPECT_TRUE(warning.title.isEmpty());
    EXPECT_EQ(recorded.requests[1].icon, 0);
}

TEST(DialogSeam, QuestionsAndTitledWarningsReturnTheHandlersAnswer)
{
    QWidget window;
    RecordedMessages recorded;
    ScopedMessageBoxHandler scope(recorded.handler());

    recorded.answer = QMessageBox::No;
    EXPECT_EQ(askQuestion(&window, "Close Confirmation", "Are you sure you want to exit?"), QMessageBox::No);
    recorded.answer = QMessageBox::Yes;
    EXPECT_EQ(askQuestion(nullptr, "Relevancy map", "Do you want to compute relevancy map?"), QMessageBox::Yes);
    recorded.answer = QMessageBox::Ok;
    EXPECT_EQ(showWarningBox(&window, "Habitat Manager", "Unable to save file."), QMessageBox::Ok);

    ASSERT_EQ(recorded.requests.size(), 3);
    const MessageBoxRequest& question = recorded.requests[0];
    EXPECT_EQ(question.kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(question.parent, &window);
    EXPECT_EQ(question.title, "Close Confirmation");
    EXPECT_EQ(question.text, "Are you sure you want to exit?");
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(question.icon, 4);
    EXPECT_EQ(recorded.requests[1].parent, nullptr);
    const MessageBoxRequest& warning = recorded.requests[2];
    EXPECT_EQ(warning.kind, MessageBoxRequest::Kind::Warning);
    EXPECT_EQ(warning.title, "Habitat Manager");
    EXPECT_EQ(warning.icon, 2);
    EXPECT_EQ(warning.buttons, QMessageBox::Ok);
}

TEST(DialogSeam, ScopedHandlersNestAndRestore)
{
    RecordedMessages outer, inner;
    {
        ScopedMessageBoxHandler outerScope(outer.handler());
        {
            ScopedMessageBoxHandler innerScope(inner.handler());
            showMessageBox("inner", 0);
        }
        showMessageBox("outer", 0);
    }
    ASSERT_EQ(inner.requests.size(), 1);
    EXPECT_EQ(inner.requests[0].text, "inner");
    ASSERT_EQ(outer.requests.size(), 1);
    EXPECT_EQ(outer.requests[0].text, "outer");
    // Back to the real dialogs: no handler installed.
    EXPECT_FALSE(setMessageBoxHandler({}));
    EXPECT_FALSE(setFileDialogHandler({}));
}

TEST(DialogSeam, FileDialogsGoToTheHandler)
{
    QWidget window;
    QList<FileDialogRequest> requests;
    QStringList answer;
    ScopedFileDialogHandler scope([&](const FileDialogRequest& request) {
        requests.append(request);
        return answer;
    });

    answer = {"/data/a.zip", "/data/b.zip"};
    EXPECT_EQ(chooseOpenFileNames(&window, "Load image data", "/data", "Sentinel2 zip file (*.zip)"), answer);
    EXPECT_EQ(chooseOpenFileName(&window, "Load habitat data", "", "csv (*.csv);;All files (*)"), "/data/a.zip");
    answer = {};
    EXPECT_TRUE(chooseSaveFileName(nullptr, "Save curve", "/curves/set", "KML file (*.kml);;All files (*)").isEmpty())
        << "a cancelled dialog gives an empty name";
    answer = {"/work"};
    EXPECT_EQ(chooseExistingDirectory(&window, "Select directory", "/start"), "/work");

    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests[0].kind, FileDialogRequest::Kind::OpenFiles);
    EXPECT_EQ(requests[0].parent, &window);
    EXPECT_EQ(requests[0].caption, "Load image data");
    EXPECT_EQ(requests[0].directory, "/data");
    EXPECT_EQ(requests[0].filter, "Sentinel2 zip file (*.zip)");
    EXPECT_EQ(requests[1].kind, FileDialogRequest::Kind::OpenFile);
    EXPECT_EQ(requests[2].kind, FileDialogRequest::Kind::SaveFile);
    EXPECT_EQ(requests[2].directory, "/curves/set");
    EXPECT_EQ(requests[3].kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(requests[3].options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

// The one test that shows the real modal box: a timer finds it, checks it
// and presses its button.
TEST(DialogSeam, RealMessageBoxIsModalWithoutIconAndWithOneOkButton)
{
    struct Seen {
        bool found = false;
        QString text;
        QMessageBox::Icon icon = QMessageBox::Warning;
        int buttonCount = -1;
        bool okButton = false;
        bool hasParent = true;
        Qt::WindowModality modality = Qt::NonModal;
    } seen;

    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        seen.found = true;
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttonCount = static_cast<int>(box->buttons().size());
        seen.okButton = box->button(QMessageBox::Ok) != nullptr;
        seen.hasParent = box->parentWidget() != nullptr;
        seen.modality = box->windowModality();
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->done(0);
    });
    // Should the box never be found, close whatever box is open rather than
    // leave the test to the watchdog.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                box->done(0);
        }
    });
    poll.start();
    fallback.start(10000);

    showMessageBox("Select working directory", 0);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "Select working directory");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttonCount, 1);
    EXPECT_TRUE(seen.okButton);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
}
