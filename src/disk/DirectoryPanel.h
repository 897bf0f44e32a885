#pragma once

// The directory list, drive box, filter box and file list that the directory
// chooser and the picture file browser share: a directory list whose current
// directory drives a file list filtered by a mask.

#include <QObject>
#include <QString>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QListView;
class QListWidget;
class QWidget;

namespace disk {

class DirectoryPanel : public QObject {
    Q_OBJECT
public:
    // filter: "text|masks|text|masks..." as the filter box lists it.
    DirectoryPanel(QWidget* owner, const QString& mask, const QString& filter);

    QListWidget* DirectoryListBox1;
    QComboBox* DriveComboBox1;
    QListView* FileListBox1;
    QLineEdit* FileEdit;
    QComboBox* FilterComboBox1;

    // The current directory of the directory list (native separators).
    QString directory() const;
    // False when the directory cannot be selected; nothing changes then.
    bool setDirectory(const QString& dir);
    void setMask(const QString& mask);
    QString mask() const { return m_mask; }
    // Full paths of the files listed now, in list order.
    QStringList files() const;
    QString selectedFile() const;
    // Selects a file of the list; one the list does not show yet is selected
    // as soon as it does (and the answer is false).
    bool selectFile(const QString& path);
    // The list's row of a file; invalid when the list does not show it.
    QModelIndex listedIndex(const QString& path) const;
    void refresh();
    // Applies the text of the file-name box: a directory, a mask or a file name.
    void applyFileEdit();

signals:
    void directoryChanged(const QString& dir);
    void fileSelected(const QString& path);

private:
    void fillDirectoryList();

    QFileSystemModel* m_files;
    // The model's row of the current directory.
    QModelIndex listRoot() const;
    // Selects the file when the list shows it; false otherwise.
    bool selectListed(const QString& path);
    QString m_directory;
    QString m_mask;
    QString m_pendingSelection;
};

} // namespace disk
