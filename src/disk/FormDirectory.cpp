#include "disk/FormDirectory.h"

#include "base/SettingsStore.h"
#include "disk/DirectoryPanel.h"
#include "viewing/FormView.h"
#include "viewing/PictureLoader.h"
#include "viewing/Thumbnails.h"
#include "viewing/TImage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QListWidget>
#include <QVBoxLayout>

namespace disk {

namespace {

const QString kDirectoryValue = QStringLiteral("fmDirect.Directory");

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    // Enter belongs to the file-name box; no button answers it.
    b->setAutoDefault(false);
    return b;
}

QAction* action(const QString& text, const char* name, QObject* parent)
{
    auto* a = new QAction(text, parent);
    a->setObjectName(QLatin1String(name));
    return a;
}

const QString kImageMask = QStringLiteral("*.jpg;*.bmp;*.ico;*.wmf;*.emf");
const QString kImageFilterLabel = QStringLiteral("Image Files (*.jpg;*.bmp, *.ico, *.wmf, *.emf)");

} // namespace

TFormDirectory::TFormDirectory(QWidget* parent)
    : base::TForm("FormDirectory", QStringLiteral("画像ファイル表示"), QStringLiteral("fmDirect"), QSize(471, 341),
                 parent)
{
    m_imageMask = kImageMask;
    m_panel = new DirectoryPanel(
        this, m_imageMask,
        kImageFilterLabel + QStringLiteral("|*.jpg;*.bmp;*.ico;*.wmf;*.emf|JPEG Files "
                                           "(*.jpg)|*.jpg|Bitmap Files (*.bmp)|*.bmp|Icons (*.ico)|*.ico|Metafiles (*.wmf, "
                                           "*.emf)|*.wmf;*.emf|All files (*.*)|*.*"));

    // Menus.
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    // Kept in the window on every platform, like the rest of its controls.
    MainMenu1->setNativeMenuBar(false);
    Close1 = action(QStringLiteral("閉じる(&C)"), "Close1", this);
    MainMenu1->addAction(Close1);
    File1 = MainMenu1->addMenu(QStringLiteral("ファイル(&F)"));
    File1->setObjectName(QStringLiteral("File1"));
    Delete1 = action(QStringLiteral("削除(&D)"), "Delete1", this);
    File1->addAction(Delete1);
    R1 = action(QStringLiteral("リフレッシュ(&R)"), "R1", this);
    MainMenu1->addAction(R1);
    Setting1 = MainMenu1->addMenu(QStringLiteral("設定(&S)"));
    Setting1->setObjectName(QStringLiteral("Setting1"));
    MenuFileDelete = action(QStringLiteral("登録後、ファイルを削除"), "MenuFileDelete", this);
    // A check item: triggering it toggles the mark; off at start.
    MenuFileDelete->setCheckable(true);
    Setting1->addAction(MenuFileDelete);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Delete2 = action(QStringLiteral("削除"), "Delete2", this);
    PopupMenu1->addAction(Delete2);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    N1 = action(QStringLiteral("リフレッシュ"), "N1", this);
    PopupMenu2->addAction(N1);

    // Controls.
    Label1 = new QLabel(QStringLiteral("＜対象ディレクトリ＞"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("＜対象ファイル＞"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3 = new QLabel(QStringLiteral("＜画像＞"), this);
    Label3->setObjectName(QStringLiteral("Label3"));

    Image1 = new viewing::TImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(133, 124);
    Image1->setStretch(true);
    CheckStretch = new QCheckBox(QStringLiteral("伸縮"), this);
    CheckStretch->setObjectName(QStringLiteral("CheckStretch"));
    CheckStretch->setChecked(true);

    GroupBox1 = new QGroupBox(QStringLiteral("フルサイズ表示"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    BitBtn1 = button(QStringLiteral("単独(&T)"), "BitBtn1", GroupBox1);
    BitBtn2 = button(QStringLiteral("複数(&F)"), "BitBtn2", GroupBox1);
    auto* group = new QHBoxLayout(GroupBox1);
    group->addWidget(BitBtn1);
    group->addWidget(BitBtn2);
    Button1 = button(QStringLiteral("登録(&N)"), "Button1", this);

    auto* grid = new QGridLayout(this);
    grid->setMenuBar(MainMenu1);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Label2, 0, 1);
    grid->addWidget(Label3, 0, 2);
    grid->addWidget(m_panel->DirectoryListBox1, 1, 0);
    grid->addWidget(m_panel->FileListBox1, 1, 1);
    auto* pictureColumn = new QVBoxLayout();
    pictureColumn->addWidget(Image1);
    pictureColumn->addWidget(CheckStretch);
    pictureColumn->addWidget(GroupBox1);
    pictureColumn->addStretch(1);
    pictureColumn->addWidget(Button1);
    grid->addLayout(pictureColumn, 1, 2, 3, 1);
    grid->addWidget(m_panel->DriveComboBox1, 2, 0);
    grid->addWidget(m_panel->FileEdit, 2, 1);
    grid->addWidget(m_panel->FilterComboBox1, 3, 1);
    grid->setRowStretch(1, 1);
    // The long filter texts must not widen the window past its design size.
    for (QComboBox* box : {m_panel->FilterComboBox1, m_panel->DriveComboBox1}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(8);
    }

    m_panel->FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_panel->FileListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(m_panel->FileListBox1->viewport()->mapToGlobal(at));
    });
    m_panel->DirectoryListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_panel->DirectoryListBox1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu2->popup(m_panel->DirectoryListBox1->viewport()->mapToGlobal(at));
    });
    m_panel->FileEdit->installEventFilter(this);

    connect(m_panel, &DirectoryPanel::fileSelected, this, &TFormDirectory::FileListClick);
    connect(CheckStretch, &QCheckBox::clicked, this, &TFormDirectory::CheckStretchClick);
    connect(Button1, &QPushButton::clicked, this, &TFormDirectory::Button1Click);
    connect(Close1, &QAction::triggered, this, &TFormDirectory::Close1Click);
    connect(Delete1, &QAction::triggered, this, &TFormDirectory::ClickDelete);
    connect(Delete2, &QAction::triggered, this, &TFormDirectory::Delete2Click);
    connect(R1, &QAction::triggered, this, &TFormDirectory::R1Click);
    connect(N1, &QAction::triggered, this, &TFormDirectory::N1Click);

    restoreValues();
}

