#include "AnaForm.h"

#include "ComputerIni.h"
#include "ComputerTable.h"
#include "Deployment.h"
#include "Skins.h"
#include "VNCPanel.h"
#include "ui/FormHeader.h"
#include "ui/PanelDialog.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QVBoxLayout>

namespace {

constexpr int DesignWidth = 870;
constexpr int DesignHeight = 640;
constexpr int WarningHeight = 41;
constexpr int TileGap = 10;      // left and top margin, and the gap between tiles of a row
constexpr int RightReserve = 40; // a tile's right edge stays this far inside the scrolling area
constexpr int ButtonStripHeight = 41;

QString SettingsGroup() {
    return QStringLiteral("AnaFormF");
}
QString PlacementKey() {
    return QStringLiteral("Placement");
}
QString IconSizeKey() {
    return QStringLiteral("sTrackBar1.Position");
}
QString SkinNameKey() {
    return QStringLiteral("sSkinManager1.SkinName");
}
QString AutoReconnectKey() {
    return QStringLiteral("sCheckBoxYenidenBaglan.Checked");
}
QString EncryptionKey() {
    return QStringLiteral("sComboSifreleme.ItemIndex");
}
QString LowBandwidthKey() {
    return QStringLiteral("sCheckBoxDusukBant.Checked");
}

} // namespace

QString TAnaFormF::ComposedCaption() {
    return MakerName() + u' ' + ProductName() + u' ' + Version() + EditionSuffix();
}

TAnaFormF::TAnaFormF(const QString& folder, QWidget* parent) : QMainWindow(parent), FFolder(folder) {
    setObjectName(QStringLiteral("AnaFormF"));
    setWindowTitle(QStringLiteral("TARNOVEX LatisVNC Viewer s1.01.01.01"));
    resize(DesignWidth, DesignHeight);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    CreateWidgets();
    CreateSettingsPanel();
    CreateMenus();
    FormCreate();
}

TAnaFormF::~TAnaFormF() {
    ClearTiles();
}

void TAnaFormF::FormCreate() {
    setWindowTitle(ComposedCaption());
    FFirstActivation = true;
    FTable = new TComputerTable(this);
    DeployControlLibrary(FFolder);
    DeployHelpDocument(FFolder);
    const QString list = FFolder + QString::fromUtf16(ComputerFileName);
    if (QFileInfo::exists(list))
        LoadTableFromIni(*FTable, list);
}

void TAnaFormF::CreateWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    FFormHeader1 = new TFormHeader(central);
    FFormHeader1->setObjectName(QStringLiteral("FormHeader1"));
    FFormHeader1->SetTitle(QStringLiteral("TARNOVEX LatisVNC Viewer"));
    QFont headerFont(QStringLiteral("MS Sans Serif"));
    headerFont.setPixelSize(19);
    headerFont.setBold(true);
    FFormHeader1->SetTitleFont(headerFont);
    layout->addWidget(FFormHeader1);

    FPanelUyari =
        new QLabel(QStringLiteral("SİSTEMİ NASIL KULLANACAĞINIZ YARDIM MENÜSÜNDE AÇIKLANMIŞTIR."), central);
    FPanelUyari->setObjectName(QStringLiteral("PanelUyari"));
    FPanelUyari->setFixedHeight(WarningHeight);
    FPanelUyari->setAlignment(Qt::AlignCenter);
    QFont warningFont(QStringLiteral("MS Sans Serif"));
    warningFont.setPixelSize(19);
    warningFont.setBold(true);
    FPanelUyari->setFont(warningFont);
    FPanelUyari->setStyleSheet(QStringLiteral("color: red;"));
    FPanelUyari->hide();
    layout->addWidget(FPanelUyari);

    FScrollBox1 = new QScrollArea(central);
    FScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    FScrollBox1->setWidgetResizable(false);
    FScrollBox1->horizontalScrollBar()->setTracking(true);
    FScrollBox1->verticalScrollBar()->setTracking(true);
    FScrollBoxContents = new QWidget;
    FScrollBoxContents->setObjectName(QStringLiteral("ScrollBoxContents"));
    FScrollBox1->setWidget(FScrollBoxContents);
    layout->addWidget(FScrollBox1, 1);
    setCentralWidget(central);
}

