#include "windows/HabitatManager.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <QAbstractItemDelegate>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>
#include <QTextStream>

#include "app/WidgetUtils.h"
#include "forms/HabitatManagerForm.h"
#include "io/AtomicFile.h"
#include "io/HabitatPlotFile.h"
#include "resources/Resources.h"
#include "windows/ComboBoxItemDelegate.h"

namespace HPF = IO::HabitatPlotFile;

namespace {

constexpr char folderKey[] = "habitatManager/folderHabitatFileOpenPath";
constexpr char codeListPath[] = "habitats/habitatCodes.csv";
constexpr char fileFilter[] = "csv (*.csv);;All files (*)";
constexpr int habitatColumn = 3;
constexpr int codeColumn = 1;

QString windowMessageTitle()
{
    return QStringLiteral("Habitat Manager");
}

QTableWidgetItem* readOnlyItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The whole file as a text stream reads it (every CR dropped), within the
// reader's ceiling on its size.
HPF::ReadStatus readWholeFile(const QString& path, std::string& text)
{
    const HPF::ReadStatus status = HPF::readFile(path.toStdString(), text);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return status;
}

} // namespace

HabitatManager::HabitatManager(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::HabitatManager>())
{
    Fenlark::initResources();
    ui->setupUi(this);
    QTableWidget* table = ui->tableWidget;
    // Loaded rows are ordered by the header's sort indicator: at first by
    // "Plot ID" ascending (Qt's default indicator would reverse the file).
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->setSortingEnabled(true);
    setWindowState(windowState() | Qt::WindowMaximized);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setColumnCount(HPF::fieldCount);
    QStringList titles;
    for (const char* title : HPF::columnTitles)
        titles.append(QString::fromLatin1(title));
    table->setHorizontalHeaderLabels(titles);
    loadHabitatCodes();
}

HabitatManager::~HabitatManager()
{
    // An editor still open commits when it loses focus while the widgets go;
    // by then this is no HabitatManager any more.
    disconnect(ui->tableWidget->itemDelegate(), nullptr, this, nullptr);
    if (codeDelegate_)
        disconnect(codeDelegate_, nullptr, this, nullptr);
}

bool HabitatManager::loadHabitatCodes()
{
    std::string text;
    const HPF::ReadStatus read = readWholeFile(QString::fromLatin1(codeListPath), text);
    if (read == HPF::ReadStatus::CannotOpen) {
        showWarningBox(this, windowMessageTitle(), tr("habitatCodes.csv file is missing. Please contact developers."));
        return false;
    }
    const HPF::CodeList list =
        read == HPF::ReadStatus::Read ? HPF::parseCodeList(text) : HPF::CodeList{false, true, {}};
    if (list.tooLarge) {
        showWarningBox(this, windowMessageTitle(), QString::fromStdString(HPF::tooLargeText("The habitat code list")));
        return true;
    }
    if (!list.headerValid) {
        showWarningBox(this, windowMessageTitle(), tr("Habitats Codes file has incorrect structure."));
        return true;
    }
    // In file order, so a later line of a code replaces the earlier name.
    for (const auto& [code, name] : list.entries)
        habitatCodes.insert(fromUtf8(code), fromUtf8(name));
    return true;
}

