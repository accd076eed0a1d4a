#include "WallBuilder.h"

#include "VNCPanel.h"

#include <QElapsedTimer>
#include <QTimerEvent>

TWallBuilder::TWallBuilder(QObject* parent) : QObject(parent) {}

TWallBuilder::~TWallBuilder() {
    FMake = nullptr;
    Finish();
}

void TWallBuilder::Retire(const QList<TVNCPanel*>& tiles) {
    if (tiles.size() <= LargeWall && FRetired.isEmpty()) {
        for (auto it = tiles.rbegin(); it != tiles.rend(); ++it)
            delete *it;
        return;
    }
    for (TVNCPanel* tile : tiles) {
        tile->hide();
        if (TVNCViewer* viewer = tile->Viewer())
            viewer->SetRequestFrames(false);
        FRetired.append(tile);
    }
    if (!FTimer.isActive())
        FTimer.start(0, this);
}

void TWallBuilder::Build(int count, std::function<void(int)> make, std::function<void(int, int)> done) {
    FMake = std::move(make);
    FDone = std::move(done);
    FNext = 0;
    FCount = count;
    if (count <= LargeWall && FRetired.isEmpty()) {
        for (int i = 0; i < count; ++i)
            FMake(i);
        FNext = count;
        if (count > 0)
            FDone(0, count);
        return;
    }
    if (!FTimer.isActive())
        FTimer.start(0, this);
}

void TWallBuilder::Finish() {
    FTimer.stop();
    FNext = FCount;
    while (!FRetired.isEmpty())
        delete FRetired.takeLast().data();
}

void TWallBuilder::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTimer.timerId())
        return;
    QElapsedTimer slice;
    slice.start();
    // The old tiles go first, so the computers never see both walls' connections at once for long.
    while (!FRetired.isEmpty() && slice.elapsed() < SliceMs)
        delete FRetired.takeLast().data();
    const int first = FNext;
    while (FRetired.isEmpty() && FNext < FCount && FMake && slice.elapsed() < SliceMs)
        FMake(FNext++);
    if (FNext > first && FDone)
        FDone(first, FNext);
    if (FRetired.isEmpty() && FNext >= FCount)
        FTimer.stop();
}
