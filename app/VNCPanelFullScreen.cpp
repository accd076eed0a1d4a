#include "VNCPanel.h"

// The full-screen viewing window opened from a connected tile.
void TVNCPanel::ShowFullScreen(bool inputEnabled) {
    (void)inputEnabled;
}
