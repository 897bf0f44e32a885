#include "controls/DBGrid.h"

#include "base/Fonts.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Table.h"

#include <QHBoxLayout>
#include <QProxyStyle>
#include <QStyledItemDelegate>
#include <QHeaderView>
#include <QKeyEvent>
#include <QToolButton>

TDBGrid::TDBGrid(const char* name, QWidget* parent)
    : QTableView(parent)
{
    setObjectName(QLatin1String(name));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setDefaultSectionSize(20);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& at) {
        m_column = at.column();
        if (m_source)
            m_source->moveTo(at.row());
        emit cellClicked(m_source ? m_source->columns().value(at.column()) : QString());
    });
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& at) {
        emit cellDoubleClicked(m_source ? m_source->columns().value(at.column()) : QString());
    });
}

void TDBGrid::setDataSource(store::DataSource* source)
{
    m_source = source;
    setModel(source);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (m_source && current.isValid())
                    m_source->moveTo(current.row());
            });
    connect(selectionModel(), &QItemSelectionModel::currentColumnChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            m_column = current.column();
    });
    if (store::Table* t = source->table())
        connect(t, &store::Table::cursorMoved, this, &TDBGrid::followCursor);
    if (store::Query* q = source->query())
        connect(q, &store::Query::cursorMoved, this, &TDBGrid::followCursor);
}

void TDBGrid::followCursor(int recNo)
{
    if (!m_source || !m_source->isEnabled() || recNo < 0 || recNo >= model()->rowCount())
        return;
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.row() == recNo)
        return;
    const QSignalBlocker block(selectionModel());
    setCurrentIndex(model()->index(recNo, current.isValid() ? current.column() : m_column));
    viewport()->update();
}

void TDBGrid::keyPressEvent(QKeyEvent* e)
{
    if (m_editingKeys && state() != QAbstractItemView::EditingState) {
        const bool lastRow = !model() || currentIndex().row() >= model()->rowCount() - 1;
        if (e->key() == Qt::Key_Insert || (e->key() == Qt::Key_Down && lastRow)) {
            emit appendRequested();
            return;
        }
        if (e->key() == Qt::Key_Delete && (e->modifiers() & Qt::ControlModifier)) {
            emit deleteRequested();
            return;
        }
    }
    QTableView::keyPressEvent(e);
}

void TDBGrid::setColumnWidths(const QList<int>& widths)
{
    for (int c = 0; c < widths.size(); ++c)
        horizontalHeader()->resizeSection(c, widths.at(c));
}

namespace {

// The item views' text margin is this metric + 1 on each side.
class CompactCellStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        return metric == PM_FocusFrameHMargin ? 0 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

class DateOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override
    {
        // "yyyy/MM/dd HH:mm:ss": the date is what the column has room for.
        const QString text = QStyledItemDelegate::displayText(value, locale);
        return text.size() > 10 && text.at(10) == QLatin1Char(' ') ? text.left(10) : text;
    }
};

} // namespace

void makeCellsCompact(QTableView* view)
{
    view->setFont(base::narrowGridFont());
    view->horizontalHeader()->setFont(base::narrowGridFont());
    auto* style = new CompactCellStyle;
    style->setParent(view);
    view->setStyle(style);
}

void TDBGrid::setCompactCells(const QList<int>& dateOnlyColumns)
{
    makeCellsCompact(this);
    // One line per row: a long text is elided as the grid says, not wrapped away.
    setWordWrap(false);
    for (int column : dateOnlyColumns)
        setItemDelegateForColumn(column, new DateOnlyDelegate(this));
}

QString TDBGrid::selectedField() const
{
    // A reset of the model (a refreshed table) drops the current index; the
    // column the user chose stays selected all the same.
    const QModelIndex at = currentIndex();
    return m_source ? m_source->columns().value(at.isValid() ? at.column() : m_column) : QString();
}

TDBNavigator::TDBNavigator(const char* name, store::DataSource* source, QWidget* parent)
    : QWidget(parent)
    , m_source(source)
{
    setObjectName(QLatin1String(name));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* glyphs[4] = {"|◀", "◀", "▶", "▶|"};
    const char* names[4] = {"First", "Prior", "Next", "Last"};
    for (int i = 0; i < 4; ++i) {
        m_buttons[i] = new QToolButton(this);
        // Named after the navigator: a window holds several of them.
        m_buttons[i]->setObjectName(objectName() + QLatin1Char('_') + QLatin1String(names[i]));
        m_buttons[i]->setText(QString::fromUtf8(glyphs[i]));
        m_buttons[i]->setFixedSize(30, 25);
        layout->addWidget(m_buttons[i]);
        connect(m_buttons[i], &QToolButton::clicked, this, [this, i] {
            try {
                if (m_beforeMove)
                    m_beforeMove();
                if (!move(i))
                    return;
            } catch (const store::StoreError& e) {
                // Moving writes a pending edit first; a refused one stays pending.
                emit storeError(e.message());
                return;
            }
            emit clicked(i);
        });
    }
}

bool TDBNavigator::move(int button)
{
    if (store::Table* t = m_source->table()) {
        if (!t->isOpen() || !m_source->isEnabled())
            return false;
        switch (button) {
        case 0: t->first(); break;
        case 1: t->prior(); break;
        case 2: t->next(); break;
        default: t->last(); break;
        }
        return true;
    }
    if (store::Query* q = m_source->query()) {
        if (!q->isOpen() || !m_source->isEnabled())
            return false;
        switch (button) {
        case 0: q->first(); break;
        case 1: q->moveTo(std::max(0, q->recNo() - 1)); break;
        case 2: q->next(); break;
        default: q->moveTo(q->recordCount() - 1); break;
        }
        return true;
    }
    return false;
}