void TAnaFormF::CreateSettingsPanel() {
    FPanelAyar = new QWidget(FScrollBoxContents);
    FPanelAyar->setObjectName(QStringLiteral("PanelAyar"));
    FPanelAyar->setAttribute(Qt::WA_StyledBackground);
    FPanelAyar->resize(361, 255);
    FPanelAyar->hide();
    FPanelAyar->installEventFilter(this);

    FLabelIkonBoyutu = new QLabel(QStringLiteral("İkon Boyutu"), FPanelAyar);
    FLabelIkonBoyutu->setObjectName(QStringLiteral("sLabelIkonBoyutu"));
    FLabelIkonBoyutu->move(24, 24);
    FLabelIkonBoyutu->setStyleSheet(QStringLiteral("color: rgb(59, 90, 130);"));
    FLabelIkonBoyutu->setMinimumWidth(300);

    FTrackBar1 = new QSlider(Qt::Horizontal, FPanelAyar);
    FTrackBar1->setObjectName(QStringLiteral("sTrackBar1"));
    FTrackBar1->setGeometry(14, 43, 337, 45);
    FTrackBar1->setRange(MinIconSize, MaxIconSize);
    FTrackBar1->setTickInterval(10);
    FTrackBar1->setTickPosition(QSlider::TicksBelow);
    FTrackBar1->setValue(MinIconSize);
    connect(FTrackBar1, &QSlider::valueChanged, this, &TAnaFormF::sTrackBar1UserChange);

    FCheckBoxYenidenBaglan =
        new QCheckBox(QStringLiteral("Kopan bağlantıları otomatik yeniden kur"), FPanelAyar);
    FCheckBoxYenidenBaglan->setObjectName(QStringLiteral("sCheckBoxYenidenBaglan"));
    FCheckBoxYenidenBaglan->setGeometry(24, 110, 313, 24);
    FCheckBoxDusukBant = new QCheckBox(QStringLiteral("Düşük bant genişliği (ZRLE)"), FPanelAyar);
    FCheckBoxDusukBant->setObjectName(QStringLiteral("sCheckBoxDusukBant"));
    FCheckBoxDusukBant->setGeometry(24, 140, 313, 24);
    auto* encryptionLabel = new QLabel(QStringLiteral("Şifreleme:"), FPanelAyar);
    encryptionLabel->setGeometry(24, 172, 90, 24);
    FComboSifreleme = new QComboBox(FPanelAyar);
    FComboSifreleme->setObjectName(QStringLiteral("sComboSifreleme"));
    FComboSifreleme->addItems(
        {QStringLiteral("Kapalı"), QStringLiteral("Varsa kullan"), QStringLiteral("Zorunlu")});
    FComboSifreleme->setCurrentIndex(dova::dovaEncryptionPrefer);
    FComboSifreleme->setGeometry(114, 172, 223, 24);

    FPanel2 = new QWidget(FPanelAyar);
    FPanel2->setObjectName(QStringLiteral("Panel2"));
    FPanel2->setAttribute(Qt::WA_StyledBackground);
    FPanel2->setGeometry(0, FPanelAyar->height() - ButtonStripHeight, FPanelAyar->width(), ButtonStripHeight);

    FButton3 = new QPushButton(QStringLiteral("Kapat"), FPanel2);
    FButton3->setObjectName(QStringLiteral("sButton3"));
    FButton3->setGeometry(24, 5, 313, 30);
    connect(FButton3, &QPushButton::clicked, this, [this] {
        if (auto* dialog = qobject_cast<QDialog*>(FPanelAyar->window()))
            dialog->accept();
    });
}

