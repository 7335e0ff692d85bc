#pragma once
// Builders of the five tab sheets of the main window. Each returns the sheet, named
// TabSheetKonfigOEM, TabSheetExperte, TabSheetService, TabSheetKonfigQV or TabSheetTransfer,
// with all its named controls inside.
class QWidget;

namespace kadex::gui {

QWidget* BuildTabKonfigOEM(QWidget* parent);
QWidget* BuildTabExperte(QWidget* parent);
QWidget* BuildTabService(QWidget* parent);
QWidget* BuildTabKonfigQV(QWidget* parent);
QWidget* BuildTabTransfer(QWidget* parent);

} // namespace kadex::gui
