#pragma once

// The area classification window: for chosen curve sets of a data set, the
// mean relevancy of every class of a trained network over the pixels inside
// each set, in a table that copies to the clipboard.
//
// Each set is classified over its own window: its bounding box snapped to
// the 6-pixel grid, plus 12 pixels on every side for the network's feature
// windows; the mean runs over the set moved 4 pixels into the region it
// fills. A set that cannot be classified shows "/" in every class column.
//
// Owner and modality: the main window creates it parented to itself,
// application-modal and deleted on close, because the window points into
// the main window's curve-set list and data set, which nothing may change
// while it is open. Its own network explorer is parented to it and
// window-modal to it.

#include <memory>
#include <string>
#include <vector>

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include "analysis/NatNetInfo.h"
#include "io/Curve.h"

enum class ClassificationError;
struct NatNetReading;
class NetworkExplorerWindow;
class QCloseEvent;
class QKeyEvent;

namespace IO {
class File;
}

namespace Ui {
class ClassificationOfAreaWindow;
}

class ClassificationOfAreaWindow : public QMainWindow {
    Q_OBJECT

public:
    ClassificationOfAreaWindow(QList<UI::CurveSet>* curveSets, NatNetInfo network, IO::File* file, int level,
                               QWidget* parent = nullptr);
    ~ClassificationOfAreaWindow() override;

    // The names of the curve sets in list order, all selected.
    void fillCurveList();
    // results[i] gets one mean relevancy per network class for the set at
    // rows[i], or -1 in every class for a set that was not classified. The
    // network's file is read once; that reading becomes network (when it
    // succeeds) and picks the bands and classifies every set. A
    // classification failure warns once per reason and run; a channel
    // without a band warns once per run, a channel that cannot be read once
    // per set, each naming the channel.
    void classifyCurveSets(const QList<int>& rows, std::vector<std::vector<double>>& results);
    // Row 0: the class names from column 1; row j + 1: the set's name, then
    // its values ("/" for -1).
    void fillResultsTable(const QList<int>& rows, const std::vector<std::vector<double>>& results);
    // The data set's band for each network channel, in channel order;
    // returns the channels without a band (they give no entry in out).
    std::vector<std::string> networkBandIndexes(std::vector<int>& out) const;

    std::unique_ptr<Ui::ClassificationOfAreaWindow> ui;
    QList<UI::CurveSet>* curveSets = nullptr;  // the opener's list, not owned
    NatNetInfo network;
    // The explorer this window opened last; null once it is closed.
    QPointer<NetworkExplorerWindow> networkExplorer;
    IO::File* file = nullptr;  // not owned
    int level = 0;             // raster level of the channel reads

public slots:
    void on_pushButtonClassify_clicked();
    void on_pushButtonNetworkExplorer_clicked();
    void on_pushButtonSelectAllCuves_clicked();
    void on_pushButtonUnselectAllCurves_clicked();
    // Takes the explorer's chosen network, if any, and closes the explorer.
    void networkExplorerSetNetwork();

protected:
    // The Copy key copies the table's first selected range; every other key
    // is taken and ignored.
    void keyPressEvent(QKeyEvent* event) override;
    // Closes only when the user confirms.
    void closeEvent(QCloseEvent* event) override;

private:
    // The per-run memory of warnings already shown.
    struct RunWarnings {
        bool missingChannels = false;
        QStringList failures;
    };
    // Classifies one set into values (one per class); false, with values
    // left as they are, when the set is not classified.
    bool classifyCurveSet(const UI::CurveSet& set, const NatNetReading& reading, const std::vector<int>& bands,
                          const std::vector<std::string>& missing, std::vector<double>& values,
                          RunWarnings& warnings);
    // Shows text once per run.
    static void warnOnce(const QString& text, RunWarnings& warnings);
    // "Unable to classify the area with network <file>." and the reason on
    // a line of its own (empty for None).
    QString failureText(ClassificationError error) const;
};
