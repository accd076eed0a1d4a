#include "TileWall.h"

#include "AnaForm.h"
#include "DropNotifier.h"
#include "TileVisibility.h"
#include "VNCPanel.h"
#include "WallNavigator.h"
#include "WallSummary.h"

#include <QCollator>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>

#include <algorithm>

namespace {

constexpr int TileGap = 10;        // as the grid's own margins
constexpr int SummaryDelayMs = 50; // a burst of state changes (the wall's start) redraws the line once

} // namespace

TTileWall::TTileWall(QScrollArea* area, QWidget* window) : QObject(window), FArea(area) {
    FStrip = new QWidget(window);
    FStrip->setObjectName(QStringLiteral("WallStrip"));
    auto* strip = new QHBoxLayout(FStrip);
    strip->setContentsMargins(8, 4, 8, 4);
    auto* searchLabel = new QLabel(QStringLiteral("&Ara:"), FStrip);
    FSearch = new QLineEdit(FStrip);
    FSearch->setObjectName(QStringLiteral("WallSearch"));
    FSearch->setPlaceholderText(QStringLiteral("Bilgisayar adı veya adresi (Ctrl+F)"));
    FSearch->setClearButtonEnabled(true);
    FSearch->setAccessibleName(QStringLiteral("Bilgisayar ara"));
    FSearch->setMaximumWidth(360);
    FSearch->installEventFilter(this);
    searchLabel->setBuddy(FSearch);
    strip->addWidget(searchLabel);
    strip->addWidget(FSearch, 1);
    FGroupBox = new QComboBox(FStrip);
    FGroupBox->setObjectName(QStringLiteral("WallGroup"));
    FGroupBox->setAccessibleName(QStringLiteral("Grup"));
    FGroupBox->setFocusPolicy(Qt::StrongFocus);
    FGroupBox->setMinimumWidth(160);
    FGroupLabel = new QLabel(QStringLiteral("&Grup:"), FStrip);
    FGroupLabel->setBuddy(FGroupBox);
    FGroupLabel->hide();
    FGroupBox->hide(); // only while some record has a group
    strip->addWidget(FGroupLabel);
    strip->addWidget(FGroupBox);
    strip->addStretch(1);

    FStatus = new QLabel(window);
    FStatus->setObjectName(QStringLiteral("WallStatus"));
    FStatus->setAccessibleName(QStringLiteral("Durum"));

    FArea->setAccessibleName(QStringLiteral("Bilgisayarlar"));
    FNavigator = new TWallNavigator(FArea, FSearch, FGroupBox);
    FNotifier = new TDropNotifier(this);

    auto* find = new QShortcut(QKeySequence::Find, window);
    connect(find, &QShortcut::activated, this, [this] {
        FSearch->setFocus(Qt::ShortcutFocusReason);
        FSearch->selectAll();
    });
    connect(FSearch, &QLineEdit::textChanged, this, &TTileWall::SetSearchText);
    connect(FGroupBox, &QComboBox::activated, this,
            [this](int index) { SetGroupChoice(index <= 0 ? QString() : FGroupBox->itemText(index)); });
    connect(FArea->horizontalScrollBar(), &QScrollBar::valueChanged, this, &TTileWall::UpdateVisibility);
    connect(FArea->verticalScrollBar(), &QScrollBar::valueChanged, this, &TTileWall::UpdateVisibility);
    FArea->installEventFilter(this);
    // Kept: the filter also sees the events of the area's own destruction, when it is a QWidget only.
    FViewport = FArea->viewport();
    FViewport->installEventFilter(this);

    FSummaryTimer.setSingleShot(true);
    FSummaryTimer.setInterval(SummaryDelayMs);
    connect(&FSummaryTimer, &QTimer::timeout, this, &TTileWall::UpdateSummary);
}

void TTileWall::SetTiles(const QList<TVNCPanel*>& tiles, const QStringList& addresses,
                         const QStringList& groups, int iconSize) {
    FTiles.clear();
    for (TVNCPanel* tile : tiles) {
        FTiles.append(tile);
        connect(tile, &TVNCPanel::TileStateChanged, this, &TTileWall::TileStateChanged, Qt::UniqueConnection);
        NameForReaders(tile);
    }
    FAddresses = addresses;
    FGroups = groups;
    FIconSize = iconSize;
    FListKnown = true;
    FillGroupBox();
    Relayout();
}

void TTileWall::DropTiles() {
    FTiles.clear();
    FNavigator->SetTiles({});
    UpdateSummary();
}

