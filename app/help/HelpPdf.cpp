// Build-time tool: renders the help document's HTML source into the PDF the program carries.
// Usage: latisvnc_helpgen <source.html> <output.pdf>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s source.html output.pdf\n", argv[0]);
        return 2;
    }
    QFile source(QFile::decodeName(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(source.readAll()));

    QPdfWriter writer(QFile::decodeName(argv[2]));
    writer.setTitle(QStringLiteral("LatisVNC Yardım"));
    writer.setCreator(QStringLiteral("LatisVNC"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setResolution(300);
    document.print(&writer);
    return QFile::exists(QFile::decodeName(argv[2])) ? 0 : 1;
}