void TFormDirectory::setViewWindow(viewing::TFormView* view)
{
    m_view = view;
}

QString TFormDirectory::directory() const
{
    return m_panel->directory();
}

bool TFormDirectory::setDirectory(const QString& dir)
{
    return m_panel->setDirectory(dir);
}

QString TFormDirectory::selectedFile() const
{
    return m_panel->selectedFile();
}

void TFormDirectory::readValues(base::SettingsStore& s)
{
    base::TForm::readValues(s);
    // A directory that cannot be selected leaves the list where it is, silently.
    m_panel->setDirectory(s.readString(base::SettingsStore::Window, kDirectoryValue, QString()));
}

void TFormDirectory::writeValues(base::SettingsStore& s)
{
    base::TForm::writeValues(s);
    s.writeString(base::SettingsStore::Window, kDirectoryValue, directory());
}

void TFormDirectory::setPictureTypes(const viewing::PictureTypes& types)
{
    m_types = types;
    QString mask = kImageMask;
    QString label = kImageFilterLabel;
    if (types.anyNew()) {
        const QStringList own = kImageMask.split(u';');
        for (const QString& extension : viewing::wantedExtensions(types))
            if (!own.contains(u'*' + extension))
                mask += QStringLiteral(";*") + extension;
        label = QStringLiteral("Image Files (%1)").arg(QString(mask).replace(u';', QStringLiteral(", ")));
    }
    QComboBox* filters = m_panel->FilterComboBox1;
    filters->setItemText(0, label);
    filters->setItemData(0, mask);
    // A filter the user chose stays; the image filter follows the types.
    if (m_panel->mask() == m_imageMask && mask != m_imageMask) {
        m_panel->setMask(mask);
        m_panel->FileEdit->setText(mask);
        m_panel->FileEdit->setCursorPosition(0);
    }
    m_imageMask = mask;
}

bool TFormDirectory::ShowPicture(const QString& path, viewing::TImage* image)
{
    return showPicture(path, image, true);
}

