#include "windows/ToolWindowSupport.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QTableWidget>

#include "app/WidgetUtils.h"

void confirmWindowClose(QWidget* window, QCloseEvent* event)
{
    const QMessageBox::StandardButton answer =
        askQuestion(window, QObject::tr("Close Confirmation"), QObject::tr("Are you sure you want to close the window?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes)
        event->accept();
    else
        event->ignore();
}

QString firstSelectedRangeText(const QTableWidget* table)
{
    const QList<QTableWidgetSelectionRange> ranges = table->selectedRanges();
    if (ranges.isEmpty())
        return {};
    const QTableWidgetSelectionRange& range = ranges.first();
    QString text;
    for (int row = range.topRow(); row <= range.bottomRow(); ++row) {
        for (int column = range.leftColumn(); column <= range.rightColumn(); ++column) {
            if (column > range.leftColumn())
                text += QLatin1Char('\t');
            if (const QTableWidgetItem* item = table->item(row, column))
                text += item->text();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

bool copyFirstSelectedRange(const QTableWidget* table)
{
    if (table->selectedRanges().isEmpty())
        return false;
    QGuiApplication::clipboard()->setText(firstSelectedRangeText(table));
    return true;
}

namespace {

class RangeCopyFilter : public QObject {
public:
    explicit RangeCopyFilter(QTableWidget* table)
        : QObject(table)
        , table_(table)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == table_ && event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            copyFirstSelectedRange(table_);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableWidget* table_;
};

} // namespace

void installRangeCopy(QTableWidget* table)
{
    table->installEventFilter(new RangeCopyFilter(table));
}
