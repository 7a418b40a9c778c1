#include "app/WidgetUtils.h"

#include <algorithm>
#include <memory>
#include <utility>

#include <QAbstractButton>
#include <QAction>
#include <QBrush>
#include <QColorDialog>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QFont>
#include <QMenu>
#include <QIcon>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolTip>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include "resources/Resources.h"

namespace {

// The installed handlers; empty means "show the real dialog".
MessageBoxHandler& messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

FileDialogHandler& fileDialogHandler()
{
    static FileDialogHandler handler;
    return handler;
}

ColorDialogHandler& colorDialogHandler()
{
    static ColorDialogHandler handler;
    return handler;
}

// Callers pass the message box's icon numbering as a plain int; anything
// outside it shows no icon rather than an undefined enum value.
QMessageBox::Icon iconFromNumber(int icon)
{
    switch (icon) {
    case 1:
        return QMessageBox::Information;
    case 2:
        return QMessageBox::Warning;
    case 3:
        return QMessageBox::Critical;
    case 4:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton dispatch(const MessageBoxRequest& request)
{
    // Copy first: a handler may replace itself while it runs.
    const MessageBoxHandler handler = messageBoxHandler();
    return handler ? handler(request) : runMessageBox(request);
}

QStringList dispatch(const FileDialogRequest& request)
{
    const FileDialogHandler handler = fileDialogHandler();
    return handler ? handler(request) : runFileDialog(request);
}

// Settings and curve records may carry any integer; a colour component out
// of 0..255 would make the whole colour invalid.
int colorComponent(int value)
{
    return std::clamp(value, 0, 255);
}

} // namespace

// ---------------------------------------------------------------------------
// Dialog seam
// ---------------------------------------------------------------------------

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler)
{
    return std::exchange(messageBoxHandler(), std::move(handler));
}

FileDialogHandler setFileDialogHandler(FileDialogHandler handler)
{
    return std::exchange(fileDialogHandler(), std::move(handler));
}

ColorDialogHandler setColorDialogHandler(ColorDialogHandler handler)
{
    return std::exchange(colorDialogHandler(), std::move(handler));
}

namespace {

// The slot of one of the newer dialog kinds; empty means the real dialog.
template <typename Handler>
Handler& handlerSlot()
{
    static Handler handler;
    return handler;
}

template <typename Handler, typename Request, typename Real>
auto dispatchTo(const Request& request, Real real)
{
    const Handler handler = handlerSlot<Handler>();
    return handler ? handler(request) : real(request);
}

} // namespace

TextInputHandler setTextInputHandler(TextInputHandler handler)
{
    return std::exchange(handlerSlot<TextInputHandler>(), std::move(handler));
}

IntegerInputHandler setIntegerInputHandler(IntegerInputHandler handler)
{
    return std::exchange(handlerSlot<IntegerInputHandler>(), std::move(handler));
}

CurveAdjustHandler setCurveAdjustHandler(CurveAdjustHandler handler)
{
    return std::exchange(handlerSlot<CurveAdjustHandler>(), std::move(handler));
}

std::optional<QString> runTextInputDialog(const TextInputRequest& request)
{
    bool accepted = false;
    const QString text =
        QInputDialog::getText(request.parent, request.title, request.label, request.echo, request.text, &accepted);
    return accepted ? std::optional<QString>(text) : std::nullopt;
}

std::optional<int> runIntegerInputDialog(const IntegerInputRequest& request)
{
    bool accepted = false;
    const int value = QInputDialog::getInt(request.parent, request.title, request.label, request.value,
                                           request.minimum, request.maximum, request.step, &accepted);
    return accepted ? std::optional<int>(value) : std::nullopt;
}

QDialog* makeCurveAdjustDialog(const CurveAdjustRequest& request)
{
    auto* dialog = new QDialog(request.parent);
    dialog->setWindowTitle(QStringLiteral("Curve Adjust Setting"));
    dialog->setModal(true);
    auto* form = new QFormLayout(dialog);
    auto* channel = new QComboBox(dialog);
    channel->setObjectName(QStringLiteral("channel"));
    channel->addItems(request.channels);
    form->addRow(QStringLiteral("Channel for curve adjusting"), channel);
    auto* influence = new QDoubleSpinBox(dialog);
    influence->setObjectName(QStringLiteral("curvatureInfluence"));
    influence->setDecimals(2);
    influence->setRange(0.01, 1.0);
    influence->setSingleStep(0.01);
    influence->setValue(request.curvatureInfluence);
    form->addRow(QStringLiteral("Curvature smoothing influence"), influence);
    form->addRow(new QLabel(QStringLiteral("For smoother curve choose bigger values."), dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->setObjectName(QStringLiteral("buttons"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    form->addRow(buttons);
    return dialog;
}

std::optional<CurveAdjustSettings> runCurveAdjustDialog(const CurveAdjustRequest& request)
{
    const std::unique_ptr<QDialog> dialog(makeCurveAdjustDialog(request));
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    CurveAdjustSettings settings;
    settings.channel = dialog->findChild<QComboBox*>(QStringLiteral("channel"))->currentIndex();
    settings.curvatureInfluence =
        dialog->findChild<QDoubleSpinBox*>(QStringLiteral("curvatureInfluence"))->value();
    return settings;
}

std::optional<QString> chooseText(QWidget* parent, QString title, QString label, QLineEdit::EchoMode echo,
                                  QString text)
{
    const TextInputRequest request{parent, std::move(title), std::move(label), echo, std::move(text)};
    return dispatchTo<TextInputHandler>(request, runTextInputDialog);
}

std::optional<int> chooseInteger(QWidget* parent, QString title, QString label, int value, int minimum, int maximum,
                                 int step)
{
    const IntegerInputRequest request{parent, std::move(title), std::move(label), value, minimum, maximum, step};
    return dispatchTo<IntegerInputHandler>(request, runIntegerInputDialog);
}

std::optional<CurveAdjustSettings> chooseCurveAdjustSettings(QWidget* parent, QStringList channels)
{
    CurveAdjustRequest request;
    request.parent = parent;
    request.channels = std::move(channels);
    return dispatchTo<CurveAdjustHandler>(request, runCurveAdjustDialog);
}

QColor runColorDialog(const ColorDialogRequest& request)
{
    return QColorDialog::getColor(request.initial, request.parent, QString());
}

QColor chooseColor(QWidget* parent, QColor initial)
{
    const ColorDialogHandler handler = colorDialogHandler();
    const ColorDialogRequest request{parent, initial};
    return handler ? handler(request) : runColorDialog(request);
}


QMessageBox::StandardButton runMessageBox(const MessageBoxRequest& request)
{
    switch (request.kind) {
    case MessageBoxRequest::Kind::Question:
        return QMessageBox::question(request.parent, request.title, request.text, request.buttons,
                                     request.defaultButton);
    case MessageBoxRequest::Kind::Warning:
        return QMessageBox::warning(request.parent, request.title, request.text, request.buttons,
                                    request.defaultButton);
    case MessageBoxRequest::Kind::Message:
        break;
    }
    // No parent, so the box is application-modal; no title and no buttons
    // set, so the default title and the single OK button appear.
    QMessageBox box;
    box.setIcon(iconFromNumber(request.icon));
    box.setText(request.text);
    box.exec();
    return QMessageBox::Ok;
}

QStringList runFileDialog(const FileDialogRequest& request)
{
    switch (request.kind) {
    case FileDialogRequest::Kind::OpenFile: {
        const QString file = QFileDialog::getOpenFileName(request.parent, request.caption, request.directory,
                                                          request.filter, nullptr, request.options);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }
    case FileDialogRequest::Kind::OpenFiles:
        return QFileDialog::getOpenFileNames(request.parent, request.caption, request.directory, request.filter,
                                             nullptr, request.options);
    case FileDialogRequest::Kind::SaveFile: {
        const QString file = QFileDialog::getSaveFileName(request.parent, request.caption, request.directory,
                                                          request.filter, nullptr, request.options);
        return file.isEmpty() ? QStringList() : QStringList{file};
    }
    case FileDialogRequest::Kind::Directory: {
        const QString dir = QFileDialog::getExistingDirectory(request.parent, request.caption, request.directory,
                                                              request.options);
        return dir.isEmpty() ? QStringList() : QStringList{dir};
    }
    }
    return {};
}



// ---------------------------------------------------------------------------
// Dialogs
// ---------------------------------------------------------------------------

void showMessageBox(QString text, int icon)
{
    MessageBoxRequest request;
    request.kind = MessageBoxRequest::Kind::Message;
    request.text = std::move(text);
    request.icon = icon;
    dispatch(request);
}

QMessageBox::StandardButton askQuestion(QWidget* parent, QString title, QString text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    MessageBoxRequest request;
    request.kind = MessageBoxRequest::Kind::Question;
    request.parent = parent;
    request.title = std::move(title);
    request.text = std::move(text);
    request.icon = 4;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    return dispatch(request);
}

QMessageBox::StandardButton showWarningBox(QWidget* parent, QString title, QString text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton)
{
    MessageBoxRequest request;
    request.kind = MessageBoxRequest::Kind::Warning;
    request.parent = parent;
    request.title = std::move(title);
    request.text = std::move(text);
    request.icon = 2;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    return dispatch(request);
}

namespace {

FileDialogRequest fileRequest(FileDialogRequest::Kind kind, QWidget* parent, QString caption, QString directory,
                              QString filter, QFileDialog::Options options = {})
{
    FileDialogRequest request;
    request.kind = kind;
    request.parent = parent;
    request.caption = std::move(caption);
    request.directory = std::move(directory);
    request.filter = std::move(filter);
    request.options = options;
    return request;
}

QString firstOrEmpty(const QStringList& list)
{
    return list.isEmpty() ? QString() : list.first();
}

} // namespace

QString chooseOpenFileName(QWidget* parent, QString caption, QString directory, QString filter)
{
    return firstOrEmpty(dispatch(fileRequest(FileDialogRequest::Kind::OpenFile, parent, std::move(caption),
                                             std::move(directory), std::move(filter))));
}

QStringList chooseOpenFileNames(QWidget* parent, QString caption, QString directory, QString filter)
{
    return dispatch(fileRequest(FileDialogRequest::Kind::OpenFiles, parent, std::move(caption), std::move(directory),
                                std::move(filter)));
}

QString chooseSaveFileName(QWidget* parent, QString caption, QString directory, QString filter)
{
    return firstOrEmpty(dispatch(fileRequest(FileDialogRequest::Kind::SaveFile, parent, std::move(caption),
                                             std::move(directory), std::move(filter))));
}

QString chooseExistingDirectory(QWidget* parent, QString caption, QString directory, QFileDialog::Options options)
{
    return firstOrEmpty(dispatch(fileRequest(FileDialogRequest::Kind::Directory, parent, std::move(caption),
                                             std::move(directory), QString(), options)));
}

// ---------------------------------------------------------------------------
// Widget recipes
// ---------------------------------------------------------------------------

void fillComboBox(QPointer<QComboBox> combo, QStringList items)
{
    if (!combo)
        return;
    for (const QString& item : items)
        combo->addItem(QIcon(), item);
}

QTreeWidgetItem* addTreeSection(QTreeWidget* tree, QString text)
{
    if (!tree)
        return nullptr;
    auto* item = new QTreeWidgetItem(tree);
    item->setText(0, text);
    item->setFirstColumnSpanned(true);
    item->setBackground(0, QBrush(Qt::gray, Qt::SolidPattern));
    return item;
}

void expandTreeItem(QTreeWidget* tree, QTreeWidgetItem* item)
{
    if (tree && item)
        tree->expandItem(item);
}

void addTreeRow(QTreeWidget* tree, QString text, QTreeWidgetItem* parent, QWidget* editor, bool hidden)
{
    if (!tree || !parent)
        return;
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, text);
    item->setToolTip(0, text);
    item->setHidden(hidden);
    if (editor)
        tree->setItemWidget(item, 1, editor);
}

int currentTreeRow(QTreeWidget* tree)
{
    if (!tree || tree->topLevelItemCount() == 0)
        return -1;
    return tree->currentIndex().row();
}

void setTreeOptionRowsVisible(QTreeWidget* tree, int topIndex, bool visible)
{
    if (!tree)
        return;
    QTreeWidgetItem* top = tree->topLevelItem(topIndex);
    if (!top)
        return;
    for (int child : {2, 3}) {
        if (QTreeWidgetItem* item = top->child(child))
            item->setHidden(!visible);
    }
}

void markTreeItem(QTreeWidget* tree, int index)
{
    if (!tree)
        return;
    Fenlark::initResources();
    const QIcon marker(":/FenlarkApp/icons/circle-center-line.png");
    const int count = tree->topLevelItemCount();
    for (int i = 0; i < count; ++i)
        tree->topLevelItem(i)->setIcon(0, i == index ? marker : QIcon());
    tree->setIconSize(QSize(13, 13));
}

void setCurrentTreeRow(QTreeWidget* tree, int row)
{
    if (row == -1) {
        tree->setCurrentItem(nullptr);
        tree->clearSelection();
    } else {
        selectTreeItem(tree, row);
    }
    markTreeItem(tree, row);
}

void selectTreeItem(QTreeWidget* tree, int index)
{
    if (!tree)
        return;
    // An index outside the rows leaves no current item.
    tree->setCurrentItem(tree->topLevelItem(index));
}

void colorFromText(QString text, QColor& colour, QString separator)
{
    const QStringList parts = text.split(separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != 4)
        return;
    int values[4];
    for (int i = 0; i < 4; ++i)
        values[i] = colorComponent(parts[i].toInt()); // 0 when not a number
    colour = QColor(values[0], values[1], values[2], values[3]);
}

void colorToText(QString& text, const QColor& colour, QString separator)
{
    if (!colour.isValid())
        return;
    text = QString::number(colour.red()) + separator + QString::number(colour.green()) + separator
        + QString::number(colour.blue()) + separator + QString::number(colour.alpha());
}

void colorFromVector(std::vector<int> values, QColor& colour)
{
    if (values.size() < 4)
        return;
    colour = QColor(colorComponent(values[0]), colorComponent(values[1]), colorComponent(values[2]),
                    colorComponent(values[3]));
}

void setWidgetVisibleByAction(QAction* action, QWidget* widget)
{
    if (!action || !widget)
        return;
    widget->setVisible(action->isChecked());
}

void setupVisibilityCheckBox(QAbstractButton* box, int curveSetId, int curveId, bool checked)
{
    if (!box)
        return;
    box->setChecked(checked);
    box->setMaximumSize(20, 20);
    box->setProperty("curveSet_id", curveSetId);
    box->setProperty("curve_id", curveId);
    box->setToolTip(QObject::tr("Set visibility"));
}

void setupVisibilityCheckBox(QWidget* box, int curveSetId, int curveId, bool checked)
{
    setupVisibilityCheckBox(qobject_cast<QAbstractButton*>(box), curveSetId, curveId, checked);
}

namespace {

// Range, step, value, state and tip of a spin box, with its signals blocked;
// the blocker restores the previous state, so a caller that blocked the box
// itself keeps it blocked.
template <typename Box, typename Value>
void setupNumberBox(Box* box, Value value, Value minimum, Value maximum, Value step, bool enabled, const QString& tip)
{
    const QSignalBlocker blocker(box);
    box->setMinimum(minimum);
    box->setMaximum(maximum);
    box->setSingleStep(step);
    box->setValue(value);
    box->setEnabled(enabled);
    if (!tip.isEmpty()) {
        box->setToolTip(tip);
        box->setStatusTip(tip);
    }
}

} // namespace

void setupDoubleSpinBox(QPointer<QDoubleSpinBox> box, double value, double minimum, double maximum, int decimals,
                        double step, bool enabled, QString tip)
{
    if (!box)
        return;
    {
        // Decimals first: they round the range and the value set after them.
        const QSignalBlocker blocker(box.data());
        box->setDecimals(decimals);
    }
    setupNumberBox(box.data(), value, minimum, maximum, step, enabled, tip);
}

void setupSpinBox(QPointer<QSpinBox> box, int value, int minimum, int maximum, int step, bool enabled, QString tip)
{
    if (!box)
        return;
    setupNumberBox(box.data(), value, minimum, maximum, step, enabled, tip);
}

void setupProgressDialog(QWidget* parent, QProgressDialog* dialog, QString label, int maximum)
{
    if (!dialog)
        return;
    // A plain setParent would turn the dialog into a child widget painted
    // inside the parent; keep it a dialog window.
    dialog->setParent(parent, Qt::Dialog);
    setupProgressDialog(dialog, std::move(label), maximum);
}

void setupProgressDialog(QProgressDialog* dialog, QString label, int maximum)
{
    if (!dialog)
        return;
    QFont font("Times", 12);
    font.setBold(true);
    dialog->setFont(font);
    dialog->setAutoFillBackground(true);
    dialog->setWindowModality(Qt::WindowModal);
    // Without the customize hint most window managers ignore a missing close
    // button hint and draw one anyway.
    Qt::WindowFlags flags = dialog->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    flags &= ~Qt::WindowCloseButtonHint;
    flags &= ~Qt::WindowContextHelpButtonHint;
    dialog->setWindowFlags(flags);
    dialog->setCancelButton(nullptr);
    dialog->setLabelText(label);
    dialog->setRange(0, maximum);
}

void setButtonIcon(QPointer<QAbstractButton> button, QString fileName, QString text)
{
    if (!button)
        return;
    Fenlark::initResources();
    button->setIcon(QIcon(":/FenlarkApp/icons/" + fileName));
    button->setText(text);
}

void blockSignalsOf(QList<QWidget*> widgets, bool block)
{
    for (QWidget* widget : widgets) {
        if (widget)
            widget->blockSignals(block);
    }
}

void setEnabledOf(QList<QWidget*> widgets, bool enabled)
{
    for (QWidget* widget : widgets) {
        if (widget)
            widget->setEnabled(enabled);
    }
}

void showToolTipAtCursor(QString text)
{
    QToolTip::showText(QCursor::pos(), text);
}

void execContextMenu(QMenu* menu)
{
    if (!menu)
        return;
    // The parent may take the menu down first.
    const QPointer<QMenu> guard(menu);
    menu->exec(QCursor::pos());
    delete guard.data();
}

void showStatusMessage(QStatusBar* bar, QString text, int timeout)
{
    if (bar)
        bar->showMessage(text, timeout);
}
