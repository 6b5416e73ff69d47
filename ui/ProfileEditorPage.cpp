#include "ui/ProfileEditorPage.h"

#include "core/catalogue/Countries.h"
#include "core/profiles/EditorItems.h"
#include "platform/Text.h"
#include "ui/ErrorDisplay.h"
#include "ui/channels/LiveChannelsDialog.h"
#include "ui/QtStrings.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

// Multi-line fields store their lines joined by CR LF; the text control shows them with LF.
std::string toStoredLines(const QString& text) {
    return replaceAll(ss(text), "\n", "\r\n");
}
QString toShownLines(const std::string& text) {
    return qs(replaceAll(text, "\r\n", "\n"));
}

QPlainTextEdit* memo(int lines) {
    auto* m = new QPlainTextEdit;
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setTabChangesFocus(true);
    const int line = m->fontMetrics().lineSpacing();
    m->setFixedHeight(line * lines + 2 * m->frameWidth() + 8);
    return m;
}

// An editable drop-down list whose field may be narrower than its longest item: the open
// list is made wide enough to show every item in full.
class DropDown : public QComboBox {
public:
    void showPopup() override {
        QAbstractItemView* list = view();
        list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width() +
                              2 * list->frameWidth() + 4);
        QComboBox::showPopup();
    }
};

QComboBox* dropDown(const std::vector<std::string>& items) {
    auto* c = new DropDown;
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(20);
    // The longest item (a country or category name) would otherwise set the field's width and
    // squeeze the fields beside it; the open list still shows every item in full.
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    c->setMinimumContentsLength(10);
    for (const std::string& item : items)
        c->addItem(qs(item));
    // The list only offers choices: the field starts empty until a profile is loaded.
    c->setCurrentIndex(-1);
    return c;
}

QLabel* fieldLabel(std::size_t field) {
    return new QLabel(ProfileFields[field].label);
}

} // namespace

ProfileEditorPage::ProfileEditorPage(QWidget* parent) : QWidget(parent) {
    createFields();
    SaveSettings = new QPushButton("Save Settings");
    SaveSettings->setObjectName("SaveSettings");
    LiveChannelsButton = new QPushButton("Live Channels...");
    LiveChannelsButton->setObjectName("LiveChannelsButton");
    setHint(LiveChannelsButton,
            "Settings for today's services|IndexNow and Google Search Console settings of "
            "this site, saved with Save Settings");
    liveChannels_ = new LiveChannelsDialog(LiveChannelsDialog::channelTabs(), this);
    connect(LiveChannelsButton, &QPushButton::clicked, this, [this] {
        liveChannels_->show();
        liveChannels_->raise();
    });
    layOut();
}

void ProfileEditorPage::createFields() {
    auto line = [] { return new QLineEdit; };
    auto* url = line();
    url->setText("http://www.");
    auto* state = line();
    state->setMaximumWidth(60);
    editors_ = {line(),
                line(),
                url,
                line(),
                dropDown(categoryItems()),
                memo(4),
                memo(2),
                dropDown(languageItems()),
                line(),
                line(),
                line(),
                state,
                line(),
                dropDown(countryItems()),
                line(),
                line()};
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        editors_[i]->setObjectName(ProfileFields[i].control);
    connect(static_cast<QLineEdit*>(editors_[fSiteTitle]), &QLineEdit::textEdited, this,
            &ProfileEditorPage::titleEdited);
    setHint(editors_[fName], "Enter your first and last name");
    setHint(editors_[fEMail], "Enter your e-mail address (yourname@example.com)");
    setHint(editors_[fURL], "Enter the URL to submit to the search engines");
    setHint(editors_[fCategory], "Select the category which best describes this site.");
    setHint(editors_[fLanguage], "Choose the main language of this site.");
    setHint(editors_[fCountry], "Choose the location of this site.");

    SitemapEdit = line();
    SitemapEdit->setObjectName("SitemapEdit");
    SitemapEdit->setPlaceholderText("from robots.txt");
    setHint(SitemapEdit,
            "Sitemap of this site|The URL of the site's sitemap, sitemap index or robots.txt; "
            "leave it empty to use the Sitemap lines of the site's /robots.txt, else /sitemap.xml");
}

