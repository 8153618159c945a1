// makepdf IN.html OUT.pdf: an HTML document as a PDF through Qt's own writer
// (hint.pdf is made from its page of the manual at build time).
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>

int main(int argc, char** argv) {
    // Runs on build machines without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: makepdf IN.html OUT.pdf\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "makepdf: %s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    QTextDocument document;
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(in).absolutePath() + "/"));
    QFont font;
    font.setFamilies({"IPAPGothic", "IPAGothic", "Noto Sans CJK JP", "VL PGothic", "Sans Serif"});
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    // The manual's navigation (<!-- nav --> .. <!-- /nav -->) has no place on paper.
    QString html = QString::fromUtf8(in.readAll());
    html.remove(QRegularExpression("<!-- nav -->.*?<!-- /nav -->", QRegularExpression::DotMatchesEverythingOption));
    document.setHtml(html);

    const QString out = QString::fromLocal8Bit(argv[2]);
    const QString partial = out + ".part";
    {
        QPdfWriter writer(partial);
        writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
        writer.setCreator("Vormex V3");
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 18, 18, 18),
                                         QPageLayout::Millimeter));
        writer.setResolution(300);
        document.print(&writer);
    }
    // Renamed into place, so a failed run never leaves a half-written hint.pdf.
    QFile::remove(out);
    if (!QFile::rename(partial, out)) {
        std::fprintf(stderr, "makepdf: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
