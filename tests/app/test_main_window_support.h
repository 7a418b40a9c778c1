#pragma once

// Shared pieces of the main window tests: a working directory with a default
// configuration, the recorded close question, and a collector of the Qt
// warnings printed while a window is built.

#include <filesystem>
#include <string>

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "app/WidgetUtils.h"
#include "support/TestSupport.h"

namespace MainWindowTest {

// A default configuration with the 22 keys, colours quoted as the program
// writes them.
inline const char* defaultConfigText()
{
    return "[Curve]\n"
           "lineWidth=2\n"
           "currentCurveColor=\"255,255,0,255\"\n"
           "activeCurveColor=\"255,0,0,255\"\n"
           "unactiveCurveColor=\"0,200,255,255\"\n"
           "\n"
           "[ImgFile]\n"
           "channelType=1\n"
           "redBand=B04\n"
           "greenBand=B03\n"
           "blueBand=B02\n"
           "bottomHistCrop=1\n"
           "topHistCrop=1\n"
           "\n"
           "[JP2ZipFile]\n"
           "channelType=1\n"
           "redBand=B04\n"
           "greenBand=B03\n"
           "blueBand=B02\n"
           "bottomHistCrop=1.5\n"
           "topHistCrop=0.5\n"
           "workingWidth=1002\n"
           "workingHeight=1002\n"
           "\n"
           "[HabitatPlot]\n"
           "markWidth=8\n"
           "markColor=\"255,0,255,255\"\n"
           "selectedMarkColor=\"0,255,0,255\"\n"
           "\n"
           "[Global]\n"
           "linkWidgets=1\n";
}

// Path of a file at the repository's root, found from this source file.
inline std::filesystem::path repositoryFile(const std::string& name)
{
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / name;
}

// Records every Qt message of warning level or above while it lives.
class WarningCollector {
public:
    WarningCollector()
    {
        instance_ = this;
        previous_ = qInstallMessageHandler(&WarningCollector::handle);
    }

    ~WarningCollector()
    {
        qInstallMessageHandler(previous_);
        instance_ = nullptr;
    }

    WarningCollector(const WarningCollector&) = delete;
    WarningCollector& operator=(const WarningCollector&) = delete;

    const QStringList& messages() const { return messages_; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (instance_ && type != QtDebugMsg && type != QtInfoMsg)
            instance_->messages_.append(text);
        if (instance_ && instance_->previous_)
            instance_->previous_(type, context, text);
    }

    static inline WarningCollector* instance_ = nullptr;
    QtMessageHandler previous_ = nullptr;
    QStringList messages_;
};

// Answers every question with a fixed button and keeps what was asked.
class RecordedQuestions {
public:
    explicit RecordedQuestions(QMessageBox::StandardButton answer)
        : answer_(answer)
        , scope_([this](const MessageBoxRequest& request) {
            requests.append(request);
            return answer_;
        })
    {
    }

    void setAnswer(QMessageBox::StandardButton answer) { answer_ = answer; }

    QList<MessageBoxRequest> requests;

private:
    QMessageBox::StandardButton answer_;
    ScopedMessageBoxHandler scope_;
};

} // namespace MainWindowTest
