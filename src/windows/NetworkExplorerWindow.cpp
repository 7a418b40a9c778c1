#include "windows/NetworkExplorerWindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "app/WidgetUtils.h"
#include "forms/NetworkExplorerWindowForm.h"

namespace {

constexpr char directoryKey[] = "networkExplorer/dbDirectory";

// A number as printf's "%f" writes it in the "C" locale: six decimals and a
// point, whatever the user's locale.
QString sixDecimals(double value)
{
    return QString::number(value, 'f', 6);
}

// Each name followed by ", ".
QString listed(const std::vector<std::string>& names)
{
    QString text;
    for (const std::string& name : names)
        text += QString::fromStdString(name) + QStringLiteral(", ");
    return text;
}

} // namespace

NetworkExplorerWindow::NetworkExplorerWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::NetworkExplorerWindow>())
{
    chosenNetwork.clear();
    ui->setupUi(this);
    dbDirectory = settings.value(QString::fromLatin1(directoryKey), QString()).toString();
    if (dbDirectory.isEmpty())
        dbDirectory = QDir::currentPath() + QStringLiteral("/natNets");
    ui->lineEditNetExplorerDirectory->setText(dbDirectory);
    scanDirectory();
}

NetworkExplorerWindow::~NetworkExplorerWindow() = default;

void NetworkExplorerWindow::scanDirectory()
{
    {
        const QSignalBlocker blockNetworks(ui->treeWidgetNetExplorerTrainedNet);
        ui->treeWidgetNetExplorerTrainedNet->clear();
    }
    ui->treeWidgetNetExplorerNetInfo->clear();
    networks.clear();
    chosenNetwork.clear();

    const QDir directory(dbDirectory);
    if (directory.exists()) {
        // The default listing, by name without regard to case.
        const QStringList names = directory.entryList({QStringLiteral("*.csv")}, QDir::NoFilter,
                                                      QDir::Name | QDir::IgnoreCase);
        for (const QString& name : names) {
            if (name.split(QLatin1Char('_')).first() != QLatin1String("natNet"))
                continue;
            NatNetInfo network;
            network.fileName = name.toStdString();
            network.directory = (dbDirectory + QLatin1Char('/')).toStdString();
            if (network.readHeader())
                networks.append(std::move(network));
        }
    }

    if (networks.isEmpty()) {
        ui->pushButtonNetExplorerChoose->setEnabled(false);
        const QSignalBlocker blockNetworks(ui->treeWidgetNetExplorerTrainedNet);
        auto* placeholder = new QTreeWidgetItem(ui->treeWidgetNetExplorerTrainedNet);
        placeholder->setText(1, tr("No Natural Numerical Networks in selected directory."));
        return;
    }
    ui->pushButtonNetExplorerChoose->setEnabled(true);
    fillNetworkTree();
}

void NetworkExplorerWindow::fillNetworkTree()
{
    QTreeWidget* tree = ui->treeWidgetNetExplorerTrainedNet;
    {
        const QSignalBlocker blockNetworks(tree);
        tree->clear();
        for (const NatNetInfo& network : networks) {
            auto* item = new QTreeWidgetItem(tree);
            item->setText(1, QString::fromStdString(network.fileName));
        }
        tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    }
    // Unblocked: the current-item slot shows the first description.
    tree->setCurrentItem(tree->topLevelItem(0));
}

QList<std::pair<QString, QString>> NetworkExplorerWindow::networkInfoRows(int row) const
{
    if (row < 0 || row >= networks.size())
        return {};
    const NatNetInfo& network = networks[row];

    QString clusters;
    for (std::size_t i = 0; i < network.clusterNames.size(); ++i) {
        const int size = i < network.clusterSizes.size() ? network.clusterSizes[i] : 0;
        clusters += QString::fromStdString(network.clusterNames[i]) + QStringLiteral(" (") + QString::number(size)
                    + QStringLiteral("), ");
    }
    QString parameters;
    if (network.parameters.size() >= 3)
        parameters = QStringLiteral("Kx = ") + sixDecimals(network.parameters[0]) + QStringLiteral(", Ky = ")
                     + sixDecimals(network.parameters[1]) + QStringLiteral(", delta = ")
                     + sixDecimals(network.parameters[2]);

    return {
        {tr("Name"), QString::fromStdString(network.fileName)},
        {tr("Number of points"), QString::number(network.numberOfPoints)},
        {tr("Dimension"), QString::number(network.dimension)},
        {tr("Number of clusters"), QString::number(network.clusterSizes.size())},
        {tr("Clusters names (number of points)"), clusters},
        {tr("Parameters"), parameters},
        {tr("Channels names"), listed(network.channelNames)},
        {tr("Statistics names"), listed(network.statisticsNames)},
        {tr("Sentinel-2 image"), QString::fromStdString(network.s2Tile)},
        {tr("Date of image"), QString::fromStdString(network.imageDate)},
    };
}

int NetworkExplorerWindow::currentNetworkRow() const
{
    const QTreeWidget* tree = ui->treeWidgetNetExplorerTrainedNet;
    QTreeWidgetItem* current = tree->currentItem();
    if (!current || networks.isEmpty())
        return -1;
    const int row = tree->indexOfTopLevelItem(current);
    return row >= 0 && row < networks.size() ? row : -1;
}

void NetworkExplorerWindow::on_treeWidgetNetExplorerTrainedNet_currentItemChanged(QTreeWidgetItem* current,
                                                                                   QTreeWidgetItem*)
{
    if (!current || networks.isEmpty())
        return;
    const int row = ui->treeWidgetNetExplorerTrainedNet->indexOfTopLevelItem(current);
    if (row < 0 || row >= networks.size())
        return;
    QTreeWidget* info = ui->treeWidgetNetExplorerNetInfo;
    info->clear();
    for (const auto& [attribute, value] : networkInfoRows(row)) {
        auto* item = new QTreeWidgetItem(info);
        item->setText(0, attribute);
        item->setText(1, value);
    }
}

void NetworkExplorerWindow::on_pushButtonNetExplorerChoose_clicked()
{
    const int row = currentNetworkRow();
    if (row >= 0)
        chosenNetwork = networks[row];
}

void NetworkExplorerWindow::on_toolButtonNetExplorerChangeDir_clicked()
{
    // The listing blocks the tree's signals while it clears it; the first
    // row of a new listing must reach the description slot.
    const QString chosen = chooseExistingDirectory(this, tr("Select directory"),
                                                   ui->lineEditNetExplorerDirectory->text(),
                                                   QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return;
    dbDirectory = chosen;
    settings.setValue(QString::fromLatin1(directoryKey), chosen);
    ui->lineEditNetExplorerDirectory->setText(chosen);
    scanDirectory();
}

void NetworkExplorerWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
}
