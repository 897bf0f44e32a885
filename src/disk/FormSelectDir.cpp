#include "disk/FormSelectDir.h"

#include "base/SettingsStore.h"
#include "disk/DirectoryPanel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QListWidget>

namespace disk {

TFormSelectDir::TFormSelectDir(QWidget* parent)
    : base::TForm("FormSelectDir", QStringLiteral("ディレクトリ選択"), QStringLiteral("fmSelectDir"), QSize(328, 349),
                 parent)
{
    const QString mask = QStringLiteral("*.jpg;*.gif;*.bmp");
    m_panel = new DirectoryPanel(this, mask,
                                 QStringLiteral("Image Files (*.jpg;*.gif;*.bmp)|*.jpg;*.gif;*.bmp|JPEG Files "
                                                "(*.jpg)|*.jpg|Gif Files (*.gif)|*.gif|Bitmap Files (*.bmp)|*.bmp|All "
                                                "Files (*.*)|*.*"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("＜対象ディレクトリ＞"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("＜ファイル＞"), this), 0, 1);
    grid->addWidget(m_panel->DirectoryListBox1, 1, 0);
    grid->addWidget(m_panel->FileListBox1, 1, 1);
    grid->addWidget(m_panel->DriveComboBox1, 2, 0);
    grid->addWidget(m_panel->FileEdit, 2, 1);
    grid->addWidget(m_panel->FilterComboBox1, 3, 1);
    auto* buttons = new QHBoxLayout();
    Button1 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    // Enter in the file-name box does nothing here: no button is the default.
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 4, 0, 1, 2);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button2, &QPushButton::clicked, this, &QDialog::accept);
    restoreValues();
}

QString TFormSelectDir::directory() const
{
    return m_panel->directory();
}

bool TFormSelectDir::setDirectory(const QString& dir)
{
    return m_panel->setDirectory(dir);
}

void TFormSelectDir::readValues(base::SettingsStore& s)
{
    base::TForm::readValues(s);
    // A directory that cannot be selected is skipped without a message.
    m_panel->setDirectory(s.readString(base::SettingsStore::Window, QStringLiteral("fmSelectDir.Directory"), QString()));
}

void TFormSelectDir::writeValues(base::SettingsStore& s)
{
    base::TForm::writeValues(s);
    s.writeString(base::SettingsStore::Window, QStringLiteral("fmSelectDir.Directory"), directory());
}

} // namespace disk
