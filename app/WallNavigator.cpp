#include "WallNavigator.h"

#include "VNCPanel.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>

#include <algorithm>

namespace {

constexpr int FrameWidth = 3;

} // namespace

TWallNavigator::TWallNavigator(QScrollArea* grid, QWidget* leave, QWidget* back)
    : QObject(grid), FGrid(grid), FLeave(leave), FBack(back), FFrame(new QFrame(grid->widget())) {
    FFrame->setObjectName(QStringLiteral("WallSelection"));
    FFrame->setAttribute(Qt::WA_TransparentForMouseEvents);
    FFrame->setStyleSheet(QStringLiteral("#WallSelection { border: %1px solid rgb(30, 100, 200); "
                                         "background: transparent; }")
                              .arg(FrameWidth));
    FFrame->hide();
    // The grid itself is one stop of the Tab chain; entering it hands the focus to the selected tile.
    FGrid->setFocusPolicy(Qt::StrongFocus);
    FGrid->installEventFilter(this);
}

void TWallNavigator::SetTiles(const QList<TVNCPanel*>& shown) {
    TVNCPanel* keep = SelectedTile();
    FShown.clear();
    for (TVNCPanel* tile : shown) {
        FShown.append(tile);
        // Tiles take the focus only from here: Tab stays a step between search field and grid.
        tile->setFocusPolicy(Qt::ClickFocus);
        tile->Button()->setFocusPolicy(Qt::NoFocus);
        tile->removeEventFilter(this);
        tile->installEventFilter(this);
    }
    const int kept = keep ? int(shown.indexOf(keep)) : -1;
    FSelected = -1;
    if (kept >= 0)
        Select(kept, false);
    else
        FFrame->hide();
}

TVNCPanel* TWallNavigator::SelectedTile() const {
    return FSelected >= 0 && FSelected < FShown.size() ? FShown[FSelected].data() : nullptr;
}

void TWallNavigator::Select(int index, bool focus) {
    if (FShown.isEmpty()) {
        FSelected = -1;
        FFrame->hide();
        return;
    }
    FSelected = std::clamp(index, 0, int(FShown.size()) - 1);
    FollowSelection();
    if (TVNCPanel* tile = SelectedTile()) {
        FGrid->ensureWidgetVisible(tile, 0, 0);
        if (focus)
            tile->setFocus(Qt::OtherFocusReason);
    }
}

void TWallNavigator::FollowSelection() {
    TVNCPanel* tile = SelectedTile();
    if (!tile) {
        FFrame->hide();
        return;
    }
    FFrame->setGeometry(tile->geometry());
    FFrame->raise();
    FFrame->show();
}

// Tiles of one row share their top edge.
int TWallNavigator::ColumnCount() const {
    int columns = 0;
    for (const QPointer<TVNCPanel>& tile : FShown) {
        if (!tile || tile->y() != FShown.first()->y())
            break;
        ++columns;
    }
    return std::max(columns, 1);
}

bool TWallNavigator::HandleKey(int key) {
    const int last = int(FShown.size()) - 1;
    const int columns = ColumnCount();
    switch (key) {
    case Qt::Key_Left:
        Select(FSelected - 1);
        return true;
    case Qt::Key_Right:
        Select(FSelected + 1);
        return true;
    case Qt::Key_Up:
        if (FSelected - columns >= 0)
            Select(FSelected - columns);
        return true;
    case Qt::Key_Down:
        // Into a shorter last row: its last tile.
        if (FSelected / columns < last / columns)
            Select(std::min(FSelected + columns, last));
        return true;
    case Qt::Key_Home:
        Select(0);
        return true;
    case Qt::Key_End:
        Select(last);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (TVNCPanel* tile = SelectedTile(); tile && tile->Button()->isEnabled())
            tile->ButtonClick();
        return true;
    case Qt::Key_Tab:
        if (FLeave)
            FLeave->setFocus(Qt::TabFocusReason);
        return true;
    case Qt::Key_Backtab:
        if (FBack && FBack->isVisibleTo(FBack->window()))
            FBack->setFocus(Qt::BacktabFocusReason);
        else if (FLeave)
            FLeave->setFocus(Qt::BacktabFocusReason);
        return true;
    default:
        return false;
    }
}

bool TWallNavigator::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FGrid && event->type() == QEvent::FocusIn) {
        // Entering the grid selects a tile: the one chosen before, or the first.
        if (!FShown.isEmpty())
            Select(FSelected >= 0 ? FSelected : 0);
        return false;
    }
    if (event->type() == QEvent::KeyPress && watched != FGrid) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        const int index = int(FShown.indexOf(qobject_cast<TVNCPanel*>(watched)));
        if (index < 0)
            return false;
        FSelected = index;
        return HandleKey(key->key());
    }
    if (event->type() == QEvent::FocusIn && watched != FGrid) {
        // A click on a tile selects it too.
        const int index = int(FShown.indexOf(qobject_cast<TVNCPanel*>(watched)));
        if (index >= 0 && index != FSelected) {
            FSelected = index;
            FollowSelection();
        }
    }
    return QObject::eventFilter(watched, event);
}
