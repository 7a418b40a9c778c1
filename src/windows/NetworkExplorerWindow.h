#pragma once

// The network browser: lists the trained networks (natNet files) of one
// folder, shows the description of the selected one and lets the user
// choose one.
//
// A file is listed when its name ends in ".csv", its part before the first
// "_" is exactly "natNet" (so "natNet.csv" is not) and its header reads
// completely; others are left out without a message.
//
// Owner and modality: the opener creates it parented to itself (the main
// window, or the classification window), window-modal and deleted on close,
// connects pushButtonNetExplorerChoose to its own slot (which runs after the
// window's own Choose slot, connected with the form), reads chosenNetwork
// and closes the window. The window never closes itself.

#include <memory>
#include <utility>

#include <QList>
#include <QMainWindow>
#include <QSettings>
#include <QString>

#include "analysis/NatNetInfo.h"

class QCloseEvent;
class QTreeWidgetItem;

namespace Ui {
class NetworkExplorerWindow;
}

class NetworkExplorerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit NetworkExplorerWindow(QWidget* parent = nullptr);
    ~NetworkExplorerWindow() override;

    // Lists dbDirectory anew: clears both trees, networks and chosenNetwork;
    // with networks, enables Choose and fills the tree, else disables Choose
    // and shows the placeholder row.
    void scanDirectory();
    // One row per network (its file name in column 1), the first current.
    void fillNetworkTree();
    // The description of networks[row] as (attribute, value) pairs; empty
    // for a row outside the list.
    QList<std::pair<QString, QString>> networkInfoRows(int row) const;

    std::unique_ptr<Ui::NetworkExplorerWindow> ui;
    // The network of the last Choose; an empty file name means none.
    NatNetInfo chosenNetwork;
    // Only "networkExplorer/dbDirectory" is read and written.
    QSettings settings;
    QString dbDirectory;
    // The listed networks; row r of the networks tree is element r.
    QList<NatNetInfo> networks;

public slots:
    void on_toolButtonNetExplorerChangeDir_clicked();
    void on_pushButtonNetExplorerChoose_clicked();
    void on_treeWidgetNetExplorerTrainedNet_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

protected:
    // Closes at once, without asking.
    void closeEvent(QCloseEvent* event) override;

private:
    // The row of the networks tree's current item when it names a listed
    // network, else -1 (the placeholder row, no row).
    int currentNetworkRow() const;
};
