#include "windows/ComboBoxItemDelegate.h"

#include <QComboBox>

ComboBoxItemDelegate::ComboBoxItemDelegate(const QHash<QString, QString>& habitatCodes, QObject* parent)
    : QStyledItemDelegate(parent)
    , codes(habitatCodes.keys())
{
    codes.sort();
}

QWidget* ComboBoxItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* editor = new QComboBox(parent);
    editor->setEditable(true);
    editor->addItems(codes);
    return editor;
}

void ComboBoxItemDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo)
        return;
    const QString text = index.data(Qt::EditRole).toString();
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i) == text) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void ComboBoxItemDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo)
        return;
    model->setData(index, combo->currentText(), Qt::EditRole);
    // The delegate interface is const; telling of the store changes nothing.
    emit const_cast<ComboBoxItemDelegate*>(this)->codeStored(index);
}
