#include "disk/DirectoryPanel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

namespace disk {

namespace {

QStringList masksOf(const QString& mask)
{
    QStringList out;
    for (const QString& m : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << m.trimmed();
    return out;
}

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 8;

class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + index.data(kDepthRole).toInt() * kIndentPixels);
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

} // namespace

DirectoryPanel::DirectoryPanel(QWidget* owner, const QString& mask, const QString& filter)
    : QObject(owner)
{
    m_files = new QFileSystemModel(this);
    m_files->setFilter(QDir::Files);
    m_files->setNameFilterDisables(false);

    // A classic directory list, not a tree: the ancestors of the current
    // directory, then its subdirectories, one short indent each, so a name
    // deep down still has the list's width to show itself.
    DirectoryListBox1 = new QListWidget(owner);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setItemDelegate(new IndentDelegate(DirectoryListBox1));
    DirectoryListBox1->setTextElideMode(Qt::ElideRight);
    DirectoryListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    DriveComboBox1 = new QComboBox(owner);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    for (const QFileInfo& drive : QDir::drives())
        DriveComboBox1->addItem(QDir::toNativeSeparators(drive.absoluteFilePath()));

    FileListBox1 = new QListView(owner);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setModel(m_files);

    FileEdit = new QLineEdit(mask, owner);
    FileEdit->setObjectName(QStringLiteral("FileEdit"));
    FileEdit->setCursorPosition(0);

    FilterComboBox1 = new QComboBox(owner);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        FilterComboBox1->addItem(parts.at(i), parts.at(i + 1));
    // The box is narrower than its texts: the list opens as wide as they are.
    FilterComboBox1->view()->setMinimumWidth(FilterComboBox1->view()->sizeHintForColumn(0) + 8);
    FilterComboBox1->setToolTip(FilterComboBox1->currentText());

    // A click or Enter opens a directory; the list is rebuilt after the
    // signal, since the item that sent it goes with the old list.
    auto open = [this](QListWidgetItem* item) {
        const QString dir = item->data(kPathRole).toString();
        QTimer::singleShot(0, this, [this, dir] { setDirectory(dir); });
    };
    connect(DirectoryListBox1, &QListWidget::itemClicked, this, open);
    connect(DirectoryListBox1, &QListWidget::itemActivated, this, open);
    connect(DriveComboBox1, &QComboBox::activated, this,
            [this](int i) { setDirectory(DriveComboBox1->itemText(i)); });
    connect(FilterComboBox1, &QComboBox::activated, this, [this](int i) {
        setMask(FilterComboBox1->itemData(i).toString());
        FileEdit->setText(m_mask);
        FileEdit->setCursorPosition(0);  // a long mask shows its start
    });
    connect(FileListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    emit fileSelected(m_files->filePath(current));
            });

    connect(m_files, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (!m_pendingSelection.isEmpty() && parent == listRoot())
            selectListed(m_pendingSelection);
    });

    setMask(mask);
    setDirectory(QDir::currentPath());
}

QString DirectoryPanel::directory() const
{
    return QDir::toNativeSeparators(m_directory);
}

void DirectoryPanel::fillDirectoryList()
{
    const QStyle* style = DirectoryListBox1->style();
    const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style->standardIcon(QStyle::SP_DirClosedIcon);
    DirectoryListBox1->clear();
    auto add = [this](const QString& name, const QString& path, int depth, const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, name, DirectoryListBox1);
        item->setData(kPathRole, path);
        item->setData(kDepthRole, depth);
        item->setToolTip(QDir::toNativeSeparators(path));
        return item;
    };
    // The root, each ancestor, and the current directory.
    QString path = QDir::rootPath();
    QListWidgetItem* current = add(QDir::toNativeSeparators(path), path, 0, open);
    const QStringList parts = m_directory.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        path = QDir::cleanPath(path + QLatin1Char('/') + parts.at(i));
        current = add(parts.at(i), path, i + 1, open);
    }
    const QDir dir(m_directory);
    for (const QString& sub : dir.entryList(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase))
        add(sub, dir.absoluteFilePath(sub), parts.size() + 1, closed);
    DirectoryListBox1->setCurrentItem(current);
    DirectoryListBox1->scrollToItem(current, QAbstractItemView::PositionAtTop);
}

bool DirectoryPanel::setDirectory(const QString& dir)
{
    const QFileInfo info(QDir::fromNativeSeparators(dir));
    if (dir.isEmpty() || !info.isDir() || !info.isReadable())
        return false;
    const QString path = info.absoluteFilePath();
    if (path == m_directory)
        return true;
    m_directory = path;
    m_pendingSelection.clear();
    fillDirectoryList();
    FileListBox1->setRootIndex(m_files->setRootPath(path));
    emit directoryChanged(directory());
    return true;
}

void DirectoryPanel::setMask(const QString& mask)
{
    m_mask = mask;
    m_files->setNameFilters(masksOf(mask));
}

QStringList DirectoryPanel::files() const
{
    // Read the directory directly: the list's model fills itself in the background.
    QStringList out;
    const QDir dir(m_directory);
    for (const QFileInfo& f : dir.entryInfoList(masksOf(m_mask), QDir::Files, QDir::Name | QDir::IgnoreCase))
        out << f.absoluteFilePath();
    return out;
}

QString DirectoryPanel::selectedFile() const
{
    const QModelIndex at = FileListBox1->currentIndex();
    return at.isValid() ? m_files->filePath(at) : QString();
}

bool DirectoryPanel::selectFile(const QString& path)
{
    m_pendingSelection.clear();
    // A list not on screen has not read its directory yet.
    const QModelIndex root = listRoot();
    if (m_files->canFetchMore(root))
        m_files->fetchMore(root);
    if (selectListed(path))
        return true;
    // Selected once the list shows it: an index made for a file that the
    // model has not listed yet can vanish under the view when the model's
    // own reading of the directory arrives.
    if (QFileInfo(path).isFile())
        m_pendingSelection = path;
    return false;
}

QModelIndex DirectoryPanel::listRoot() const
{
    return m_files->index(m_directory);
}

QModelIndex DirectoryPanel::listedIndex(const QString& path) const
{
    const QModelIndex root = listRoot();
    const QString wanted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (int row = 0; row < m_files->rowCount(root); ++row) {
        const QModelIndex at = m_files->index(row, 0, root);
        if (QDir::cleanPath(m_files->filePath(at)) == wanted)
            return at;
    }
    return {};
}

bool DirectoryPanel::selectListed(const QString& path)
{
    const QModelIndex at = listedIndex(path);
    if (!at.isValid())
        return false;
    m_pendingSelection.clear();
    FileListBox1->setCurrentIndex(at);
    return true;
}

void DirectoryPanel::refresh()
{
    // Re-reading: point the model away and back so it lists the directory anew.
    const QString dir = m_directory;
    m_files->setRootPath(QString());
    FileListBox1->setRootIndex(m_files->setRootPath(dir));
}

void DirectoryPanel::applyFileEdit()
{
    const QString text = FileEdit->text().trimmed();
    const QFileInfo info(QDir(m_directory), QDir::fromNativeSeparators(text));
    if (info.isDir()) {
        setDirectory(info.absoluteFilePath());
    } else if (text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'))) {
        setMask(text);
    } else if (info.isFile()) {
        setDirectory(info.absolutePath());
        selectFile(info.absoluteFilePath());
    }
}

} // namespace disk
