#pragma once
// Only what is seen costs: a tile that is hidden or lies wholly outside the part of the grid on the
// screen holds its viewer's update requests (its connection stays open and its failures still
// arrive); once seen again the viewer asks for the whole screen and is current within a round trip.

#include <QList>
#include <QRect>

class TVNCPanel;

// seen: the visible part of the grid, in the grid's own coordinates. Gives the number of tiles
// that now ask for updates.
int ApplyTileVisibility(const QList<TVNCPanel*>& tiles, const QRect& seen);
