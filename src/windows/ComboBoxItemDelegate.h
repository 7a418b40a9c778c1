#pragma once

// The editor of the habitat manager's "Natura 2000" column: an editable
// combo box offering the habitat codes known when the delegate was made.
// Typed text that is no listed code is stored as typed.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>

class ComboBoxItemDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // codes holds every code of the table, sorted (the table's own order
    // changes between runs).
    ComboBoxItemDelegate(const QHash<QString, QString>& habitatCodes, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // The first entry equal to the index's edit text (case-sensitive) becomes
    // current; without one the editor stays on its first code.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    // Stores the combo box's current text, chosen or typed, and tells so
    // with codeStored: the view itself also commits an editor it closes
    // (when the current cell moves on), without the delegate's signals.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

    QStringList codes;

signals:
    void codeStored(const QModelIndex& index);
};
