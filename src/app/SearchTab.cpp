#include "app/SearchTab.h"

#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/Windows.h"
#include "base/SettingsStore.h"
#include "controls/RadioGroup.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "search/SearchPage.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Store.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QTableView>

namespace app {

using base::SettingsStore;

namespace {

constexpr int kSizeColumn = 4;
const int kColumnWidths[6] = {32, 95, 194, 202, 0, 64};

// Sizes are 32-bit: nine digits, with the cell's margins and its grid line.
int sizeColumnWidth(const QTableView* grid)
{
    return grid->fontMetrics().horizontalAdvance(QStringLiteral("999999999")) + 6;
}

} // namespace

SearchTab::SearchTab(TFormMain& form, picturedb::PictureDatabase& photo, store::DataMod& dm, QWidget* page,
                     TTimer* timer)
    : QObject(page)
    , m_form(form)
    , m_photo(photo)
    , m_dm(dm)
    , m_page(new search::SearchPage(*this, dm, page, timer))
{
    connect(m_page->Delete3, &QAction::triggered, this, &SearchTab::Delete3Click);
}

void SearchTab::bindFields(const QString& database, const QStringList& labels)
{
    for (int k = 0; k < 3; ++k) {
        m_dm.DqPhoto->setColumnField(k + 1, labels.value(k));
        m_dm.DqPhoto->setColumnTitle(k + 1, labels.value(k));
    }
    for (int k = 0; k < 4; ++k)
        m_page->RadioHyouji2->setItemText(k + 1, labels.value(k));
    if (database == m_boundDatabase)
        m_page->renameSlotFields(m_boundLabels, labels);
    m_boundDatabase = database;
    m_boundLabels = labels;
}

void SearchTab::Delete3Click()
{
    const qint32 serial = m_page->selectedSerial();
    if (serial == 0)
        return;
    m_photo.record()->DeleteRecordOf(serial);
    m_page->SearchAgain();
}

void SearchTab::readValues(SettingsStore& s)
{
    QHeaderView* header = m_page->DBGridQuery->horizontalHeader();
    for (int c = 0; c < 6; ++c) {
        const int design = c == kSizeColumn ? sizeColumnWidth(m_page->DBGridQuery) : kColumnWidths[c];
        header->resizeSection(c, s.readInteger(SettingsStore::Window, QStringLiteral("fmQuillon.Query%1").arg(c), design));
    }
}

void SearchTab::writeValues(SettingsStore& s)
{
    QHeaderView* header = m_page->DBGridQuery->horizontalHeader();
    for (int c = 0; c < 6; ++c)
        s.writeInteger(SettingsStore::Window, QStringLiteral("fmQuillon.Query%1").arg(c), header->sectionSize(c));
}

void SearchTab::setStatus(int panel, const QString& text)
{
    m_form.setStb(panel, text);
}

void SearchTab::message(const QString& text)
{
    m_form.message(text);
}

void SearchTab::reportError(const QString& text)
{
    m_form.reportError(text);
}

search::TFormPopJouken* SearchTab::fieldChooser()
{
    return m_form.windows() ? m_form.windows()->FormPopJouken : nullptr;
}

search::TFormPopKensaku* SearchTab::searchProgress()
{
    return m_form.windows() ? m_form.windows()->FormPopKensaku : nullptr;
}

QString SearchTab::databaseName()
{
    // The database that was opened, not whatever has been typed since.
    return m_photo.state().CurrentDatabase;
}

QStringList SearchTab::fieldLabels()
{
    QStringList labels;
    for (const QString& label : m_photo.state().FieldLabels) {
        if (label.isEmpty())
            break;
        labels << label;
    }
    return labels;
}

bool SearchTab::indexMode()
{
    return m_photo.state().IndexMode;
}

bool SearchTab::locateRecordAndImage(qint32 serial)
{
    try {
        m_photo.catalogue().LocateRecord(serial);
        return m_photo.record()->LocateImage(serial);
    } catch (const store::StoreError& e) {
        reportError(e.message());
        return false;
    }
}

void SearchTab::showOnNavigate()
{
    m_photo.state().ShowOnNavigate = true;
}

bool SearchTab::previewStretch()
{
    return m_form.fileListTab()->CheckStretch->isChecked();
}

bool SearchTab::previewKeepRatio()
{
    return m_photo.record()->CheckStretch2->isChecked() && m_photo.record()->CheckHiritsu2->isChecked();
}

void SearchTab::fetchSingleImage(const QString& address)
{
    m_form.fetchSingleImage(address);
}

} // namespace app
