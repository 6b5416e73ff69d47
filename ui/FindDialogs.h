#pragma once

#include "grid/Find.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;
class QRadioButton;

// The find dialog: the text to find and the options of the search. Every "Find First" makes
// a new one, so it always opens with its defaults.
class Tfinddlg : public QDialog {
    Q_OBJECT
public:
    explicit Tfinddlg(QWidget* parent = nullptr);

    std::string FindText() const;
    FindOptions Options() const;

    // "Text to find".
    QLineEdit* findtext = nullptr;
    // "Case sensitive", "Whole words only" and "Regular expressions".
    QCheckBox* chkcase = nullptr;
    QCheckBox* chkfull = nullptr;
    QCheckBox* chkregular = nullptr;
    // "Where": the whole grid, the current column or the current row.
    QRadioButton* whereEntireGrid = nullptr;
    QRadioButton* whereCurrentColumn = nullptr;
    QRadioButton* whereCurrentRow = nullptr;
    // "Direction": down the columns first or along the rows first.
    QRadioButton* dirTopDown = nullptr;
    QRadioButton* dirLeftRight = nullptr;

public slots:
    void HelpClick();
};

// The help on the find text's pattern language, shown over the find dialog.
class Tfindhlp : public QDialog {
    Q_OBJECT
public:
    explicit Tfindhlp(QWidget* parent = nullptr);
};

// Places a fixed-size dialog in the middle of the screen it is on.
void CentreOnScreen(QWidget* window);
