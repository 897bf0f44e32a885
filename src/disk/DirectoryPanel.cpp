#include "disk/DirectoryPanel.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QTreeView>

namespace disk {

namespace {

QStringList masksOf(const QString& mask)
{
    QStringList out;
    for (const QString& m : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << m.trimmed();
    return out;
}

} // namespace

DirectoryPanel::DirectoryPanel(QWidget* owner, const QString& mask, const QString& filter)
    : QObject(owner)
{
    m_dirs = new QFileSystemModel(this);
    m_dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    m_dirs->setRootPath(QDir::rootPath());
    m_files = new QFileSystemModel(this);
    m_files->setFilter(QDir::Files);
    m_files->setNameFilterDisables(false);

    DirectoryListBox1 = new QTreeView(owner);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setModel(m_dirs);
    DirectoryListBox1->setHeaderHidden(true);
    for (int c = 1; c < m_dirs->columnCount(); ++c)
        DirectoryListBox1->hideColumn(c);

    DriveComboBox1 = new QComboBox(owner);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    for (const QFileInfo& drive : QDir::drives())
        DriveComboBox1->addItem(QDir::toNativeSeparators(drive.absoluteFilePath()));

    FileListBox1 = new QListView(owner);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setModel(m_files);

    FileEdit = new QLineEdit(mask, owner);
    FileEdit->setObjectName(QStringLiteral("FileEdit"));

    FilterComboBox1 = new QComboBox(owner);
    FilterComboBox1->setObjectName(QStringLiteral("FilterComboBox1"));
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2)
        FilterComboBox1->addItem(parts.at(i), parts.at(i + 1));

    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    setDirectory(m_dirs->filePath(current));
            });
    connect(DriveComboBox1, &QComboBox::activated, this,
            [this](int i) { setDirectory(DriveComboBox1->itemText(i)); });
    connect(FilterComboBox1, &QComboBox::activated, this, [this](int i) {
        setMask(FilterComboBox1->itemData(i).toString());
        FileEdit->setText(m_mask);
    });
    connect(FileListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    emit fileSelected(m_files->filePath(current));
            });

    // The tree reads directories in the background and lays itself out only
    // when shown: bring the current directory into view then, and again as
    // the rows above it arrive.
    DirectoryListBox1->installEventFilter(this);
    // The model adds rows, then sorts them (a layout change) a moment later.
    auto revealSoon = [this] {
        if (m_revealPending)
            QTimer::singleShot(0, this, [this] { revealCurrent(); });
    };
    connect(m_dirs, &QAbstractItemModel::rowsInserted, this, revealSoon);
    connect(m_dirs, &QAbstractItemModel::layoutChanged, this, revealSoon);

    setMask(mask);
    setDirectory(QDir::currentPath());
}

QString DirectoryPanel::directory() const
{
    return QDir::toNativeSeparators(m_directory);
}

void DirectoryPanel::revealCurrent()
{
    const QModelIndex at = m_dirs->index(m_directory);
    if (!at.isValid())
        return;
    // The view lays out inserted rows lazily; scrolling needs them in place.
    DirectoryListBox1->doItemsLayout();
    DirectoryListBox1->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

bool DirectoryPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DirectoryListBox1 && event->type() == QEvent::Show) {
        m_revealPending = true;
        // After the layout that showing starts, and for a few seconds while
        // rows above it arrive.
        QTimer::singleShot(0, this, [this] { revealCurrent(); });
        QTimer::singleShot(3000, this, [this] { m_revealPending = false; });
    }
    return QObject::eventFilter(watched, event);
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
    const QModelIndex at = m_dirs->index(path);
    if (at.isValid() && DirectoryListBox1->currentIndex() != at) {
        DirectoryListBox1->setCurrentIndex(at);
        DirectoryListBox1->scrollTo(at);
    }
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
    const QModelIndex at = m_files->index(path);
    if (!at.isValid())
        return false;
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
