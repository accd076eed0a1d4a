#pragma once
// TTileWall: what the main window adds to its grid of tiles once the wall grows large. A search
// strip above the grid (search field, group choice), a status line below it with the counts by
// state, keyboard moves through the tiles, and a layout that follows the window's width. Filtering
// and reflowing only hide, show and move tiles: no connection is closed or opened again. Tiles out of
// sight hold their update requests (TileVisibility).

#include "WallFilter.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QWidget;
class TDropNotifier;
class TVNCPanel;
class TWallNavigator;
enum class TTileState;

class TTileWall : public QObject {
    Q_OBJECT

public:
    // area: the main window's scrolling area; its widget holds the tiles.
    TTileWall(QScrollArea* area, QWidget* window);

    // Placed by the main window: the strip above the grid and the status line below it.
    QWidget* SearchStrip() const { return FStrip; }
    QLabel* StatusLine() const { return FStatus; }
    QLineEdit* SearchField() const { return FSearch; }
    QComboBox* GroupBox() const { return FGroupBox; }
    TWallNavigator* Navigator() const { return FNavigator; }
    TDropNotifier* Notifier() const { return FNotifier; }

    // A new set of tiles, one per record in table order, with each record's address and group;
    // iconSize is their edge. Lays them out at once.
    void SetTiles(const QList<TVNCPanel*>& tiles, const QStringList& addresses, const QStringList& groups,
                  int iconSize);
    // Forgets the tiles (they are going away); the group choice stays.
    void DropTiles();
    // The group shown; empty is "Tümü". A group no record has any more shows them all.
    QString GroupChoice() const { return FFilter.Group(); }
    void SetGroupChoice(const QString& group);
    void SetSearchText(const QString& text);

    // Tiles shown by the search and the group, in order.
    QList<TVNCPanel*> ShownTiles() const;
    // Filter, place, size the grid, update the status line and which tiles ask for updates.
    void Relayout();
    // Only which tiles are on screen (after scrolling).
    void UpdateVisibility();
    int AskingTiles() const { return FAsking; }

    static QString AllGroupsText() { return QStringLiteral("Tümü"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillGroupBox();
    void TileStateChanged(TVNCPanel* tile, TTileState before);
    void UpdateSummary();
    static void NameForReaders(TVNCPanel* tile);

    QScrollArea* FArea;
    QWidget* FViewport;
    QWidget* FStrip;
    QLineEdit* FSearch;
    QComboBox* FGroupBox;
    QLabel* FGroupLabel;
    QLabel* FStatus;
    TWallNavigator* FNavigator;
    TDropNotifier* FNotifier;
    QTimer FSummaryTimer;

    TWallFilter FFilter;
    QList<QPointer<TVNCPanel>> FTiles;
    QStringList FAddresses;
    QStringList FGroups;
    int FIconSize = 0;
    bool FListKnown = false;
    int FLaidWidth = -1;
    int FAsking = 0;
};
