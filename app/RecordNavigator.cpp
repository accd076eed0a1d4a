#include "RecordNavigator.h"

#include "ComputerTable.h"
#include "ui/OperatorMessages.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

constexpr int GlyphSize = 20;

// The navigator's glyphs, drawn so that they look the same under every style and skin.
QIcon DrawGlyph(TRecordNavigator::Button button) {
    QPixmap pixmap(GlyphSize, GlyphSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(31, 61, 102);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    auto triangle = [&](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 10);
        path.lineTo(baseX, 4);
        path.lineTo(baseX, 16);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (button) {
    case TRecordNavigator::First:
        p.drawRect(QRectF(4, 4, 2.5, 12));
        triangle(7, 15);
        break;
    case TRecordNavigator::Prior:
        triangle(6, 14);
        break;
    case TRecordNavigator::Next:
        triangle(14, 6);
        break;
    case TRecordNavigator::Last:
        triangle(13, 5);
        p.drawRect(QRectF(13.5, 4, 2.5, 12));
        break;
    case TRecordNavigator::Insert:
        p.drawRect(QRectF(8.75, 3, 2.5, 14));
        p.drawRect(QRectF(3, 8.75, 14, 2.5));
        break;
    case TRecordNavigator::Delete:
        p.drawRect(QRectF(3, 8.75, 14, 2.5));
        break;
    case TRecordNavigator::Post: {
        p.setPen(QPen(QColor(20, 120, 40), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(4, 10.5), QPointF(8.5, 15), QPointF(16, 5)}));
        break;
    }
    case TRecordNavigator::Cancel:
        p.setPen(QPen(QColor(170, 30, 30), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(15, 15));
        p.drawLine(QPointF(15, 5), QPointF(5, 15));
        break;
    }
    p.end();
    return QIcon(pixmap);
}

QString HintOf(TRecordNavigator::Button button) {
    switch (button) {
    case TRecordNavigator::First:
        return QStringLiteral("İlk kayıt");
    case TRecordNavigator::Prior:
        return QStringLiteral("Önceki kayıt");
    case TRecordNavigator::Next:
        return QStringLiteral("Sonraki kayıt");
    case TRecordNavigator::Last:
        return QStringLiteral("Son kayıt");
    case TRecordNavigator::Insert:
        return QStringLiteral("Kayıt ekle");
    case TRecordNavigator::Delete:
        return QStringLiteral("Kaydı sil");
    case TRecordNavigator::Post:
        return QStringLiteral("Kaydet");
    case TRecordNavigator::Cancel:
        return QStringLiteral("Vazgeç");
    }
    return QString();
}

} // namespace

TRecordNavigator::TRecordNavigator(TComputerTable& table, QWidget* parent) : QWidget(parent), FTable(table) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 6);
    row->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        const auto button = static_cast<Button>(i);
        auto* b = new QToolButton(this);
        b->setIcon(DrawGlyph(button));
        b->setIconSize(QSize(GlyphSize, GlyphSize));
        b->setToolTip(HintOf(button));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setFocusPolicy(Qt::NoFocus); // a click must not take the focus from the edit box being typed in
        connect(b, &QToolButton::clicked, this, [this, button] { Click(button); });
        row->addWidget(b);
        FButtons[i] = b;
    }
    connect(&FTable, &TComputerTable::CurrentChanged, this, &TRecordNavigator::UpdateButtons);
    connect(&FTable, &TComputerTable::StateChanged, this, &TRecordNavigator::UpdateButtons);
    connect(&FTable, &QAbstractItemModel::rowsInserted, this, &TRecordNavigator::UpdateButtons);
    connect(&FTable, &QAbstractItemModel::rowsRemoved, this, &TRecordNavigator::UpdateButtons);
    connect(&FTable, &QAbstractItemModel::modelReset, this, &TRecordNavigator::UpdateButtons);
    UpdateButtons();
}

void TRecordNavigator::Click(Button button) {
    switch (button) {
    case First:
        FTable.First();
        break;
    case Prior:
        FTable.Prior();
        break;
    case Next:
        FTable.Next();
        break;
    case Last:
        FTable.Last();
        break;
    case Insert:
        FTable.Insert();
        break;
    case Delete:
        if (OperatorMessages::ConfirmOkCancel(window(), QStringLiteral("Delete record?")))
            FTable.Delete();
        break;
    case Post:
        FTable.Post();
        break;
    case Cancel:
        FTable.Cancel();
        break;
    }
    UpdateButtons();
}

void TRecordNavigator::UpdateButtons() {
    const bool editing = FTable.GetState() != TComputerTable::State::Browse;
    const bool empty = FTable.IsEmpty();
    // While a record is being edited every move stays possible: it posts first.
    FButtons[First]->setEnabled(!empty && (editing || !FTable.Bof()));
    FButtons[Prior]->setEnabled(!empty && (editing || !FTable.Bof()));
    FButtons[Next]->setEnabled(!empty && (editing || !FTable.Eof()));
    FButtons[Last]->setEnabled(!empty && (editing || !FTable.Eof()));
    FButtons[Insert]->setEnabled(true);
    FButtons[Delete]->setEnabled(!empty);
    FButtons[Post]->setEnabled(editing);
    FButtons[Cancel]->setEnabled(editing);
}
