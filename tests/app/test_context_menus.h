#pragma once

// A tree's context menu driven as a user drives it: the context-menu event
// a right click sends to the tree's rows, then the entry chosen with the
// keyboard in the menu that comes up, its handler running inside the menu's
// own event handling.

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace ShellTest {

// What a context menu offered and what became of it.
struct MenuChoice {
    QStringList offered;             // the menu's entries in order; empty when no menu came up
    bool chosen = false;             // the entry was offered and enabled, and was chosen
    bool aliveAfterHandlers = false; // the menu still existed when the entry's handlers had returned
    bool goneAfterwards = false;     // the menu was deleted once the request was over
};

// Right-clicks the rows of tree at `at` (viewport position), waits for the
// menu its owner shows and chooses the entry `text`: Down until it is the
// active entry, then Return. A slot connected to the entry after the menu's
// own connections sees whether the menu outlived the entry's handlers. A menu
// without the entry, or with the entry disabled, is closed with Escape.
// Works for a menu that blocks the request until it closes and for one that
// pops up and returns at once.
inline MenuChoice chooseContextMenuEntry(QTreeWidget* tree, const QString& text, QPoint at = QPoint(4, 4))
{
    MenuChoice choice;
    QPointer<QMenu> shown;
    bool done = false;
    QObject observer; // ends the connections below with this call
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &observer, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        shown = menu;
        QAction* entry = nullptr;
        for (QAction* action : menu->actions()) {
            choice.offered.append(action->text());
            if (action->text() == text)
                entry = action;
        }
        if (entry && entry->isEnabled()) {
            QObject::connect(entry, &QAction::triggered, &observer,
                             [&] { choice.aliveAfterHandlers = !shown.isNull(); });
            for (qsizetype step = 0; step <= menu->actions().size() && menu->activeAction() != entry; ++step)
                QTest::keyClick(menu, Qt::Key_Down);
            choice.chosen = menu->activeAction() == entry;
        }
        QTest::keyClick(menu, choice.chosen ? Qt::Key_Return : Qt::Key_Escape);
        done = true;
    });
    poll.start();

    QWidget* rows = tree->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, rows->mapToGlobal(at));
    QApplication::sendEvent(rows, &event);
    // A menu still up was shown without blocking the request: it is chosen
    // from the event loop.
    if (!done && QApplication::activePopupWidget() && !QTest::qWaitFor([&] { return done; }))
        ADD_FAILURE() << "the context menu was never answered";
    poll.stop();
    choice.goneAfterwards = shown.isNull();
    return choice;
}

// The entry was chosen, its menu outlived the entry's handlers and went once
// the request was over.
inline void expectChosenAndOutlived(const MenuChoice& choice, const QString& entry)
{
    EXPECT_TRUE(choice.chosen) << entry.toStdString() << " in " << choice.offered.join('|').toStdString();
    EXPECT_TRUE(choice.aliveAfterHandlers) << "the menu of " << entry.toStdString() << " died under its work";
    EXPECT_TRUE(choice.goneAfterwards) << "the menu of " << entry.toStdString() << " is left over";
}

} // namespace ShellTest