void ProfileEditorPage::layOut() {
    auto* grid = new QGridLayout(this);
    // Thirteen rows have to fit the window's initial height of 510 pixels.
    grid->setVerticalSpacing(4);
    // Three short fields with their labels side by side on one row.
    auto threeAcross = [&](int r, std::size_t a, std::size_t b, std::size_t c) {
        int column = 0;
        for (std::size_t f : {a, b, c}) {
            grid->addWidget(fieldLabel(f), r, column++);
            grid->addWidget(editors_[f], r, column++);
        }
    };
    int r = 0;
    grid->addWidget(fieldLabel(fName), r, 0);
    grid->addWidget(editors_[fName], r, 1, 1, 2);
    grid->addWidget(fieldLabel(fEMail), r, 3);
    grid->addWidget(editors_[fEMail], r++, 4, 1, 2);
    // The sitemap belongs to the site's URL, so it is edited beside it; a row of its own would
    // not fit the window's height.
    grid->addWidget(fieldLabel(fURL), r, 0);
    grid->addWidget(editors_[fURL], r, 1, 1, 2);
    grid->addWidget(new QLabel("Sitemap"), r, 3);
    grid->addWidget(SitemapEdit, r++, 4, 1, 2);
    for (std::size_t f :
         {fSiteTitle, fCategory, fSiteDescription, fKeywords, fLanguage, fCompany, fAddress}) {
        grid->addWidget(fieldLabel(f), r, 0,
                        f == fSiteDescription || f == fKeywords ? Qt::AlignTop : Qt::Alignment());
        grid->addWidget(editors_[f], r++, 1, 1, 5);
    }
    threeAcross(r++, fCity, fState, fZip);
    threeAcross(r++, fCountry, fPhone, fFax);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveSettings);
    buttons->addWidget(LiveChannelsButton);
    buttons->addStretch();
    grid->addLayout(buttons, r++, 0, 1, 6);
    grid->setRowStretch(r, 1);
    // The three columns of short fields share the width equally, so that a phone number or an
    // e-mail address shows in full at the window's initial width.
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(5, 1);
    // The sixteen fields keep their order; the sitemap comes after them.
    for (std::size_t i = 0; i + 1 < ProfileFieldCount; ++i)
        QWidget::setTabOrder(editors_[i], editors_[i + 1]);
    QWidget::setTabOrder(editors_.back(), SitemapEdit);
    QWidget::setTabOrder(SitemapEdit, SaveSettings);
    QWidget::setTabOrder(SaveSettings, LiveChannelsButton);
}

std::string ProfileEditorPage::fieldText(std::size_t field) const {
    QWidget* w = editors_.at(field);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return ss(e->text());
    if (auto* c = qobject_cast<QComboBox*>(w)) return ss(c->currentText());
    return toStoredLines(static_cast<QPlainTextEdit*>(w)->toPlainText());
}

void ProfileEditorPage::setFieldText(std::size_t field, const std::string& text) {
    QWidget* w = editors_.at(field);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(qs(text));
    else if (auto* c = qobject_cast<QComboBox*>(w))
        c->setCurrentText(qs(text));
    else
        static_cast<QPlainTextEdit*>(w)->setPlainText(toShownLines(text));
}

std::string ProfileEditorPage::sitemap() const {
    return ss(SitemapEdit->text().trimmed());
}

void ProfileEditorPage::setSitemap(const std::string& text) {
    SitemapEdit->setText(qs(text));
}

void ProfileEditorPage::loadLiveChannels(const ProfileFiles& store, const std::string& name) {
    liveChannels_->load(store, name);
}

ProfileExtras ProfileEditorPage::liveChannelValues() const {
    return liveChannels_->extras();
}

std::optional<std::string> ProfileEditorPage::liveChannelProblem() const {
    return liveChannels_->check();
}
