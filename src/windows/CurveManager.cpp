#include "windows/CurveManager.h"

#include <QCheckBox>
#include <QDir>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "app/WidgetUtils.h"
#include "forms/CurveManagerForm.h"

namespace {

constexpr char directoryKey[] = "curveManager/dbDirectory";
constexpr char idProperty[] = "id";

} // namespace

CurveManager::CurveManager(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::CurveManager>())
{
    ui->setupUi(this);
    ui->groupBox_2->setEnabled(false);
    databaseDirectory_ = settings_.value(QString::fromLatin1(directoryKey), QString()).toString();
    if (databaseDirectory_.isEmpty())
        databaseDirectory_ = QDir::currentPath() + QStringLiteral("/curves");
    ui->lineEditCurveDbDir->setText(databaseDirectory_);
    scanDirectory();
}

CurveManager::~CurveManager() = default;

void CurveManager::scanDirectory()
{
    fullPaths_.clear();
    fileNames_.clear();
    areaCodes_.clear();
    naturaCodes_.clear();
    fileAttributes_.clear();
    selectedCurveFiles.clear();
    {
        const QSignalBlocker blockResults(ui->treeWidgetResults);
        ui->treeWidgetResults->clear();
    }
    ui->treeWidgetInfo->clear();
    ui->comboBoxAreaCode->clear();
    ui->comboBoxNaturaCode->clear();

    const QDir directory(databaseDirectory_);
    if (directory.exists()) {
        // The default listing: files and folders, no hidden entries, by name
        // without regard to case; the pattern ignores case too.
        const QStringList names = directory.entryList({QStringLiteral("*.kml")});
        for (const QString& name : names) {
            const QStringList parts = name.split(QLatin1Char('_'));
            if (parts.size() < 3)
                continue;
            if (!areaCodes_.contains(parts[0]))
                areaCodes_.append(parts[0]);
            if (!naturaCodes_.contains(parts[1]))
                naturaCodes_.append(parts[1]);
            fullPaths_.append(databaseDirectory_ + QLatin1Char('/') + name);
            fileNames_.append(name);
            fileAttributes_.append({{QStringLiteral("Name"), name},
                                    {QStringLiteral("Area code"), parts[0]},
                                    {QStringLiteral("Natura 2000 code"), parts[1]}});
        }
    }

    if (fullPaths_.isEmpty()) {
        ui->pushButtonFind->setEnabled(false);
        setResultCount(0);
        showMessageBox(QStringLiteral("No curve files in selected directory."), 0);
        return;
    }
    const QString all = QStringLiteral("All");
    ui->comboBoxAreaCode->addItems(areaCodes_);
    ui->comboBoxAreaCode->addItem(all);
    ui->comboBoxNaturaCode->addItems(naturaCodes_);
    ui->comboBoxNaturaCode->addItem(all);
    ui->comboBoxAreaCode->setCurrentIndex(static_cast<int>(areaCodes_.size()));
    ui->comboBoxNaturaCode->setCurrentIndex(static_cast<int>(naturaCodes_.size()));
    ui->pushButtonFind->setEnabled(true);
    ui->groupBox_2->setEnabled(true);
    applyFilter();
}

void CurveManager::applyFilter()
{
    QTreeWidget* results = ui->treeWidgetResults;
    {
        const QSignalBlocker blockResults(results);
        results->clear();
        // "All" is the entry after the codes; any other entry is a code that
        // must occur somewhere in the file's full path (case-sensitive).
        const int area = ui->comboBoxAreaCode->currentIndex();
        const int natura = ui->comboBoxNaturaCode->currentIndex();
        const bool filterArea = area >= 0 && area < areaCodes_.size();
        const bool filterNatura = natura >= 0 && natura < naturaCodes_.size();
        for (int id = 0; id < fullPaths_.size(); ++id) {
            const QString& path = fullPaths_[id];
            if (filterArea && !path.contains(areaCodes_[area], Qt::CaseSensitive))
                continue;
            if (filterNatura && !path.contains(naturaCodes_[natura], Qt::CaseSensitive))
                continue;
            auto* row = new QTreeWidgetItem(results);
            row->setText(1, fileNames_[id]);
            auto* box = new QCheckBox();
            box->setChecked(false);
            box->setMaximumSize(20, 20);
            box->setProperty(idProperty, id);
            results->setItemWidget(row, 0, box);
        }
        for (int column = 0; column < results->columnCount(); ++column)
            results->resizeColumnToContents(column);
        results->setCurrentItem(results->topLevelItem(0));
    }
    // The first row's info, or none when no row is left.
    showFileInfo(results->currentItem());
    setResultCount(results->topLevelItemCount());
}

void CurveManager::setResultCount(int count)
{
    ui->groupBox_2->setTitle(QStringLiteral("%1 Results found").arg(count));
}

int CurveManager::rowFileIndex(QTreeWidgetItem* row) const
{
    if (!row)
        return -1;
    const QWidget* box = ui->treeWidgetResults->itemWidget(row, 0);
    if (!box)
        return -1;
    bool ok = false;
    const int id = box->property(idProperty).toInt(&ok);
    return ok && id >= 0 && id < fullPaths_.size() ? id : -1;
}

void CurveManager::showFileInfo(QTreeWidgetItem* row)
{
    QTreeWidget* info = ui->treeWidgetInfo;
    info->clear();
    const int id = rowFileIndex(row);
    if (id < 0)
        return;
    for (const auto& [attribute, value] : fileAttributes_[id]) {
        auto* item = new QTreeWidgetItem(info);
        item->setText(0, attribute);
        item->setText(1, value);
    }
    for (int column = 0; column < info->columnCount(); ++column)
        info->resizeColumnToContents(column);
}

void CurveManager::on_treeWidgetResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    showFileInfo(current);
}

void CurveManager::on_pushButtonFind_clicked()
{
    if (!fullPaths_.isEmpty())
        applyFilter();
}

void CurveManager::on_toolButtonCurveDbDir_clicked()
{
    const QString chosen = chooseExistingDirectory(this, QStringLiteral("Select directory"),
                                                   ui->lineEditCurveDbDir->text(),
                                                   QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return;
    const QSignalBlocker blockResults(ui->treeWidgetResults);
    databaseDirectory_ = chosen;
    settings_.setValue(QString::fromLatin1(directoryKey), chosen);
    ui->lineEditCurveDbDir->setText(chosen);
    scanDirectory();
}

void CurveManager::setAllChecked(bool checked)
{
    QTreeWidget* results = ui->treeWidgetResults;
    for (int row = 0; row < results->topLevelItemCount(); ++row) {
        if (auto* box = qobject_cast<QCheckBox*>(results->itemWidget(results->topLevelItem(row), 0)))
            box->setChecked(checked);
    }
}

void CurveManager::on_pushButtonSelectAll_clicked()
{
    setAllChecked(true);
}

void CurveManager::on_pushButtonUnselectAll_clicked()
{
    setAllChecked(false);
}

void CurveManager::on_pushButtonLoad_clicked()
{
    QTreeWidget* results = ui->treeWidgetResults;
    for (int row = 0; row < results->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = results->topLevelItem(row);
        const auto* box = qobject_cast<QCheckBox*>(results->itemWidget(item, 0));
        const int id = rowFileIndex(item);
        if (box && box->isChecked() && id >= 0)
            selectedCurveFiles.append(fullPaths_[id]);
    }
}
