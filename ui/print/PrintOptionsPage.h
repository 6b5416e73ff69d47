#pragma once

#include "grid/PrintSettings.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QFont;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The "Options" page: the printing options that every print and preview copies into the
// table's print settings, and whether runs send to the catalogue. The controls keep their
// states until the program ends.
class PrintOptionsPage : public QWidget {
    Q_OBJECT
public:
    explicit PrintOptionsPage(QWidget* parent = nullptr);

    // The states of the controls, for SetPrintOptions.
    PrintOptionsState State() const;
    // The settings that "Print font" changes; the page does not own them.
    void SetPrintSettings(TPrintsettings* settings) { settings_ = settings; }
    // Makes the font the print font of the table, its header and its footer.
    void ApplyPrintFont(const QFont& font);

    // The title of the printout, one line per line.
    QPlainTextEdit* Memo4 = nullptr;
    // What the printout shows and how it is laid out.
    QCheckBox* PrintDateCheckBox = nullptr;
    QCheckBox* PrintTimeCheckBox = nullptr;
    QCheckBox* PrintPageNumbersCheckBox = nullptr;
    QCheckBox* PrintBordersCheckBox = nullptr;
    QCheckBox* FitToPageCheckBox = nullptr;
    QCheckBox* PrintCenteredCheckBox = nullptr;
    QCheckBox* AutoSizeCheckBox = nullptr;
    // "Borders": all lines, horizontal ones or vertical ones.
    QRadioButton* BordersAll = nullptr;
    QRadioButton* BordersHorz = nullptr;
    QRadioButton* BordersVert = nullptr;
    // "Print font".
    QPushButton* Button8 = nullptr;
    // Runs send to the 32 engines of the catalogue, besides the live channels.
    QCheckBox* CatalogueCheckBox = nullptr;

public slots:
    // "Print font": picks a font in the font dialog.
    void Button8Click();

private:
    QGroupBox* buildSubmissionGroup();
    QHBoxLayout* buildBordersRow(QGroupBox* group);
    TPrintsettings* settings_ = nullptr;
};
