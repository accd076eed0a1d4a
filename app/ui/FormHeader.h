#pragma once
// TFormHeader: the title strip of the application's windows: a 30-pixel panel with a lowered bevel,
// a left-to-right gradient, a small disc near the left edge and the title in white bold type.

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QString>

class TFormHeader : public QFrame {
    Q_OBJECT

public:
    static constexpr int HeaderHeight = 30;
    static constexpr int TitleLeft = 40;

    explicit TFormHeader(QWidget* parent = nullptr);

    QString Title() const { return FTitle; }
    void SetTitle(const QString& title);
    QFont TitleFont() const { return FTitleFont; }
    void SetTitleFont(const QFont& font);
    QColor StartColor() const { return FStartColor; }
    QColor EndColor() const { return FEndColor; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FTitle;
    QFont FTitleFont;
    QColor FStartColor{99, 147, 206};
    QColor FEndColor{229, 239, 255};
};
