#pragma once
// TAnaFormF: the main window. A title strip, a warning strip shown while the computer list is
// empty, and a scrolling area with one tile per computer, all tiles of one square size laid out in
// rows. The grid is never updated in parts: every change rebuilds it from the table.

#include "ComputerListFile.h"

#include <QList>
#include <QMainWindow>
#include <QRect>
#include <QString>

class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class TComputerTable;
class TFormHeader;
class TTileWall;
class TWallBuilder;
class TVNCPanel;

class TAnaFormF : public QMainWindow {
    Q_OBJECT

public:
    // The private message that builds the grid once the window is on screen.
    static constexpr int WM_BUILDTILES = 5121;

    static QString MakerName() { return QStringLiteral("TARNOVEX"); }
    static QString ProductName() { return QStringLiteral("LatisVNC"); }
    static QString Version() { return QStringLiteral("s1.02.01"); }
    static QString EditionSuffix() { return QStringLiteral("f"); }
    static QString ComposedCaption();

    static constexpr int MinIconSize = 160;
    static constexpr int MaxIconSize = 500;

    // Runs the start-up sequence in folder (the program folder).
    explicit TAnaFormF(const QString& folder, QWidget* parent = nullptr);
    ~TAnaFormF() override;

    // Restores the saved placement (maximised when none), icon size and skin, then shows the window.
    void ShowMain();

    // Grid.
    void BuildTiles();
    void ClearTiles();
    // Where the grid puts count tiles of edge s in a scrolling area areaWidth pixels wide.
    static QList<QRect> TilePlacement(int count, int s, int areaWidth);

    // Handlers.
    void FormActivate();
    void Ayarlar1Click();
    void sTrackBar1UserChange(int position);
    void k1Click();
    void BilgisayarKayitlari1Click();
    void LatisVNCYardm1Click();
    void Hakkinda1Click();
    void WebSite1Click();

    // Settings.
    int IconSize() const;
    void SetIconSize(int size);
    // "Kopan bağlantıları otomatik yeniden kur": failed tiles retry by themselves (off by default).
    bool AutoReconnect() const;
    void SetAutoReconnect(bool on);
    QString SkinName() const { return FSkinName; }
    void SetSkinName(const QString& name);
    // "Düşük bant genişliği": new tiles ask for Tight with JPEG, their full-screen windows for Tight
    // without JPEG.
    bool LowBandwidth() const;
    // "Şifreleme": Kapalı / Varsa kullan / Zorunlu, the DOVAEncryptionEnum of every tile (default
    // Varsa kullan).
    int Encryption() const;
    void SetEncryption(int policy);
    QComboBox* sComboSifreleme() const { return FComboSifreleme; }
    // The remembered server certificates, beside the other user files.
    QString KnownCertificatesFile() const;
    void SetLowBandwidth(bool on);
    QString SettingsFileName() const;
    void RestoreSettings();
    void StoreSettings();

    // Parts, for the menus of other windows and for tests.
    TComputerTable* RxBilgisayar() const { return FTable; }
    TComputerListFile& ComputerList() { return FComputerList; }
    QString Folder() const { return FFolder; }
    QList<TVNCPanel*> Tiles() const { return FTiles; }
    QScrollArea* ScrollBox1() const { return FScrollBox1; }
    QLabel* PanelUyari() const { return FPanelUyari; }
    QWidget* PanelAyar() const { return FPanelAyar; }
    QLabel* sLabelIkonBoyutu() const { return FLabelIkonBoyutu; }
    QSlider* sTrackBar1() const { return FTrackBar1; }
    QCheckBox* sCheckBoxYenidenBaglan() const { return FCheckBoxYenidenBaglan; }
    QCheckBox* sCheckBoxDusukBant() const { return FCheckBoxDusukBant; }
    QCheckBox* sCheckBoxBildirim() const { return FCheckBoxBildirim; }
    TFormHeader* FormHeader1() const { return FFormHeader1; }
    TTileWall* Wall() const { return FWall; }
    TWallBuilder* Builder() const { return FBuilder; }
    bool FirstActivationPending() const { return FFirstActivation; }

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CreateWidgets();
    void CreateSettingsPanel();
    void CreateMenus();
    void SetIconSizeLabel(int size);

    QString FFolder;
    bool FFirstActivation = true;
    TComputerTable* FTable = nullptr;
    TComputerListFile FComputerList;
    QList<TVNCPanel*> FTiles;
    QString FSkinName;

    TFormHeader* FFormHeader1 = nullptr;
    QLabel* FPanelUyari = nullptr;
    QScrollArea* FScrollBox1 = nullptr;
    QWidget* FScrollBoxContents = nullptr;
    QWidget* FPanelAyar = nullptr;
    QLabel* FLabelIkonBoyutu = nullptr;
    QSlider* FTrackBar1 = nullptr;
    QCheckBox* FCheckBoxYenidenBaglan = nullptr;
    QCheckBox* FCheckBoxDusukBant = nullptr;
    QCheckBox* FCheckBoxBildirim = nullptr; // desktop notifications when computers drop
    QComboBox* FComboSifreleme = nullptr;
    QWidget* FPanel2 = nullptr;
    QPushButton* FButton3 = nullptr;
    QActionGroup* FSkinGroup = nullptr;
    TTileWall* FWall = nullptr;
    TWallBuilder* FBuilder = nullptr;
};
