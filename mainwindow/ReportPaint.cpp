#include "mainwindow/ReportPaint.h"

#include <QFont>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace kadex {

bool PaintReport(QPagedPaintDevice& device, const QStringList& lines, QString* error)
{
    QPainter p;
    if (!p.begin(&device)) {
        if (error)
            *error = QStringLiteral("cannot start the print");
        return false;
    }
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    p.setFont(QFont(font, &device));
    const QFontMetrics fm(p.font(), &device);
    const int lineHeight = fm.lineSpacing();
    const int pageHeight = device.height();
    int y = fm.ascent();
    for (const QString& line : lines) {
        if (y > pageHeight) {
            device.newPage();
            y = fm.ascent();
        }
        p.drawText(0, y, line);
        y += lineHeight;
    }
    return p.end();
}

bool WriteReportPdf(const QString& path, const QStringList& lines, const QString& title, QString* error)
{
    QPdfWriter pdf(path);
    pdf.setTitle(title);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(300);
    return PaintReport(pdf, lines, error);
}

} // namespace kadex
