#pragma once

// The habitat plot table editor: loads habitat plot files ("Plot ID;Natura
// 2000;...;Locality", 16 ";"-fields per line, IO::HabitatPlotFile) into a
// table, lets the user edit, add, remove, filter and sort plots, and saves
// the table again. The habitat code list "habitats/habitatCodes.csv" of the
// working directory gives the habitat name of each Natura 2000 code.
//
// Every field is kept as text; nothing checks what a value means (the main
// window's plot reader does that).
//
// Owner and modality: the main window creates it without parent, makes it
// window-modal and deleted on close, and shows it; it hands nothing back
// and the window holds no data of the main window. The constructor only
// maximises the window, so that the opener's modality applies when it shows
// it (Qt ignores a modality set on a visible window).
//
// Files: a load reads the whole file first; a file whose header is not 16
// fields changes nothing (table, currentFilePath, folder setting). Save and
// Save as write the whole text to a temporary sibling and rename it over the
// target (UTF-8, no byte-order mark, LF), so a failed write leaves the
// earlier file whole; a cell holding ";" or a line break, which the format
// cannot carry, is refused before anything is written.

#include <memory>
#include <string>
#include <vector>

#include <QHash>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QSettings>
#include <QString>

class ComboBoxItemDelegate;
class QTextStream;

namespace Ui {
class HabitatManager;
}

class HabitatManager : public QMainWindow {
    Q_OBJECT

public:
    explicit HabitatManager(QWidget* parent = nullptr);
    ~HabitatManager() override;

    // Reads "habitats/habitatCodes.csv" of the working directory into
    // habitatCodes. False when the file cannot be opened, else true (also
    // when its first line is not of two fields; nothing is entered then).
    bool loadHabitatCodes();

    // Writes the whole table in the plot file format (header, then every row
    // in the table's order, hidden rows included, all-empty rows left out;
    // LF line ends) to the stream and flushes it.
    void writePlotFile(QTextStream& stream);

    std::unique_ptr<Ui::HabitatManager> ui;
    // The native store; only "habitatManager/folderHabitatFileOpenPath".
    QSettings settings;
    // The plot file the last accepted load read; "" until then. Save writes
    // over it; Save and Save as never change it.
    QString currentFilePath;
    // Natura 2000 code -> habitat name: the code list, extended by loads and
    // edits; never written back.
    QHash<QString, QString> habitatCodes;
    // Rows loaded or added since construction or since a load replaced the
    // table; not lowered by removals. Load asks to append when it is not 0.
    int plotCount = 0;

public slots:
    void on_actionLoad_triggered();
    void on_actionSave_triggered();
    void on_actionSave_as_triggered();

    // After a committed edit: a code in column 1 fills the row's "Habitat"
    // cell from habitatCodes, asking for the name of an unknown code. Runs
    // once the editor has closed, on the cell that was edited (else on the
    // current cell).
    void cellEditDone();
    void on_pushButton_addPlot_clicked();
    void on_pushButton_removePlot_clicked();
    void on_lineEdit_filterHabitat_textChanged(const QString& text);
    // Sorts the rows ascending by the column (cells as text). Not connected.
    void sortTable(int column);

private:
    // The 16 cell texts of every row, in the table's order ("" for a cell
    // without content).
    std::vector<std::vector<std::string>> tableRows() const;
    // Refuses a table the file format cannot carry (a ";" or a line break in
    // a cell), naming the cell. True when the table may be written.
    bool tableWritable();
    // Writes the table over path; warns "Unable to save file." on failure.
    void saveTo(const QString& path);
    // Save as: asks for a name and writes the table there.
    void saveUnderChosenName();
    // Appends one row of a plot file (cells as split, column 3 the name,
    // read-only).
    void appendPlotRow(const std::vector<std::string>& fields);
    // Commits of the standard delegate and of a fresh column-1 code editor
    // reach cellEditDone, each once; the replaced code editor is deleted.
    void installEditingHooks();

    // A delegate committed an edit, or the code editor stored its code: the
    // code cell is noted for editClosed.
    void editCommitted();
    void codeStored(const QModelIndex& index);
    void noteEditedCode(const QModelIndex& index);
    // An editor has closed (or the event loop runs again): a noted code cell
    // goes to cellEditDone.
    void editClosed();

    QPointer<ComboBoxItemDelegate> codeDelegate_;
    // The code cell of the last commit, until cellEditDone handles it.
    QPersistentModelIndex editedCode_;
    bool editDonePending_ = false;
    // Set while the name of a new code is asked for.
    bool askingName_ = false;
};
