#include "TileVisibility.h"

#include "VNCPanel.h"

int ApplyTileVisibility(const QList<TVNCPanel*>& tiles, const QRect& seen) {
    int asking = 0;
    for (TVNCPanel* tile : tiles) {
        const bool wanted = tile->isVisibleTo(tile->parentWidget()) && tile->geometry().intersects(seen);
        if (wanted)
            ++asking;
        TVNCViewer* viewer = tile->Viewer();
        if (viewer && viewer->RequestFrames() != wanted)
            viewer->SetRequestFrames(wanted);
    }
    return asking;
}
