#include "AnaForm.h"

#include "ComputerTable.h"
#include "ControlLibrary.h"
#include "Deployment.h"
#include "DropNotifier.h"
#include "FileFolder.h"
#include "Skins.h"
#include "TileWall.h"
#include "VNCPanel.h"
#include "WallBuilder.h"
#include "ui/FormHeader.h"
#include "ui/OperatorMessages.h"
#include "ui/PanelDialog.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <utility>
#include <vector>

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
QString FullScreenFitKey() {
    return QStringLiteral("FullScreenFit");
}
QString EncryptionKey() {
    return QStringLiteral("sComboSifreleme.ItemIndex");
}
QString LowBandwidthKey() {
    return QStringLiteral("sCheckBoxDusukBant.Checked");
}
QString GroupKey() {
    return QStringLiteral("Grup");
}
QString NotificationsKey() {
    return QStringLiteral("MasaustuBildirimleri");
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
    // The files live in the user's data folder when the program's own folder cannot take them; a list
    // left beside the program is still the list until the first save puts it there.
    const QString list = FFolder + QString::fromUtf16(ComputerFileName);
    const QString beside = ExecutableFolder() + QString::fromUtf16(ComputerFileName);
    const bool useBeside =
        FFolder != ExecutableFolder() && !QFileInfo::exists(list) && QFileInfo::exists(beside);
    FComputerList = TComputerListFile(list, useBeside ? beside : QString());
    FComputerList.Load(*FTable);
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

    FWall = new TTileWall(FScrollBox1, this);
    FBuilder = new TWallBuilder(this);
    layout->insertWidget(layout->indexOf(FScrollBox1), FWall->SearchStrip());
    statusBar()->addWidget(FWall->StatusLine(), 1);
    // Tab from the search field lands in the grid; the group choice (Alt+G) comes before the field.
    setTabOrder(FWall->GroupBox(), FWall->SearchField());
    setTabOrder(FWall->SearchField(), FScrollBox1);
}

void TAnaFormF::CreateSettingsPanel() {
    FPanelAyar = new QWidget(FScrollBoxContents);
    FPanelAyar->setObjectName(QStringLiteral("PanelAyar"));
    FPanelAyar->setAttribute(Qt::WA_StyledBackground);
    FPanelAyar->resize(361, 285);
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
    FCheckBoxDusukBant = new QCheckBox(QStringLiteral("Düşük bant genişliği (Tight)"), FPanelAyar);
    FCheckBoxDusukBant->setObjectName(QStringLiteral("sCheckBoxDusukBant"));
    FCheckBoxDusukBant->setGeometry(24, 140, 313, 24);
    // What the setting does, under it: the panel has room for one short line.
    auto* lowBandwidthNote =
        new QLabel(QStringLiteral("Küçük resimlerde JPEG, tam ekranda kayıpsız"), FPanelAyar);
    lowBandwidthNote->setObjectName(QStringLiteral("sLabelDusukBant"));
    lowBandwidthNote->setGeometry(44, 162, 293, 18);
    lowBandwidthNote->setStyleSheet(QStringLiteral("color: rgb(96, 96, 96);"));
    auto* encryptionLabel = new QLabel(QStringLiteral("Şifreleme:"), FPanelAyar);
    encryptionLabel->setGeometry(24, 186, 90, 24);
    FComboSifreleme = new QComboBox(FPanelAyar);
    FComboSifreleme->setObjectName(QStringLiteral("sComboSifreleme"));
    FComboSifreleme->addItems(
        {QStringLiteral("Kapalı"), QStringLiteral("Varsa kullan"), QStringLiteral("Zorunlu")});
    FComboSifreleme->setCurrentIndex(dova::dovaEncryptionPrefer);
    FComboSifreleme->setGeometry(114, 186, 223, 24);
    FCheckBoxBildirim =
        new QCheckBox(QStringLiteral("Bağlantı kopunca masaüstü bildirimi göster"), FPanelAyar);
    FCheckBoxBildirim->setObjectName(QStringLiteral("sCheckBoxBildirim"));
    FCheckBoxBildirim->setGeometry(24, 216, 313, 24);
    connect(FCheckBoxBildirim, &QCheckBox::toggled, FWall->Notifier(), &TDropNotifier::SetEnabled);

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
    // Reachable from the keyboard: Alt with the underlined letter, and F10 for the first menu.
    QMenu* dosya = menuBar()->addMenu(QStringLiteral("&Dosya"));
    dosya->setObjectName(QStringLiteral("Dosya1"));
    QAction* records = dosya->addAction(QStringLiteral("&Bilgisayar Kayıtları"));
    records->setObjectName(QStringLiteral("BilgisayarKayitlari1"));
    connect(records, &QAction::triggered, this, &TAnaFormF::BilgisayarKayitlari1Click);
    QAction* settings = dosya->addAction(QStringLiteral("&Ayarlar"));
    settings->setObjectName(QStringLiteral("Ayarlar1"));
    connect(settings, &QAction::triggered, this, &TAnaFormF::Ayarlar1Click);
    dosya->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* exit = dosya->addAction(QStringLiteral("Çı&kış"));
    exit->setObjectName(QStringLiteral("k1"));
    connect(exit, &QAction::triggered, this, &TAnaFormF::k1Click);

    QMenu* yardim = menuBar()->addMenu(QStringLiteral("&Yardım"));
    yardim->setObjectName(QStringLiteral("Yardm1"));
    QAction* help = yardim->addAction(QStringLiteral("LatisVNC &Yardım"));
    help->setObjectName(QStringLiteral("LatisVNCYardm1"));
    connect(help, &QAction::triggered, this, &TAnaFormF::LatisVNCYardm1Click);
    QAction* about = yardim->addAction(QStringLiteral("&Hakkında"));
    about->setObjectName(QStringLiteral("Hakkinda1"));
    connect(about, &QAction::triggered, this, &TAnaFormF::Hakkinda1Click);
    QAction* web = yardim->addAction(QStringLiteral("&www.tarnovex.com"));
    web->setObjectName(QStringLiteral("WebSite1"));
    connect(web, &QAction::triggered, this, &TAnaFormF::WebSite1Click);

    // The skin engine's selection menu (window managers here own the system menu).
    QMenu* skins = menuBar()->addMenu(QStringLiteral("&Kaplama"));
    skins->setObjectName(QStringLiteral("SkinMenu"));
    FSkinGroup = new QActionGroup(this);
    for (const QString& name : BuiltInSkinNames()) {
        QAction* a = skins->addAction(name);
        a->setCheckable(true);
        a->setData(name);
        FSkinGroup->addAction(a);
        connect(a, &QAction::triggered, this, [this, name] { SetSkinName(name); });
    }
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        QMenuBar* bar = menuBar();
        if (!bar->actions().isEmpty()) {
            bar->setFocus(Qt::ShortcutFocusReason);
            bar->setActiveAction(bar->actions().first());
        }
    });
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
    TVNCPanel::SetFullScreenFit(store.value(FullScreenFitKey(), false).toBool());
    FWall->SetGroupChoice(store.value(GroupKey()).toString());
    FCheckBoxBildirim->setChecked(store.value(NotificationsKey(), false).toBool());
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
    store.setValue(FullScreenFitKey(), TVNCPanel::FullScreenFit());
    store.setValue(GroupKey(), FWall->GroupChoice());
    store.setValue(NotificationsKey(), FWall->Notifier()->Enabled());
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
        // A list that could not be read is named once the first grid is up (a box shown any earlier
        // would take the first activation, and with it the grid, where no window manager gives it back).
        if (!FComputerList.Understood())
            QTimer::singleShot(0, this,
                               [this] { OperatorMessages::ShowNotice(this, FComputerList.ProblemText()); });
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
    // Edits a failed save kept for a later try would go with the program: the operator decides.
    if (FComputerList.HasUnsaved()) {
        const auto answer = OperatorMessages::AskYesNoCancel(
            this, QStringLiteral(
                      "Kaydedilemeyen bilgisayar kayıtları var.\n\n"
                      "Evet: Bilgisayar Kayıtları penceresi açılır, yeniden kaydetmeyi deneyebilirsiniz.\n"
                      "Hayır: bu değişiklikler bırakılır ve program kapanır.\n"
                      "İptal: program açık kalır."));
        if (answer != QMessageBox::No) {
            event->ignore();
            if (answer == QMessageBox::Yes)
                QTimer::singleShot(0, this, &TAnaFormF::BilgisayarKayitlari1Click);
            return;
        }
    }
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
    FBuilder->Finish();
    while (!FTiles.isEmpty())
        delete FTiles.takeLast();
}

