#include "AnaForm.h"

#include "ComputerTable.h"
#include "RecordsCycle.h"
#include "ui/AboutBox.h"
#include "ui/HelpActions.h"

// The records editor: edit, save to bilgisayar.ini, rebuild the grid (not when the save failed).
void TAnaFormF::BilgisayarKayitlari1Click() {
    BilgisayarKayitlariCycle(*RxBilgisayar(), ComputerList(), this, [this] { BuildTiles(); });
}

void TAnaFormF::LatisVNCYardm1Click() {
    HelpActions::OpenHelpDocument(this, Folder());
}

void TAnaFormF::Hakkinda1Click() {
    // The about box component AboutBox1 lives with the main window; it is made on first use.
    auto* aboutBox = findChild<TAboutBox*>(QStringLiteral("AboutBox1"), Qt::FindDirectChildrenOnly);
    if (!aboutBox) {
        aboutBox = new TAboutBox(this);
        aboutBox->setObjectName(QStringLiteral("AboutBox1"));
    }
    HelpActions::ShowAbout(*aboutBox, this);
}

void TAnaFormF::WebSite1Click() {
    HelpActions::OpenMakerWebSite(this);
}