void TAnaFormF::CreateMenus() {
    QMenu* dosya = menuBar()->addMenu(QStringLiteral("Dosya"));
    dosya->setObjectName(QStringLiteral("Dosya1"));
    QAction* records = dosya->addAction(QStringLiteral("Bilgisayar Kayıtları"));
    records->setObjectName(QStringLiteral("BilgisayarKayitlari1"));
    connect(records, &QAction::triggered, this, &TAnaFormF::BilgisayarKayitlari1Click);
    QAction* settings = dosya->addAction(QStringLiteral("Ayarlar"));
    settings->setObjectName(QStringLiteral("Ayarlar1"));
    connect(settings, &QAction::triggered, this, &TAnaFormF::Ayarlar1Click);
    dosya->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* exit = dosya->addAction(QStringLiteral("Çıkış"));
    exit->setObjectName(QStringLiteral("k1"));
    connect(exit, &QAction::triggered, this, &TAnaFormF::k1Click);

    QMenu* yardim = menuBar()->addMenu(QStringLiteral("Yardım"));
    yardim->setObjectName(QStringLiteral("Yardm1"));
    QAction* help = yardim->addAction(QStringLiteral("LatisVNC Yardım"));
    help->setObjectName(QStringLiteral("LatisVNCYardm1"));
    connect(help, &QAction::triggered, this, &TAnaFormF::LatisVNCYardm1Click);
    QAction* about = yardim->addAction(QStringLiteral("Hakkında"));
    about->setObjectName(QStringLiteral("Hakkinda1"));
    connect(about, &QAction::triggered, this, &TAnaFormF::Hakkinda1Click);
    QAction* web = yardim->addAction(QStringLiteral("www.tarnovex.com"));
    web->setObjectName(QStringLiteral("WebSite1"));
    connect(web, &QAction::triggered, this, &TAnaFormF::WebSite1Click);

    // The skin engine's selection menu (window managers here own the system menu).
    QMenu* skins = menuBar()->addMenu(QStringLiteral("Kaplama"));
    skins->setObjectName(QStringLiteral("SkinMenu"));
    FSkinGroup = new QActionGroup(this);
    for (const QString& name : BuiltInSkinNames()) {
        QAction* a = skins->addAction(name);
        a->setCheckable(true);
        a->setData(name);
        FSkinGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, name] { SetSkinName(name); });
    }
}

bool TAnaFormF::AutoReconnect() const {
    return FCheckBoxYenidenBaglan->isChecked();
}
void TAnaFormF::SetAutoReconnect(bool on) {
    FCheckBoxYenidenBaglan->setChecked(on);
}
int TAnaFormF::Encryption() const {
    return FComboSifreleme->currentIndex();
}
void TAnaFormF::SetEncryption(int policy) {
    if (policy < dova::dovaEncryptionOff || policy > dova::dovaEncryptionRequire)
        policy = dova::dovaEncryptionPrefer;
    FComboSifreleme->setCurrentIndex(policy);
}
QString TAnaFormF::KnownCertificatesFile() const {
    return FFolder + QStringLiteral("known-certificates");
}

bool TAnaFormF::LowBandwidth() const {
    return FCheckBoxDusukBant->isChecked();
}
void TAnaFormF::SetLowBandwidth(bool on) {
    FCheckBoxDusukBant->setChecked(on);
}

int TAnaFormF::IconSize() const {
    return FTrackBar1->value();
}
void TAnaFormF::SetIconSize(int size) {
    FTrackBar1->setValue(size);
}

void TAnaFormF::SetSkinName(const QString& name) {
    FSkinName = ApplySkin(name);
    for (QAction* a : FSkinGroup->actions())
        a->setChecked(a->data().toString() == FSkinName);
}

QString TAnaFormF::SettingsFileName() const {
    return FFolder + QFileInfo(QCoreApplication::applicationFilePath()).fileName() + QStringLiteral(".INI");
}

