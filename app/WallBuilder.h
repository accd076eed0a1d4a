#pragma once
// Builds and clears a large wall a slice per turn of the event loop. Making a tile (its viewer
// control) and ending one (its session threads) take a millisecond or more each, so doing 256 of
// them in one go would freeze the interface for the better part of a second. Up to LargeWall tiles
// everything still happens at once, as it always did.

#include <QBasicTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class TVNCPanel;

class TWallBuilder : public QObject {
public:
    static constexpr int LargeWall = 64;
    static constexpr int SliceMs = 20; // work per turn; the interface's other events run in between

    explicit TWallBuilder(QObject* parent = nullptr);
    ~TWallBuilder() override;

    // Takes the tiles out of sight and out of the updates at once and deletes them now (a small
    // wall) or a slice at a time, before any tile of a build in progress is made.
    void Retire(const QList<TVNCPanel*>& tiles);
    // make(i) for every i below count: now for a small wall, otherwise a slice at a time; after
    // each slice done(first, end) with the range just made.
    void Build(int count, std::function<void(int)> make, std::function<void(int, int)> done);
    // Stops a build in progress (what is made stays) and deletes the retired tiles at once.
    void Finish();
    bool Busy() const { return FTimer.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer FTimer;
    QList<QPointer<TVNCPanel>> FRetired;
    std::function<void(int)> FMake;
    std::function<void(int, int)> FDone;
    int FNext = 0;
    int FCount = 0;
};
