#include "app/DatabaseTab.h"

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/SearchTab.h"
#include "app/Windows.h"
#include "disk/FormDirectory.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "search/SearchPage.h"
#include "store/DataMd3.h"
#include "viewing/TImage.h"
#include "viewing/ViewWindow.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace app {

DatabaseTab::DatabaseTab(TFormMain& form, store::DataMod& dm, QWidget* tab, TTimer* searchTimer)
    : QObject(tab)
    , m_form(form)
{
    buildPages(tab);
    m_photo = new picturedb::PictureDatabase(*this, dm, EditDBName, TabToroku, TabShinki, TabDBSettei);
    m_search = std::make_unique<SearchTab>(form, *m_photo, dm, TabKensaku, searchTimer);
    connect(m_photo, &picturedb::PictureDatabase::fieldLabelsBound, m_search.get(), &SearchTab::bindFields);
    connect(m_photo, &picturedb::PictureDatabase::storageModeShown, m_search->page().LabelHokan2, &QLabel::setText);
    // Enter in the name box chooses the database as the "DB名称(&B)" buttons of the lists do.
    connect(EditDBName, &QLineEdit::returnPressed, this, [this] { m_photo->ButtonDBNameClick(); });
    connect(Button17, &QPushButton::clicked, this, [this] { m_photo->ChooseDatabase(); });
    // The result's "単独" and "複数" choose the view-window mode as "画像" and
    // "複数" do, and show the selected result's picture.
    search::SearchPage& result = m_search->page();
    for (QAction* command : {result.N4, result.N5}) {
        connect(command, &QAction::triggered, this, [this, newWindow = command == result.N5] {
            m_form.multipleViewMode = newWindow;
            showResultPicture(newWindow);
        });
    }
}

DatabaseTab::~DatabaseTab() = default;

void DatabaseTab::buildPages(QWidget* tab)
{
    // The database name above the four pages.
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    auto* nameRow = new QHBoxLayout();
    auto* nameLabel = new QLabel(QStringLiteral("DB名称"), tab);
    EditDBName = new QLineEdit(QStringLiteral("Sample"), tab);
    EditDBName->setObjectName(QStringLiteral("EditDBName"));
    Button17 = new QPushButton(QStringLiteral("DB名称(&B)"), tab);
    Button17->setObjectName(QStringLiteral("Button17"));
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(EditDBName);
    nameRow->addWidget(Button17);
    nameRow->addStretch(1);
    layout->addLayout(nameRow);
    PagePhoto = new QTabWidget(tab);
    PagePhoto->setObjectName(QStringLiteral("PagePhoto"));
    auto page = [this](const char* name, const QString& caption) {
        auto* w = new QWidget(PagePhoto);
        w->setObjectName(QLatin1String(name));
        PagePhoto->addTab(w, caption);
        return w;
    };
    TabToroku = page("TabToroku", QStringLiteral("登録/変更/削除"));
    TabKensaku = page("TabKensaku", QStringLiteral("検索"));
    TabShinki = page("TabShinki", QStringLiteral("新規データベース"));
    TabDBSettei = page("TabDBSettei", QStringLiteral("ＤＢ設定/削除"));
    layout->addWidget(PagePhoto, 1);
}

void DatabaseTab::setBrowser(disk::TFormDirectory* browser)
{
    connect(browser, &disk::TFormDirectory::registerRequested, this, [this, browser](const QString& path) {
        m_photo->RegisterFromBrowser(path, browser->Image1->picture(), browser->MenuFileDelete->isChecked());
        showRecordPage();
        m_form.show();
        m_form.raise();
        m_form.activateWindow();
    });
    connect(m_photo->record(), &picturedb::RecordPage::fileOfWrittenRecord, browser, &disk::TFormDirectory::deleteFile);
}

bool DatabaseTab::recordPageInFront() const
{
    return PagePhoto->currentWidget() == TabToroku;
}

void DatabaseTab::ShowSelectedPicture(bool newWindow)
{
    if (recordPageInFront())
        showRecordPicture(newWindow);
    else if (PagePhoto->currentWidget() == TabKensaku)
        showResultPicture(newWindow);
}

void DatabaseTab::showRecordPicture(bool newWindow)
{
    picturedb::RecordPage& record = *m_photo->record();
    showInViewWindow(record.viewPicture(), record.userItem(3), newWindow);
}

void DatabaseTab::showResultPicture(bool newWindow)
{
    search::SearchPage& result = m_search->page();
    showInViewWindow(result.viewPicture(), result.currentItem3(), newWindow);
}

void DatabaseTab::ShowRecordInNewWindow()
{
    picturedb::RecordPage& record = *m_photo->record();
    showInViewWindow(record.viewPicture(), record.userItem(1) + QLatin1Char(' ') + record.userItem(2), true);
}

void DatabaseTab::showInViewWindow(const std::optional<viewing::Picture>& picture, const QString& title,
                                   bool newWindow)
{
    if (!picture) {
        message(QStringLiteral("画像を選択してください"));
        return;
    }
    viewing::ShowInViewWindow(newWindow ? viewing::ViewMode::Multiple : viewing::ViewMode::Single,
                              sharedViewWindow(), &m_form, *picture, title);
}

void DatabaseTab::setStatus(int panel, const QString& text)
{
    m_form.setStb(panel, text);
}

void DatabaseTab::LogNormal(const QString& line)
{
    m_form.LogNormal(line);
}

void DatabaseTab::message(const QString& text)
{
    m_form.message(text);
}

void DatabaseTab::reportError(const QString& text)
{
    m_form.reportError(text);
}

QWidget* DatabaseTab::hostWindow()
{
    return &m_form;
}

picturedb::TFormDBList* DatabaseTab::databaseList()
{
    return m_form.windows() ? m_form.windows()->FormDBList : nullptr;
}

picturedb::TFormPassword* DatabaseTab::passwordWindow()
{
    return m_form.windows() ? m_form.windows()->FormPassword : nullptr;
}

viewing::TFormView* DatabaseTab::sharedViewWindow()
{
    return m_form.sharedViewWindow();
}

void DatabaseTab::fetchSingleImage(const QString& address)
{
    m_form.fetchSingleImage(address);
}

void DatabaseTab::showFileBrowser()
{
    Windows* w = m_form.windows();
    if (!w || !w->FormDirectory)
        return;
    if (w->FormSetting)
        w->FormDirectory->setPictureTypes(w->FormSetting->pictureTypes());
    w->FormDirectory->show();
}

void DatabaseTab::showRecordPage()
{
    m_form.PageMain->setCurrentWidget(m_form.TabPhoto);
    PagePhoto->setCurrentWidget(TabToroku);
}

bool DatabaseTab::yieldDuringRun()
{
    return m_form.yieldDuringRun();
}

void DatabaseTab::beginLongRun(int total)
{
    m_form.beginLongRun(total);
}

void DatabaseTab::longRunProgress(int done)
{
    m_form.longRunProgress(done);
}

void DatabaseTab::endLongRun()
{
    m_form.endLongRun();
}

store::Store& DatabaseTab::localStore()
{
    return m_form.dm3().store();
}

bool DatabaseTab::noDuplicates()
{
    return m_form.windows() && m_form.windows()->FormSetting && m_form.windows()->FormSetting->noDuplicates();
}

viewing::PictureTypes DatabaseTab::pictureTypes()
{
    // Read at the moment of use, so a registration follows the dialog's ticks.
    return m_form.windows() && m_form.windows()->FormSetting ? m_form.windows()->FormSetting->pictureTypes()
                                                             : viewing::PictureTypes{};
}

} // namespace app
