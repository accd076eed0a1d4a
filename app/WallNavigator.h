#pragma once
// Moving through the wall by keyboard: one tile of the shown ones is selected (framed); the arrow
// keys, Home and End move the selection, Enter or Space presses the selected tile's button (full
// screen when connected, reconnect when failed), and Tab or Shift+Tab leaves the grid for the search
// field. The selected tile holds the keyboard focus, so a screen reader reads its name and state.

#include <QList>
#include <QObject>
#include <QPointer>

class QFrame;
class QScrollArea;
class QWidget;
class TVNCPanel;

class TWallNavigator : public QObject {
    Q_OBJECT

public:
    // grid: the scrolling area holding the tiles; leave: where Tab goes (the search field); back:
    // where Shift+Tab goes while it is shown (the group choice), else leave.
    TWallNavigator(QScrollArea* grid, QWidget* leave, QWidget* back = nullptr);

    // The shown tiles in reading order; keeps the selected tile when it is still among them.
    void SetTiles(const QList<TVNCPanel*>& shown);
    int Selected() const { return FSelected; }
    TVNCPanel* SelectedTile() const;
    void Select(int index, bool focus = true);
    // Refits the frame after the tiles moved.
    void FollowSelection();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HandleKey(int key);
    int ColumnCount() const;

    QScrollArea* FGrid;
    QWidget* FLeave;
    QWidget* FBack;
    QFrame* FFrame;
    QList<QPointer<TVNCPanel>> FShown; // tiles go away with every rebuild
    int FSelected = -1;
};
