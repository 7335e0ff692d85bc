// Build-time tool: turns the user guide (HTML from pandoc, or the Markdown source itself when
// pandoc is not there) into the PDF the help command opens, with Qt's own PDF writer.
// Usage: kadex-guidepdf INPUT.html|INPUT.md OUTPUT.pdf TITLE [PICTURE_FOLDER]
// Picture names are relative to PICTURE_FOLDER (default: the input's folder).
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>

#include <cstdio>
#include <vector>

namespace {

// Pixels per inch of the layout: the screenshots keep their pixel size up to the text width.
constexpr int kDpi = 96;

// Pictures wider than the text shrink to it, keeping their proportions.
void FitImages(QTextDocument& doc, qreal maxWidth)
{
    struct Fit {
        int pos;
        QTextImageFormat format;
    };
    std::vector<Fit> fits;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid() || !f.charFormat().isImageFormat())
                continue;
            QTextImageFormat img = f.charFormat().toImageFormat();
            const QImage image(doc.baseUrl().resolved(QUrl(img.name())).toLocalFile());
            if (image.isNull())
                continue;
            qreal w = img.width() > 0 ? img.width() : image.width();
            qreal h = img.height() > 0 ? img.height() : image.height() * (w / image.width());
            if (w > maxWidth) {
                h *= maxWidth / w;
                w = maxWidth;
            }
            img.setWidth(w);
            img.setHeight(h);
            fits.push_back({f.position(), img});
        }
    }
    for (const Fit& fit : fits) {
        QTextCursor c(&doc);
        c.setPosition(fit.pos);
        c.setPosition(fit.pos + 1, QTextCursor::KeepAnchor);
        c.setCharFormat(fit.format);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts need a GUI application; it never shows a window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 && args.size() != 5) {
        std::fprintf(stderr, "usage: kadex-guidepdf INPUT.html|INPUT.md OUTPUT.pdf TITLE [PICTURE_FOLDER]\n");
        return 2;
    }
    const QString input = args.at(1), output = args.at(2), title = args.at(3);
    QFile in(input);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kadex-guidepdf: cannot read %s: %s\n", qPrintable(input), qPrintable(in.errorString()));
        return 1;
    }
    const QString text = QString::fromUtf8(in.readAll());

    QTextDocument doc;
    // Pictures are named relative to the source.
    const QString pictures = args.size() == 5 ? QFileInfo(args.at(4)).absoluteFilePath() : QFileInfo(input).absolutePath();
    doc.setBaseUrl(QUrl::fromLocalFile(pictures + QLatin1Char('/')));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("h1 { font-size: 20pt; } h2 { font-size: 14pt; } h3 { font-size: 11pt; }"
                                            "code { font-family: 'DejaVu Sans Mono'; } td, th { padding: 3px; }"));
    if (input.endsWith(QStringLiteral(".md"), Qt::CaseInsensitive))
        doc.setMarkdown(text, QTextDocument::MarkdownDialectGitHub);
    else // pandoc's tables carry no frame of their own
        doc.setHtml(QString(text).replace(QStringLiteral("<table>"),
                                          QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">")));

    QPdfWriter pdf(output);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("kadex-guidepdf"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(kDpi);
    const QRectF page = pdf.pageLayout().paintRectPixels(kDpi);
    doc.setPageSize(page.size());
    FitImages(doc, page.width() - 2 * doc.documentMargin());
    doc.print(&pdf);
    if (!QFileInfo(output).isFile() || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "kadex-guidepdf: %s was not written\n", qPrintable(output));
        return 1;
    }
    return 0;
}