void TTileWall::FillGroupBox() {
    QStringList names;
    for (const QString& g : FGroups)
        if (!g.trimmed().isEmpty() && !names.contains(g.trimmed()))
            names.append(g.trimmed());
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(),
              [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    FGroupBox->clear();
    FGroupBox->addItem(AllGroupsText());
    FGroupBox->addItems(names);
    FGroupBox->setVisible(!names.isEmpty());
    FGroupLabel->setVisible(!names.isEmpty());
    SetGroupChoice(FFilter.Group());
}

void TTileWall::SetGroupChoice(const QString& group) {
    if (!FListKnown) {
        FFilter.SetGroup(group); // from the settings: checked against the list at the first build
        return;
    }
    int index = 0;
    for (int i = 1; i < FGroupBox->count(); ++i)
        if (TWallFilter::Fold(FGroupBox->itemText(i)) == TWallFilter::Fold(group))
            index = i;
    FGroupBox->setCurrentIndex(index);
    const QString chosen = index > 0 ? FGroupBox->itemText(index) : QString();
    if (chosen == FFilter.Group())
        return;
    FFilter.SetGroup(chosen);
    Relayout();
}

void TTileWall::SetSearchText(const QString& text) {
    if (FSearch->text() != text)
        FSearch->setText(text); // comes back here through textChanged
    if (text == FFilter.Text())
        return;
    FFilter.SetText(text);
    Relayout();
}

QList<TVNCPanel*> TTileWall::ShownTiles() const {
    QList<TVNCPanel*> shown;
    for (const QPointer<TVNCPanel>& tile : FTiles)
        if (tile && tile->isVisibleTo(FArea->widget()))
            shown.append(tile.data());
    return shown;
}

void TTileWall::Relayout() {
    QWidget* contents = FArea->widget();
    contents->setUpdatesEnabled(false);
    QList<TVNCPanel*> shown;
    for (int i = 0; i < FTiles.size(); ++i) {
        TVNCPanel* tile = FTiles[i];
        if (!tile)
            continue;
        const bool match = FFilter.Matches(tile->Title(), FAddresses.value(i), FGroups.value(i));
        if (match)
            shown.append(tile);
        else if (tile->isVisibleTo(contents))
            tile->hide();
    }
    const QList<QRect> places = TAnaFormF::TilePlacement(int(shown.size()), FIconSize, FArea->width());
    QRect extent;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i]->geometry() != places[i])
            shown[i]->setGeometry(places[i]);
        if (!shown[i]->isVisibleTo(contents))
            shown[i]->show();
        extent |= places[i];
    }
    // The scrolling range reaches every tile, with the margin the grid keeps on the left and top.
    contents->resize(extent.isEmpty() ? QSize(0, 0)
                                      : QSize(extent.right() + 1 + TileGap, extent.bottom() + 1 + TileGap));
    contents->setUpdatesEnabled(true);
    FLaidWidth = FArea->width();
    FNavigator->SetTiles(shown);
    UpdateVisibility();
    UpdateSummary();
}

void TTileWall::UpdateVisibility() {
    QList<TVNCPanel*> tiles;
    for (const QPointer<TVNCPanel>& tile : FTiles)
        if (tile)
            tiles.append(tile.data());
    const QPoint offset(FArea->horizontalScrollBar()->value(), FArea->verticalScrollBar()->value());
    FAsking = ApplyTileVisibility(tiles, QRect(offset, FArea->viewport()->size()));
}

void TTileWall::UpdateSummary() {
    FSummaryTimer.stop();
    FStatus->setText(TWallSummary::Of(ShownTiles()).Text());
}

void TTileWall::TileStateChanged(TVNCPanel* tile, TTileState before) {
    NameForReaders(tile);
    if (before == TTileState::Connected &&
        (tile->TileState() == TTileState::Failed || tile->TileState() == TTileState::PasswordNeeded))
        FNotifier->Dropped(tile->Title());
    if (tile->isVisibleTo(FArea->widget()) && !FSummaryTimer.isActive())
        FSummaryTimer.start();
}

void TTileWall::NameForReaders(TVNCPanel* tile) {
    const QString state = TWallSummary::StateText(tile->TileState());
    tile->setAccessibleName(tile->Title() + QStringLiteral(", ") + state);
    tile->Button()->setAccessibleName(tile->Button()->text() + QStringLiteral(": ") + tile->Title());
}

bool TTileWall::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FSearch && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            FSearch->clear();
            return true;
        }
        if (key->key() == Qt::Key_Down && !FTiles.isEmpty()) {
            FArea->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    if (watched == FArea && event->type() == QEvent::Resize && FArea->width() != FLaidWidth && FIconSize > 0)
        Relayout(); // the grid follows the window's width at once
    if (watched == FViewport && event->type() == QEvent::Resize)
        UpdateVisibility();
    return QObject::eventFilter(watched, event);
}