void HabitatManager::on_actionLoad_triggered()
{
    const QString path = chooseOpenFileName(this, tr("Load habitat data"),
                                            settings.value(QString::fromLatin1(folderKey), QString()).toString(),
                                            QString::fromLatin1(fileFilter));
    if (path.isEmpty())
        return;
    std::string text;
    const HPF::ReadStatus read = readWholeFile(path, text);
    if (read == HPF::ReadStatus::CannotOpen) {
        showWarningBox(this, windowMessageTitle(), tr("Unable to open file."));
        return;
    }
    const HPF::Table plots = read == HPF::ReadStatus::Read ? HPF::parse(text) : HPF::Table{{}, {}, true};
    // The size and the header are checked before anything changes: a
    // rejected file leaves the table, currentFilePath, the folder setting and
    // the editors as they were.
    if (plots.tooLarge) {
        showWarningBox(this, windowMessageTitle(), QString::fromStdString(HPF::tooLargeText("The csv file")));
        return;
    }
    if (!plots.headerValid()) {
        showWarningBox(this, windowMessageTitle(), tr("The csv file has incorrect header structure."));
        return;
    }

    currentFilePath = path;
    QTableWidget* table = ui->tableWidget;
    if (plotCount != 0
        && askQuestion(this, windowMessageTitle(), QStringLiteral("Do you want to append loaded data?"),
                       QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
               != QMessageBox::Yes) {
        plotCount = 0;
        table->setRowCount(0);
    }

    table->setSortingEnabled(false);
    HPF::ProblemLines problems;
    for (const HPF::Row& row : plots.rows) {
        appendPlotRow(row.fields);
        ++plotCount;
        std::string problem = HPF::fieldCountProblem(row);
        if (!problem.empty())
            problems.add(std::move(problem));
    }
    settings.setValue(QString::fromLatin1(folderKey), QFileInfo(path).absolutePath());

    // Open editors, selection and scroll position go; the rows are then
    // ordered by the header's sort indicator.
    table->reset();
    table->setSortingEnabled(true);
    installEditingHooks();

    if (!problems.empty()) {
        showWarningBox(this, windowMessageTitle(),
                       tr("Some plot lines do not have 16 fields:\n%1\nMissing fields were left empty; fields after "
                          "the sixteenth were not loaded and will not be saved.")
                           .arg(fromUtf8(problems.text("\n"))));
    }
}

void HabitatManager::appendPlotRow(const std::vector<std::string>& fields)
{
    QTableWidget* table = ui->tableWidget;
    const QString code = fields.size() > static_cast<std::size_t>(codeColumn)
                             ? fromUtf8(fields[codeColumn]).trimmed()
                             : QString();
    QString name = fields.size() > static_cast<std::size_t>(habitatColumn) ? fromUtf8(fields[habitatColumn])
                                                                           : QString();
    const auto known = habitatCodes.constFind(code);
    if (known != habitatCodes.constEnd())
        name = known.value();
    else
        habitatCodes.insert(code, name);

    const int row = table->rowCount();
    table->insertRow(row);
    const std::size_t count = std::min(fields.size(), static_cast<std::size_t>(HPF::fieldCount));
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<int>(i) != habitatColumn)
            table->setItem(row, static_cast<int>(i), new QTableWidgetItem(fromUtf8(fields[i])));
    }
    // Also for a line too short to reach it: "Habitat" is never left to the
    // user's editing.
    table->setItem(row, habitatColumn, readOnlyItem(name));
}

void HabitatManager::installEditingHooks()
{
    QTableWidget* table = ui->tableWidget;
    // The view connected itself to each delegate first, so it has taken a
    // closing editor away before editClosed runs.
    connect(table->itemDelegate(), &QAbstractItemDelegate::commitData, this, &HabitatManager::editCommitted,
            Qt::UniqueConnection);
    connect(table->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, &HabitatManager::editClosed,
            Qt::UniqueConnection);
    ComboBoxItemDelegate* replaced = codeDelegate_;
    codeDelegate_ = new ComboBoxItemDelegate(habitatCodes, this);
    table->setItemDelegateForColumn(codeColumn, codeDelegate_);
    connect(codeDelegate_, &QAbstractItemDelegate::commitData, this, &HabitatManager::editCommitted,
            Qt::UniqueConnection);
    connect(codeDelegate_, &ComboBoxItemDelegate::codeStored, this, &HabitatManager::codeStored,
            Qt::UniqueConnection);
    connect(codeDelegate_, &QAbstractItemDelegate::closeEditor, this, &HabitatManager::editClosed,
            Qt::UniqueConnection);
    // No editor of it is open: the load closed them all.
    delete replaced;
}

// The editor is still open while it commits: a dialog opened then would take
// its focus, the editor would commit again on losing it, and the view would
// later close an editor already gone. So a commit only notes its code cell
// (Tab moves the current cell on when the editor closes); the cell is handled
// once the editor has closed, or, where the view closed it without the
// delegate's signal, when the event loop next runs.

void HabitatManager::editCommitted()
{
    QTableWidget* table = ui->tableWidget;
    if (table->currentColumn() == codeColumn && table->currentRow() >= 0)
        noteEditedCode(table->model()->index(table->currentRow(), codeColumn));
}

void HabitatManager::codeStored(const QModelIndex& index)
{
    noteEditedCode(index);
}

void HabitatManager::noteEditedCode(const QModelIndex& index)
{
    if (askingName_ || !index.isValid())
        return;
    editedCode_ = QPersistentModelIndex(index);
    if (!editDonePending_) {
        editDonePending_ = true;
        QMetaObject::invokeMethod(this, &HabitatManager::editClosed, Qt::QueuedConnection);
    }
}

void HabitatManager::editClosed()
{
    editDonePending_ = false;
    if (editedCode_.isValid() && !askingName_)
        cellEditDone();
}

