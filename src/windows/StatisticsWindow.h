#pragma once

// The statistics window: for chosen curve sets of one data set the area,
// perimeter and isoperimetric ratio of every curve and the band statistics
// of every set over chosen channels, in one table; for two data sets of one
// ground both side by side with difference rows; the Hausdorff comparison of
// two curve sets; the area-monitoring comparison; and the "NatNet" exports.
//
// Owner and modality: the main window creates it without parent, deleted on
// close and application-modal (it blocks the main window and every tool
// window that could change the lists it holds), and keeps no reference.
// Closing asks for confirmation.
//
// Curve sets: the statistics and the differences windows work on the main
// window's own curve-set list of the active data set, held by reference;
// what they measure on the data set that owns those sets stays there (the
// homogeneity tools reuse it). Values measured on another data set are
// computed on copies and only shown. The area-monitoring window takes over
// the list of two copies its opener built and owns it for its lifetime.
//
// Channels: the bands of the first data set, named as there. The second data
// set (a product of another processing level has another band list) is
// measured in its band of the same code; a channel it lacks leaves its cells
// and differences empty and is named in one warning per Compute.

#include <memory>
#include <string>
#include <vector>

#include <QList>
#include <QMainWindow>
#include <QStringList>

#include "io/Curve.h"
#include "windows/StatisticsExport.h"

namespace IO {
class File;
}

namespace Ui {
class StatisticsWindow;
}

class QListWidget;

