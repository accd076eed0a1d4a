#include "ControlLibrary.h"
#include "DOVALib_TLB.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

TEST(ControlLibrary, MissingOrBrokenLibraryGivesNoViewer) {
    QTemporaryDir dir;
    QWidget parent;
    const QString missing = dir.filePath(QStringLiteral("libdova.so"));
    RegisterControlLibrary(missing);
    EXPECT_EQ(CreateViewerControlFrom(missing, &parent), nullptr);

    const QString garbage = dir.filePath(QStringLiteral("garbage/libdova.so"));
    QDir(dir.path()).mkdir(QStringLiteral("garbage"));
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a shared library");
    f.close();
    RegisterControlLibrary(garbage);
    EXPECT_EQ(CreateViewerControlFrom(garbage, &parent), nullptr);
}

TEST(ControlLibrary, LibraryOfAnotherInterfaceVersionGivesNoViewer) {
    QWidget parent;
    const QString foreign = QStringLiteral(FOREIGN_CONTROL_LIBRARY);
    RegisterControlLibrary(foreign);
    EXPECT_EQ(CreateViewerControlFrom(foreign, &parent), nullptr);
    EXPECT_TRUE(parent.children().isEmpty());
}

#ifdef DOVA_CONTROL_LIBRARY
TEST(ControlLibrary, RealLibraryIsCreatedOnlyAfterRegistration) {
    QWidget parent;
    const QString path = QStringLiteral(DOVA_CONTROL_LIBRARY);
    EXPECT_EQ(CreateViewerControlFrom(path, &parent), nullptr); // the first attempt before registering
    RegisterControlLibrary(path);
    dova::IVNCViewer* control = CreateViewerControlFrom(path, &parent);
    ASSERT_NE(control, nullptr);
    TVNCViewer viewer(control);
    viewer.SetName(QStringLiteral("DOVA"));
    EXPECT_EQ(viewer.Widget()->parentWidget(), &parent);
    EXPECT_EQ(viewer.Widget()->objectName(), QStringLiteral("DOVA"));
    EXPECT_EQ(viewer.Port(), 5900);
    EXPECT_FALSE(viewer.IsConnected());
    EXPECT_EQ(viewer.Connect(), -1); // no server yet
    viewer.SetStretch(true);
    EXPECT_TRUE(viewer.Stretch());
    const dova::VNCPoint ratio = viewer.StretchX(150, 1024);
    EXPECT_EQ(ratio.X, 150);
    EXPECT_EQ(ratio.Y, 1024);
    EXPECT_EQ(viewer.Stop(), 0);
}
#endif