void TAnaFormF::RestoreSettings() {
    QSettings store(SettingsFileName(), QSettings::IniFormat);
    store.beginGroup(SettingsGroup());
    const QByteArray placement = store.value(PlacementKey()).toByteArray();
    if (placement.isEmpty() || !restoreGeometry(placement)) {
        // Opened maximised; the work-area size also holds where no window manager maximises.
        if (QScreen* s = screen())
            setGeometry(s->availableGeometry());
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    SetIconSize(store.value(IconSizeKey(), MinIconSize).toInt());
    SetSkinName(store.value(SkinNameKey(), DefaultSkinName()).toString());
    SetAutoReconnect(store.value(AutoReconnectKey(), false).toBool());
    SetLowBandwidth(store.value(LowBandwidthKey(), false).toBool());
    SetEncryption(store.value(EncryptionKey(), int(dova::dovaEncryptionPrefer)).toInt());
}

void TAnaFormF::StoreSettings() {
    QSettings store(SettingsFileName(), QSettings::IniFormat);
    store.beginGroup(SettingsGroup());
    store.setValue(PlacementKey(), saveGeometry());
    store.setValue(IconSizeKey(), IconSize());
    store.setValue(SkinNameKey(), FSkinName);
    store.setValue(AutoReconnectKey(), AutoReconnect());
    store.setValue(LowBandwidthKey(), LowBandwidth());
    store.setValue(EncryptionKey(), Encryption());
    store.endGroup();
    store.sync(); // a read-only folder simply keeps the old settings
}

void TAnaFormF::ShowMain() {
    RestoreSettings();
    show();
    activateWindow();
}

bool TAnaFormF::event(QEvent* event) {
    if (event->type() == QEvent::Type(WM_BUILDTILES)) {
        BuildTiles();
        return true;
    }
    return QMainWindow::event(event);
}

void TAnaFormF::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TAnaFormF::FormActivate() {
    if (!FFirstActivation)
        return;
    FFirstActivation = false;
    QCoreApplication::postEvent(this, new QEvent(QEvent::Type(WM_BUILDTILES)));
}

void TAnaFormF::closeEvent(QCloseEvent* event) {
    StoreSettings();
    event->accept();
}

bool TAnaFormF::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FPanelAyar && event->type() == QEvent::Resize)
        FPanel2->setGeometry(0, FPanelAyar->height() - ButtonStripHeight, FPanelAyar->width(),
                             ButtonStripHeight);
    return QMainWindow::eventFilter(watched, event);
}

QList<QRect> TAnaFormF::TilePlacement(int count, int s, int areaWidth) {
    QList<QRect> places;
    int c = 1;
    int r = 1;
    for (int i = 0; i < count; ++i) {
        // The test comes before every tile, the first included: when not even one tile fits, every
        // tile starts a new row and the first row stays empty.
        if ((c - 1) * (s + TileGap) + TileGap + s > areaWidth - RightReserve) {
            c = 1;
            ++r;
        }
        places.append(QRect((c - 1) * (s + TileGap) + TileGap, (r - 1) * s + TileGap, s, s));
        ++c;
    }
    return places;
}

void TAnaFormF::ClearTiles() {
    while (!FTiles.isEmpty())
        delete FTiles.takeLast();
}

void TAnaFormF::BuildTiles() {
    ClearTiles();
    const int s = IconSize();
    FTable->SortByName();
    FTable->First();
    const QList<QRect> places = TilePlacement(FTable->RecordCount(), s, FScrollBox1->width());
    QRect extent;
    for (int row = 0; row < FTable->RecordCount(); ++row) {
        auto* tile = new TVNCPanel(FScrollBoxContents);
        FTiles.append(tile);
        tile->SetTitle(FTable->Value(row, TComputerTable::BILGISAYARADI));
        tile->setGeometry(places[row]);
        tile->show();
        tile->SetAutoReconnect(AutoReconnect());
        tile->SetLowBandwidth(LowBandwidth());
        tile->SetEncryption(Encryption(), KnownCertificatesFile());
        extent |= places[row];
        tile->ConnectTo(FTable->Value(row, TComputerTable::IP), FTable->Value(row, TComputerTable::PORT),
                        FTable->Value(row, TComputerTable::PASSWORD));
    }
    // The scrolling range reaches every tile, with the margin the grid keeps on the left and top.
    FScrollBoxContents->resize(
        extent.isEmpty() ? QSize(0, 0) : QSize(extent.right() + 1 + TileGap, extent.bottom() + 1 + TileGap));
    FPanelUyari->setVisible(FTable->IsEmpty());
}

void TAnaFormF::SetIconSizeLabel(int size) {
    FLabelIkonBoyutu->setText(QStringLiteral("İkon Boyutu : ") + QString::number(size));
}

void TAnaFormF::sTrackBar1UserChange(int position) {
    SetIconSizeLabel(position);
}

void TAnaFormF::Ayarlar1Click() {
    SetIconSizeLabel(IconSize());
    ShowPanelAsDialog(FPanelAyar, QStringLiteral("Ayarlar"));
    BuildTiles();
}

void TAnaFormF::k1Click() {
    close();
}