bool TFormDirectory::showPicture(const QString& path, viewing::TImage* image, bool reportFailure)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot < 0 ? QString() : path.mid(dot).toUpper();
    // With a new type ticked, every ticked kind shows as a picture too.
    const viewing::PictureKind kind = viewing::kindOfExtension(ext, m_types.markup);
    const bool bitmap = ext == QLatin1String(".BMP") || ext == QLatin1String(".JPG")
        || (m_types.anyNew() && m_types.wants(kind));
    const bool icon = ext == QLatin1String(".ICO");
    const bool metafile = ext == QLatin1String(".WMF") || ext == QLatin1String(".EMF");
    if (!bitmap && !icon && !metafile)
        return false;

    // The view window shows the same picture at its own size, so while it is
    // on screen the picture is decoded whole; otherwise the preview's size is
    // enough (a large photo then costs a fraction of a full decode).
    const bool viewShown = m_view && m_view->isVisible();
    const QSize box = viewShown || !image ? QSize() : image->size();
    QString error;
    const std::optional<viewing::Picture> picture = viewing::loadPreview(path, box, &error);
    if (!picture) {
        if (reportFailure)
            emit loadFailed(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    if (image)
        image->setPicture(*picture);

    QString caption = QFileInfo(path).fileName();
    if (bitmap) {
        caption += QString::asprintf(" (%d x %d)", picture->fullSize.width(), picture->fullSize.height());
        setWindowTitle(caption);
        if (m_view) {
            m_view->setPicture(*picture);
            m_view->setWindowTitle(caption);
        }
    } else if (icon) {
        setWindowTitle(caption);
        setWindowIcon(QIcon(QPixmap::fromImage(picture->image)));
    } else {
        setWindowTitle(caption);
        if (m_view)
            m_view->setPicture(*picture);
    }
    return true;
}

void TFormDirectory::FileListClick()
{
    if (m_reselecting)
        return;
    const QString path = selectedFile();
    if (!path.isEmpty())
        ShowPicture(path, Image1);
}

void TFormDirectory::DeleteSelectedFile()
{
    QListView* list = m_panel->FileListBox1;
    auto* model = qobject_cast<QFileSystemModel*>(list->model());
    // Rows are counted in the order the directory is read, before and after.
    const QStringList before = m_panel->files();
    const QString selected = selectedFile();
    const int row = selected.isEmpty() ? -1 : int(before.indexOf(selected));
    const QModelIndex topIndex = list->indexAt(QPoint(0, 0));
    const int top = topIndex.isValid() && model ? qMax(0, int(before.indexOf(model->filePath(topIndex)))) : 0;

    // The list reads the directory again by itself once the file is gone.
    if (!selected.isEmpty())
        QFile::remove(selected);

    const QStringList after = m_panel->files();
    if (top + 1 < after.size()) {
        const QModelIndex at = m_panel->listedIndex(after.at(top + 1));
        if (at.isValid())
            list->scrollTo(at, QAbstractItemView::PositionAtTop);
    }
    // A row that no longer exists (the last file was deleted) is skipped silently.
    if (row < 0 || row >= after.size())
        return;
    m_reselecting = true;
    m_panel->selectFile(after.at(row));
    m_reselecting = false;
    showPicture(after.at(row), Image1, false);
}

void TFormDirectory::CheckStretchClick()
{
    Image1->setStretch(CheckStretch->isChecked());
}

void TFormDirectory::Button1Click()
{
    emit registerRequested(selectedFile());
}

void TFormDirectory::deleteFile(const QString& path)
{
    if (path == selectedFile())
        DeleteSelectedFile();
    else
        QFile::remove(path);
}

void TFormDirectory::ClickDelete()
{
    DeleteSelectedFile();
}

void TFormDirectory::Delete2Click()
{
    DeleteSelectedFile();
}

void TFormDirectory::R1Click()
{
    m_panel->refresh();
}

void TFormDirectory::N1Click()
{
    m_panel->refresh();
}

void TFormDirectory::MenuFileDeleteClick()
{
    MenuFileDelete->toggle();
}

void TFormDirectory::Close1Click()
{
    close();
}

bool TFormDirectory::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_panel->FileEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_panel->applyFileEdit();
            return true;
        }
    }
    return base::TForm::eventFilter(watched, event);
}

} // namespace disk
