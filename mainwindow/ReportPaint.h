#pragma once
// The settings printout on a printer or a PDF: the lines in a monospaced 10-point font, as many
// per page as fit. Used by the window's print command and by kadex-cli's report --pdf.
#include <QString>
#include <QStringList>

class QPagedPaintDevice;

namespace kadex {

bool PaintReport(QPagedPaintDevice& device, const QStringList& lines, QString* error = nullptr);
// A PDF file of the lines (no printer needed); the document is titled title.
bool WriteReportPdf(const QString& path, const QStringList& lines, const QString& title, QString* error = nullptr);

} // namespace kadex