class StatisticsWindow : public QMainWindow {
    Q_OBJECT

public:
    // With areaMonitoring set, curveSets holds the two sets to compare (the
    // first drawn on the first data set, the second on the second); the
    // window moves them into a list of its own and leaves curveSets empty.
    StatisticsWindow(QList<UI::CurveSet>& curveSets, QList<IO::File*> dataFiles, int level, bool areaMonitoring,
                     QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    // The data set whose curve-set list the window holds; its measurements
    // are kept in those sets. Defaults to the first data set.
    void setCurveSetOwner(IO::File* owner);
    // The list the window works on and its data sets.
    const QList<UI::CurveSet>& curveSets() const { return curveSets_; }
    const QList<IO::File*>& dataFiles() const { return dataFiles_; }

    void fillStatisticsList();
    void fillCurveSetList();
    void fillChannelList();

    // Rows of the selected curve sets in the order they were selected.
    QList<int> selectedCurveSets() const;
    // Curve sets (selection order), channels (ascending) and statistic
    // types (selection order); false after the warning of the first missing
    // choice (channel, curve set, statistic type, in this order).
    bool readSelection(QList<int>& curveSetIndexes, QList<int>& channels, QList<int>& types);

    // The background task: computeCurveSetStatistics of each listed set of
    // the window's list on file, each channel measured in file's band of the
    // same code (a channel file lacks is skipped). Always true.
    bool computeStatistics(QList<int> curveSetIndexes, QList<int> channels, QList<int> types, IO::File* file,
                           int margin);
    // One data set's block of the table, from the window's list: the
    // channels' rows hold the values of file's bands of the same code, empty
    // where file has none.
    void showStatistics(QList<int> curveSetIndexes, QList<int> channels, QList<int> types, IO::File* file,
                        int offset);
    void fillDifferenceRows(QList<int> channels, QList<int> types, int offset);
    // Fills the comparison table of sets A and B, the first two indexes (the
    // caller cleared it and set 6 columns). A set without curve leaves the
    // distances "not computed"; the callers warn before that.
    void showComparison(QList<int> curveSetIndexes);

    // What the large export ended with.
    enum class LargeExportResult {
        Failed = 0,    // no file written (cannot create or write one)
        Written,
        ReadFailed,    // the channels could not be read; nothing written
        OutOfMemory,   // nothing written
    };
    // The task of the large export: reads the channels of the whole grid of
    // file at level, writes the six large statistics files into folder on a
    // team of `threads` OpenMP threads and renames them into place. Nothing
    // of an earlier export is replaced unless all six files were written.
    static LargeExportResult exportLargeStatistics(IO::File* file, int level, std::vector<int> channels, int radius,
                                                   std::string folder, int threads);
    // The parallel loop: inner rows 0 .. height - 13 split statically over
    // `threads` threads, thread k appending its lines to descriptor k, so the
    // files read in order list the inner area row by row. Each finished row
    // prints its index and thread. False when a write failed or memory ran
    // out (outOfMemory tells which).
    static bool writeLargeStatisticsRows(const StatisticsExport::LargeGrid& grid, const std::vector<int>& descriptors,
                                         int threads, bool& outOfMemory);

    std::unique_ptr<Ui::StatisticsWindow> ui;
    // Labels of the statistics list and the keys the curve statistics
    // export writes.
    QStringList statisticsLabels;
    QStringList statisticsKeys;
    // Band level of every read; 0 from every opener.
    int level = 0;
    // The header row of the last statistics fill, where the difference rows
    // start; -1 before the first.
    int firstDifferenceRow = -1;

public slots:
    void on_pushButtonStatisticsCompute_clicked();
    void on_pushButtonCompare_clicked();
    void on_actionExport_curves_statistics_triggered();
    void on_actionExport_large_file_of_statistics_triggered();
    void on_pushButtonStatisticsSelectAllCuves_clicked();
    void on_pushButtonStatisticsUnselectAllCurves_clicked();
    void on_pushButtonStatisticsSelectAllChannels_clicked();
    void on_pushButtonStatisticsUnselectAllChannels_clicked();
    void on_pushButtonStatisticsSelectAllStats_clicked();
    void on_pushButtonStatisticsUnselectAllStats_clicked();

protected:
    // The standard Copy shortcut copies the table's first selected range.
    void keyPressEvent(QKeyEvent* event) override;
    // Asks "Close Confirmation"; closes on Yes only.
    void closeEvent(QCloseEvent* event) override;

private:
    // Keeps the rows of a multi-selection list in the order they were
    // selected.
    void trackSelectionOrder(QListWidget* list, QList<int>& order);
    // Channels are the bands of the first data set: their count, a
    // channel's band code (its display name for a band without code) and
    // display name.
    int channelCount() const;
    QString channelCode(int channel) const;
    QString channelName(int channel) const;
    // Per channel the band of file with the same band code (the same
    // display name for a band without code; the n-th of a kind in the first
    // data set is the n-th of that kind in file), -1 where file has none.
    QList<int> bandsOf(const IO::File* file, const QList<int>& channels) const;
    // Grows the statistics lists of the sets to the band count of the data
    // set that owns them (new entries -1), so every band has a slot.
    void growStatistics(const QList<int>& curveSetIndexes);
    void computeMissingGeometry(QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes);
    // Runs the statistics task on file's bands behind the progress dialog,
    // on the window's list when file owns it (or the window has one data
    // set), otherwise on copies whose statistics start afresh at file's band
    // count, returned in `measured`; returns the list that holds the results
    // (indexed by file's bands). The bands of file that could not be
    // measured for a set (a failed read, a window leaving the data set) go
    // to unmeasured when it is given.
    QList<UI::CurveSet>& measure(const QList<int>& curveSetIndexes, const QList<int>& channels,
                                 const QList<int>& types, IO::File* file, int margin,
                                 QList<UI::CurveSet>& measured, QList<int>* unmeasured = nullptr);
    // A block of sets measured on file: rows named after the channels,
    // values from file's bands (one per channel, -1 for an empty row).
    void showStatisticsOf(const QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes,
                          const QList<int>& channels, const QList<int>& bands, const QList<int>& types,
                          IO::File* file, int offset);
    // Ground size in metres of one pixel of the grid the curve sets lie on:
    // that of the data set that owns them (the data sets of one window share
    // one ground).
    double metresPerPixel() const;
    // Warns and answers false when a listed set has no curve to compare.
    bool comparable(const QList<int>& curveSetIndexes);
    void clearTable(int columns);

    // Measures the sets on the bands `channels` of file; returns the bands
    // that could not be measured for some set.
    static QList<int> measureSets(QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes,
                                  const QList<int>& channels, const QList<int>& types, IO::File* file, int level,
                                  int margin);

    // The area-monitoring list; empty in the other modes.
    QList<UI::CurveSet> ownedCurveSets_;
    // The list the window works on: the opener's or ownedCurveSets_.
    QList<UI::CurveSet>& curveSets_;
    QList<IO::File*> dataFiles_;
    IO::File* owner_ = nullptr;
    QList<int> curveOrder_;
    QList<int> typeOrder_;
};
