#pragma once

// Message path and small widget recipes shared by every window.
//
// All functions run on the GUI thread and hold no state, except the dialog
// handlers below: every modal dialog that waits for the user (message boxes,
// Yes/No questions, warnings with a title, file and folder dialogs) goes
// through one replaceable handler, so a test can record what would have been
// asked and give the answer, while the program shows the real dialog.

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <QColor>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QAction;
class QComboBox;
class QDialog;
class QDoubleSpinBox;
class QMenu;
class QProgressDialog;
class QSpinBox;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// ---------------------------------------------------------------------------
// Dialog seam
// ---------------------------------------------------------------------------

// One request for a message-like box. `icon` uses the message box's icon
// numbering: 0 none, 1 information, 2 warning, 3 critical, 4 question.
struct MessageBoxRequest {
    enum class Kind {
        Message,  // showMessageBox: no parent, no title, one OK button
        Question, // askQuestion: parent, title, Yes/No style buttons
        Warning,  // showWarningBox: parent, title, warning icon
    };
    Kind kind = Kind::Message;
    QWidget* parent = nullptr;
    QString title;
    QString text;
    int icon = 0;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Receives every message-like request and returns the button "pressed".
// For Kind::Message the result is ignored.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// One request for a file or folder dialog.
struct FileDialogRequest {
    enum class Kind {
        OpenFile,  // one existing file
        OpenFiles, // several existing files
        SaveFile,  // a file name to write
        Directory, // an existing folder
    };
    Kind kind = Kind::OpenFile;
    QWidget* parent = nullptr;
    QString caption;
    QString directory; // start folder or proposed file name
    QString filter;
    QFileDialog::Options options;
};

// Receives every file-dialog request and returns the chosen paths; an empty
// list means the user cancelled. Single-choice dialogs use the first entry.
using FileDialogHandler = std::function<QStringList(const FileDialogRequest&)>;

// One request for a colour dialog: modal, parented, no title, no options.
struct ColorDialogRequest {
    QWidget* parent = nullptr;
    QColor initial;
};

// Receives every colour-dialog request and returns the chosen colour; an
// invalid colour means the user cancelled.
using ColorDialogHandler = std::function<QColor(const ColorDialogRequest&)>;

// One request for a one-line text: modal, parented, prefilled with text.
struct TextInputRequest {
    QWidget* parent = nullptr;
    QString title;
    QString label;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    QString text;
};

// Receives every text-input request and returns the text entered; no value
// means the user cancelled.
using TextInputHandler = std::function<std::optional<QString>(const TextInputRequest&)>;

// One request for a whole number between minimum and maximum.
struct IntegerInputRequest {
    QWidget* parent = nullptr;
    QString title;
    QString label;
    int value = 0;
    int minimum = -2147483647;
    int maximum = 2147483647;
    int step = 1;
};

// Receives every integer-input request and returns the number entered; no
// value means the user cancelled.
using IntegerInputHandler = std::function<std::optional<int>(const IntegerInputRequest&)>;

// The "Curve Adjust Setting" dialog: one channel of the listed display bands
// and the weight of the curvature smoothing.
struct CurveAdjustRequest {
    QWidget* parent = nullptr;
    QStringList channels;  // display names, red first
    double curvatureInfluence = 0.3;
};
struct CurveAdjustSettings {
    int channel = 0;  // index into the request's channels
    double curvatureInfluence = 0.3;
};

// Receives every adjust-settings request; no value means the user cancelled.
using CurveAdjustHandler = std::function<std::optional<CurveAdjustSettings>(const CurveAdjustRequest&)>;

// Install a handler; an empty function restores the real dialogs. Each
// returns the handler installed before.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
FileDialogHandler setFileDialogHandler(FileDialogHandler handler);
ColorDialogHandler setColorDialogHandler(ColorDialogHandler handler);
TextInputHandler setTextInputHandler(TextInputHandler handler);
IntegerInputHandler setIntegerInputHandler(IntegerInputHandler handler);
CurveAdjustHandler setCurveAdjustHandler(CurveAdjustHandler handler);

// The real dialogs, as the default handlers run them (exposed so a handler
// may forward to them).
QMessageBox::StandardButton runMessageBox(const MessageBoxRequest& request);
QStringList runFileDialog(const FileDialogRequest& request);
QColor runColorDialog(const ColorDialogRequest& request);
std::optional<QString> runTextInputDialog(const TextInputRequest& request);
std::optional<int> runIntegerInputDialog(const IntegerInputRequest& request);
std::optional<CurveAdjustSettings> runCurveAdjustDialog(const CurveAdjustRequest& request);
// The adjust dialog as runCurveAdjustDialog shows it, not yet shown: its
// combo box, spin box and button box are named "channel",
// "curvatureInfluence" and "buttons".
QDialog* makeCurveAdjustDialog(const CurveAdjustRequest& request);

// Installs a handler for its lifetime and restores the previous one after.
template <typename Handler, Handler (*Install)(Handler)>
class ScopedDialogHandler {
public:
    explicit ScopedDialogHandler(Handler handler)
        : previous_(Install(std::move(handler)))
    {
    }
    ~ScopedDialogHandler() { Install(std::move(previous_)); }
    ScopedDialogHandler(const ScopedDialogHandler&) = delete;
    ScopedDialogHandler& operator=(const ScopedDialogHandler&) = delete;

private:
    Handler previous_;
};

using ScopedMessageBoxHandler = ScopedDialogHandler<MessageBoxHandler, &setMessageBoxHandler>;
using ScopedFileDialogHandler = ScopedDialogHandler<FileDialogHandler, &setFileDialogHandler>;
using ScopedColorDialogHandler = ScopedDialogHandler<ColorDialogHandler, &setColorDialogHandler>;
using ScopedTextInputHandler = ScopedDialogHandler<TextInputHandler, &setTextInputHandler>;
using ScopedIntegerInputHandler = ScopedDialogHandler<IntegerInputHandler, &setIntegerInputHandler>;
using ScopedCurveAdjustHandler = ScopedDialogHandler<CurveAdjustHandler, &setCurveAdjustHandler>;

// ---------------------------------------------------------------------------
// Dialogs (all through the seam above)
// ---------------------------------------------------------------------------

// Modal message box without parent (application-modal) and without title,
// with the given icon (0 none, 1 information, 2 warning, 3 critical,
// 4 question), the text and the single default OK button. Returns when the
// user has closed it.
void showMessageBox(QString text, int icon);

// Yes/No style question box; returns the button chosen (Escape gives the
// escape button, No for Yes/No).
QMessageBox::StandardButton askQuestion(QWidget* parent, QString title, QString text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// Warning box with parent and title (for windows that title their warnings).
QMessageBox::StandardButton showWarningBox(QWidget* parent, QString title, QString text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// File and folder dialogs; an empty result means cancelled.
QString chooseOpenFileName(QWidget* parent, QString caption, QString directory, QString filter);
QStringList chooseOpenFileNames(QWidget* parent, QString caption, QString directory, QString filter);
QString chooseSaveFileName(QWidget* parent, QString caption, QString directory, QString filter);
// Modal colour dialog starting at initial; an invalid colour when cancelled.
QColor chooseColor(QWidget* parent, QColor initial);
// One-line text and whole-number input; no value when cancelled.
std::optional<QString> chooseText(QWidget* parent, QString title, QString label, QLineEdit::EchoMode echo,
                                  QString text);
std::optional<int> chooseInteger(QWidget* parent, QString title, QString label, int value, int minimum, int maximum,
                                 int step = 1);
// The "Curve Adjust Setting" dialog over the display bands' names.
std::optional<CurveAdjustSettings> chooseCurveAdjustSettings(QWidget* parent, QStringList channels);
QString chooseExistingDirectory(QWidget* parent, QString caption, QString directory,
                                QFileDialog::Options options = QFileDialog::ShowDirsOnly
                                                               | QFileDialog::DontResolveSymlinks);

// ---------------------------------------------------------------------------
// Widget recipes
// ---------------------------------------------------------------------------

// Appends every string as a new item (empty icon, no item data).
void fillComboBox(QPointer<QComboBox> combo, QStringList items);

// New top-level item with the text in column 0, first column spanned, column 0
// background solid grey.
QTreeWidgetItem* addTreeSection(QTreeWidget* tree, QString text);

void expandTreeItem(QTreeWidget* tree, QTreeWidgetItem* item);

// New child of parent: text as column-0 text and tool tip, hidden or not,
// editor placed in column 1.
void addTreeRow(QTreeWidget* tree, QString text, QTreeWidgetItem* parent, QWidget* editor, bool hidden);

// -1 for a tree without top-level items, else the row of the current index
// (-1 when none).
int currentTreeRow(QTreeWidget* tree);

// Shows or hides children 2 and 3 of top-level item topIndex.
void setTreeOptionRowsVisible(QTreeWidget* tree, int topIndex, bool visible);

// Top-level item index gets the "shown" marker icon, all others none
// (an index outside the rows clears every row); icon size 13 x 13.
void markTreeItem(QTreeWidget* tree, int index);

// Makes top-level item index the current item.
void selectTreeItem(QTreeWidget* tree, int index);

// The row a list explorer shows as current and marked: -1 leaves no
// current item and no selection.
void setCurrentTreeRow(QTreeWidget* tree, int row);

// Colours as "r<sep>g<sep>b<sep>a" texts and as int vectors. Each leaves the
// colour (text) unchanged when the input does not describe one.
void colorFromText(QString text, QColor& colour, QString separator);
void colorToText(QString& text, const QColor& colour, QString separator);
void colorFromVector(std::vector<int> values, QColor& colour);

// Shows the widget when the action is checked, hides it otherwise.
void setWidgetVisibleByAction(QAction* action, QWidget* widget);

// Checked state, maximum size 20 x 20, properties "curveSet_id" and
// "curve_id", tool tip "Set visibility". The QWidget overload does nothing
// for a widget that is not a button.
void setupVisibilityCheckBox(QAbstractButton* box, int curveSetId, int curveId, bool checked);
void setupVisibilityCheckBox(QWidget* box, int curveSetId, int curveId, bool checked);

// Set range, precision, step, value and enabled state without emitting any
// signal; a non-empty tip becomes tool tip and status tip.
void setupDoubleSpinBox(QPointer<QDoubleSpinBox> box, double value, double minimum, double maximum, int decimals,
                        double step, bool enabled, QString tip);
void setupSpinBox(QPointer<QSpinBox> box, int value, int minimum, int maximum, int step, bool enabled, QString tip);

// Parent, font, modality, no close/help/cancel button, label and range; does
// not show the dialog nor set its value. The overload without parent keeps
// the dialog's current parent.
void setupProgressDialog(QWidget* parent, QProgressDialog* dialog, QString label, int maximum);
void setupProgressDialog(QProgressDialog* dialog, QString label, int maximum);

// Icon ":/FenlarkApp/icons/" + fileName and the text; nothing when the
// button is gone.
void setButtonIcon(QPointer<QAbstractButton> button, QString fileName, QString text);

// Null entries are skipped.
void blockSignalsOf(QList<QWidget*> widgets, bool block);
void setEnabledOf(QList<QWidget*> widgets, bool enabled);

void showToolTipAtCursor(QString text);

// Shows a context menu at the cursor, takes it and deletes it when it has
// closed. The chosen entry's handler runs before this returns, so the menu
// outlives it even when it processes events (a loading loop, a task behind
// its progress dialog); a menu deleted on close would be freed while its own
// code is still on the stack.
void execContextMenu(QMenu* menu);

// timeout in milliseconds, 0 = until replaced.
void showStatusMessage(QStatusBar* bar, QString text, int timeout);
