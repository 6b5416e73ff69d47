#include "ui/FindDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

namespace {

QGroupBox* radioGroup(const QString& title, const char* name, std::initializer_list<QRadioButton*> buttons,
                      Qt::Orientation orientation, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    QBoxLayout* layout =
        orientation == Qt::Vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(box)) : new QHBoxLayout(box);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(0);
    auto* group = new QButtonGroup(box);
    for (QRadioButton* b : buttons) {
        b->setParent(box);
        layout->addWidget(b);
        group->addButton(b);
    }
    (*buttons.begin())->setChecked(true);
    return box;
}

} // namespace

namespace {

// The small dialog font of the program's windows, so that the fixed sizes hold their controls.
void UseDialogFont(QWidget* w) {
    QFont f = w->font();
    f.setPointSize(8);
    w->setFont(f);
}

// One of the small buttons side by side at the foot of the find dialog.
QPushButton* rowButton(const char* caption, const char* name, QHBoxLayout* row, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setMinimumWidth(48);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    row->addWidget(button);
    return button;
}

} // namespace

Tfinddlg::Tfinddlg(QWidget* parent) : QDialog(parent) {
    setObjectName("finddlg");
    setWindowTitle("Find");
    UseDialogFont(this);
    setFixedSize(360, 174);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setHorizontalSpacing(6);
    layout->setVerticalSpacing(4);

    auto* top = new QHBoxLayout;
    auto* label = new QLabel("Text to find :", this);
    findtext = new QLineEdit(this);
    findtext->setObjectName("findtext");
    label->setBuddy(findtext);
    top->addWidget(label);
    top->addWidget(findtext, 1);
    layout->addLayout(top, 0, 0, 1, 2);

    auto* checks = new QVBoxLayout;
    checks->setSpacing(2);
    chkcase = new QCheckBox("Case sensitive", this);
    chkcase->setObjectName("chkcase");
    chkfull = new QCheckBox("Whole words only", this);
    chkfull->setObjectName("chkfull");
    chkregular = new QCheckBox("Regular expressions", this);
    chkregular->setObjectName("chkregular");
    checks->addSpacing(8);
    for (QCheckBox* c : {chkcase, chkfull, chkregular})
        checks->addWidget(c);
    checks->addStretch();
    layout->addLayout(checks, 1, 0);

    whereEntireGrid = new QRadioButton("In entire grid");
    whereCurrentColumn = new QRadioButton("In current column");
    whereCurrentRow = new QRadioButton("In current row");
    layout->addWidget(radioGroup("Where ", "where", {whereEntireGrid, whereCurrentColumn, whereCurrentRow},
                                 Qt::Vertical, this),
                      1, 1);
    dirTopDown = new QRadioButton("Top - down");
    dirLeftRight = new QRadioButton("Left - right");
    layout->addWidget(radioGroup("Direction", "dir", {dirTopDown, dirLeftRight}, Qt::Horizontal, this), 2, 0);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    auto* ok = rowButton("OK", "okButton", buttons, this);
    ok->setDefault(true);
    auto* cancel = rowButton("Cancel", "cancelButton", buttons, this);
    auto* help = rowButton("Help", "helpButton", buttons, this);
    layout->addLayout(buttons, 2, 1, Qt::AlignBottom);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, &Tfinddlg::HelpClick);
    CentreOnScreen(this);
}

std::string Tfinddlg::FindText() const {
    return findtext->text().toStdString();
}

FindOptions Tfinddlg::Options() const {
    FindOptions options = 0;
    if (chkcase->isChecked()) options |= MatchCase;
    if (chkfull->isChecked()) options |= MatchWholeCell;
    if (chkregular->isChecked()) options |= MatchPattern;
    if (dirLeftRight->isChecked()) options |= LeftToRight;
    if (whereCurrentRow->isChecked()) options |= CurrentRowOnly;
    if (whereCurrentColumn->isChecked()) options |= CurrentColumnOnly;
    return options;
}

void Tfinddlg::HelpClick() {
    Tfindhlp help(this);
    help.exec();
}

Tfindhlp::Tfindhlp(QWidget* parent) : QDialog(parent) {
    setObjectName("findhlp");
    setWindowTitle("Find help");
    UseDialogFont(this);
    setFixedSize(360, 147);
    // The pale background of tooltips, as a note to the reader.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(2);
    layout->addWidget(new QLabel("Regular expressions can consist of :", this), 0, 0, 1, 2);
    const char* rows[][2] = {
        {"* or ?", "meaning any or single character can be substituted on position"},
        {"> or <", "meaning text must be alphabetically larger or less "},
        {"!", "negation of the condition"},
        {"& or ^", "and or or function of two conditions"},
    };
    int r = 1;
    for (const auto& row : rows) {
        auto* symbol = new QLabel(row[0], this);
        symbol->setTextFormat(Qt::PlainText);
        auto* meaning = new QLabel(row[1], this);
        meaning->setTextFormat(Qt::PlainText);
        meaning->setWordWrap(true);
        layout->addWidget(symbol, r, 0, Qt::AlignTop);
        layout->addWidget(meaning, r++, 1);
    }
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, r, 0, 1, 2, Qt::AlignHCenter);
    layout->setColumnStretch(1, 1);
    CentreOnScreen(this);
}
