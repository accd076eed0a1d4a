#pragma once
// A panel whose lines scroll upwards in a cycle, one pixel per step: the about window's information
// text and its credits.

#include <QFrame>
#include <QStringList>
#include <QTimer>

class TScrollingText : public QFrame {
    Q_OBJECT
public:
    static constexpr int StepMilliseconds = 25; // the pace of the about window's text

    TScrollingText(const QStringList& lines, const QColor& textColor, const QColor& backColor,
                   QWidget* parent = nullptr);

    void StartScrolling();
    void StopScrolling();
    bool IsScrolling() const { return FTimer.isActive(); }
    const QStringList& Lines() const { return FLines; }
    int Offset() const { return FOffset; }

    // One step; public so that tests can drive the cycle without waiting.
    void Step();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int TextHeight() const;

    QStringList FLines;
    QTimer FTimer;
    int FOffset = 0; // pixels the text has moved up from its start; negative while it enters below
};