void TAnaFormF::BuildTiles() {
    // The old tiles go at once, or for a large wall a slice per turn before the new ones come.
    FBuilder->Finish();
    FBuilder->Retire(std::exchange(FTiles, {}));
    const int s = IconSize();
    FTable->SortByName();
    FTable->First();
    struct Record {
        QString Name, Address, Port, Password, Group, User;
    };
    auto records = std::make_shared<std::vector<Record>>();
    for (int row = 0; row < FTable->RecordCount(); ++row)
        records->push_back(
            {FTable->Value(row, TComputerTable::BILGISAYARADI), FTable->Value(row, TComputerTable::IP),
             FTable->Value(row, TComputerTable::PORT), FTable->Value(row, TComputerTable::PASSWORD),
             FTable->Value(row, TComputerTable::GRUP), FTable->Value(row, TComputerTable::KULLANICI)});
    FWall->DropTiles();
    FBuilder->Build(
        int(records->size()),
        [this, records, s](int row) {
            auto* tile = new TVNCPanel(FScrollBoxContents);
            FTiles.append(tile);
            tile->SetTitle((*records)[row].Name);
            tile->resize(s, s);
            tile->SetAutoReconnect(AutoReconnect());
            tile->SetLowBandwidth(LowBandwidth());
            tile->SetEncryption(Encryption(), KnownCertificatesFile());
        },
        [this, records, s](int first, int end) {
            // Placed (and filtered by the search and the group) before any of them connects.
            QStringList addresses, groups;
            for (int row = 0; row < end; ++row) {
                addresses.append((*records)[row].Address);
                groups.append((*records)[row].Group);
            }
            FWall->SetTiles(FTiles, addresses, groups, s);
            for (int row = first; row < end; ++row) {
                const Record& r = (*records)[row];
                FTiles[row]->SetUserName(r.User);
                FTiles[row]->ConnectTo(r.Address, r.Port, r.Password);
            }
            // Once per start: the viewer component could not be loaded from its folder (the tiles say so
            // too).
            if (const QString notice = TakeControlLibraryNotice(); !notice.isEmpty())
                QTimer::singleShot(0, this, [this, notice] { OperatorMessages::ShowNotice(this, notice); });
        });
    FPanelUyari->setVisible(records->empty());
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