void HabitatManager::cellEditDone()
{
    if (askingName_)
        return;
    QTableWidget* table = ui->tableWidget;
    int row = -1;
    if (editedCode_.isValid()) {
        row = editedCode_.row();
        editedCode_ = QPersistentModelIndex();
    } else if (table->currentColumn() == codeColumn) {
        row = table->currentRow();
    }
    if (row < 0)
        return;
    QPersistentModelIndex codeIndex(table->model()->index(row, codeColumn));
    const QTableWidgetItem* codeItem = table->item(row, codeColumn);
    const QString code = codeItem ? codeItem->text() : QString();
    if (!habitatCodes.contains(code)) {
        askingName_ = true;
        const std::optional<QString> name =
            chooseText(this, tr("New habitat code"), tr("Habitat name:"), QLineEdit::Normal, QString());
        askingName_ = false;
        if (name && !name->isEmpty())
            habitatCodes.insert(code, *name);
        // The rows may have moved (or gone) while the dialog was up.
        if (!codeIndex.isValid())
            return;
        row = codeIndex.row();
    }
    const QString name = habitatCodes.value(code);
    if (QTableWidgetItem* habitat = table->item(row, habitatColumn))
        habitat->setText(name);
    else
        table->setItem(row, habitatColumn, readOnlyItem(name));
}

void HabitatManager::on_pushButton_addPlot_clicked()
{
    QTableWidget* table = ui->tableWidget;
    table->insertRow(table->rowCount());
    QTableWidgetItem* habitat = readOnlyItem(QString());
    // With the table sorted by "Habitat" the new row moves to its place; the
    // current cell follows it.
    table->setItem(table->rowCount() - 1, habitatColumn, habitat);
    ++plotCount;
    table->setCurrentCell(table->row(habitat), 0);
}

void HabitatManager::on_pushButton_removePlot_clicked()
{
    QTableWidget* table = ui->tableWidget;
    if (table->rowCount() == 0)
        return;
    if (askQuestion(this, QStringLiteral("Remove confirmation"),
                    QStringLiteral("Are you sure you want to remove selected plots?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        != QMessageBox::Yes)
        return;
    std::set<int> rows;
    for (const QTableWidgetItem* item : table->selectedItems())
        rows.insert(item->row());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        table->removeRow(*it);
    table->clearSelection();
}

void HabitatManager::on_lineEdit_filterHabitat_textChanged(const QString& text)
{
    QTableWidget* table = ui->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        bool shown = false;
        for (int column = 0; column < table->columnCount() && !shown; ++column) {
            const QTableWidgetItem* item = table->item(row, column);
            shown = item && item->text().contains(text, Qt::CaseInsensitive);
        }
        table->setRowHidden(row, !shown);
    }
}

void HabitatManager::sortTable(int column)
{
    ui->tableWidget->sortItems(column, Qt::AscendingOrder);
}

std::vector<std::vector<std::string>> HabitatManager::tableRows() const
{
    const QTableWidget* table = ui->tableWidget;
    std::vector<std::vector<std::string>> rows;
    rows.reserve(static_cast<std::size_t>(table->rowCount()));
    for (int row = 0; row < table->rowCount(); ++row) {
        std::vector<std::string> cells(HPF::fieldCount);
        for (int column = 0; column < HPF::fieldCount; ++column) {
            if (const QTableWidgetItem* item = table->item(row, column))
                cells[static_cast<std::size_t>(column)] = item->text().toStdString();
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

void HabitatManager::writePlotFile(QTextStream& stream)
{
    stream.setEncoding(QStringConverter::Utf8);
    stream.setGenerateByteOrderMark(false);
    stream << fromUtf8(HPF::format(tableRows()));
    stream.flush();
}

bool HabitatManager::tableWritable()
{
    const std::optional<std::pair<int, int>> unsafe = HPF::findUnsafeCell(tableRows());
    if (!unsafe)
        return true;
    const QString column = QString::fromLatin1(HPF::columnTitles[static_cast<std::size_t>(unsafe->second)]);
    showWarningBox(this, windowMessageTitle(),
                   tr("Unable to save file: the cell in row %1, column \"%2\" contains \";\" or a line break, which "
                      "the habitat plot file cannot hold. Nothing was written.")
                       .arg(unsafe->first + 1)
                       .arg(column));
    return false;
}

void HabitatManager::saveTo(const QString& path)
{
    if (!IO::writeFileAtomically(QFile::encodeName(path).toStdString(), HPF::format(tableRows())))
        showWarningBox(this, windowMessageTitle(), tr("Unable to save file."));
}

void HabitatManager::saveUnderChosenName()
{
    const QString path =
        chooseSaveFileName(this, tr("Select file name"), QString(), QString::fromLatin1(fileFilter));
    if (path.isEmpty())
        return;
    saveTo(path);
}

void HabitatManager::on_actionSave_triggered()
{
    if (!tableWritable())
        return;
    if (currentFilePath.isEmpty()) {
        saveUnderChosenName();
        return;
    }
    if (askQuestion(this, windowMessageTitle(),
                    QStringLiteral("The existing file will be replaced. Do you wanto to continue?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton)
        != QMessageBox::Yes)
        return;
    saveTo(currentFilePath);
}

void HabitatManager::on_actionSave_as_triggered()
{
    if (!tableWritable())
        return;
    saveUnderChosenName();
}
