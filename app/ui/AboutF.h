#pragma once
// The about window: product picture, heading, scrolling information text, memory figures, credits.

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;
class TScrollingText;

class TAboutF : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 465;
    static constexpr int ClientHeight = 460;
    static constexpr int PictureWidth = 146;

    TAboutF(const QString& caption, const QString& programName, const QPixmap& picture,
            QWidget* parent = nullptr);

    // Shows the credits panel and starts its scrolling, or hides and stops it.
    void ToggleCredits();

    QLabel* Heading() const { return FHeading; }
    TScrollingText* InformationText() const { return FInformation; }
    TScrollingText* CreditsPanel() const { return FCredits; }
    QLabel* PhysicalMemoryValue() const { return FPhysicalValue; }
    QLabel* MemoryLoadValue() const { return FLoadValue; }
    QPushButton* OkButton() const { return FOkButton; }
    QLabel* PictureLabel() const { return FPicture; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillMemoryLines();

    QLabel* FPicture = nullptr;
    QLabel* FHeading = nullptr;
    TScrollingText* FInformation = nullptr;
    TScrollingText* FCredits = nullptr;
    QLabel* FPhysicalValue = nullptr;
    QLabel* FLoadValue = nullptr;
    QPushButton* FOkButton = nullptr;
};
