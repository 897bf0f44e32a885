#pragma once

#include "base/TForm.h"
#include "store/ServerConnection.h"
#include "viewing/PictureKind.h"

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QStatusBar;
class QTabWidget;
class TDBEdit;
class TRadioGroup;

namespace app {

class TFormMain;

// The settings dialog: every option of the two explorations, of picture
// saving, of the proxy and of a shared database server. Other windows read its controls at the moment of
// use; nothing is copied out of it.
class TFormSetting : public base::TForm {
    Q_OBJECT
public:
    enum { TabWWWIndex = 0, TabHDIndex = 1, TabGazouIndex = 2, TabNetworkIndex = 3 };

    // main: the window whose retrieval components and proxy switch the proxy
    // settings reach; may be null where there is none (tests of the dialog alone).
    explicit TFormSetting(TFormMain* main = nullptr, QWidget* parent = nullptr);

    // Shows the dialog (not modal) on one of its tabs.
    void showOnTab(int index);
    QString homeAddress() const;
    void setStartDirectory(const QString& directory);
    // The picture types ticked on "画像設定", as they stand now.
    viewing::PictureTypes pictureTypes() const;
    // Whether a picture whose bytes are already kept is neither saved nor registered again.
    bool noDuplicates() const;
    // Where the shared picture databases are, as the server group says now.
    store::ServerSettings serverSettings() const;
    // The server group as stored, read at start-up before any window
    // exists; useServer tells whether its tick is on.
    static store::ServerSettings storedServerSettings(bool* useServer);

    // Handlers
    void SyncDependentControls();
    void ApplyProxySettings(); // raises nothing; a bad port is reported and nothing changes
    void Button6Click();
    void Button7Click();
    void ButtonServerTestClick(); // tells the server's version or its error in a message box
    // "初期化": after a confirmation, gives a server without them the tables
    // of the picture databases; a server that has them is left as it is.
    void ButtonServerInitClick();
    void chooseDirectoryInto(QLineEdit* edit);

    // The save directory when nothing is stored: the program's directory.
    static QString programDirectory();

    QTabWidget* PageControl1;
    // 探索設定(WWW)
    QLineEdit* EditStartURL;
    TRadioGroup* RadioKekkaWWW;
    QLineEdit* EditMaxImage;
    QLineEdit* EditMaxURL;
    QLineEdit* EditUchikiri;
    QCheckBox* CheckGaibu;
    QCheckBox* CheckLinkMax;
    QLineEdit* EditLinkMax;
    QCheckBox* CheckRobots;
    QLineEdit* EditHostInterval;
    QScrollBar* ScrollSpeed;
    QLabel* LabelSpeed;
    // 探索設定(HD)
    QLineEdit* EditStart;
    QPushButton* Button3;
    TRadioGroup* RadioKekka;
    // 画像設定
    QCheckBox* CheckFileSave;
    QGroupBox* GroupDirectory;
    QLineEdit* EditDirectory;
    QPushButton* Button4;
    QPushButton* Button7;
    QCheckBox* CheckDBSave;
    QGroupBox* GroupDB;
    TDBEdit* DBEdit11;
    QPushButton* Button5;
    QCheckBox* CheckNoDuplicate;
    QCheckBox* CheckThumbnail;
    QCheckBox* CheckJPEG;
    QCheckBox* CheckGIF;
    QCheckBox* CheckBMP;
    QCheckBox* CheckPNG;
    QCheckBox* CheckWebP;
    QCheckBox* CheckAVIF;
    QCheckBox* CheckMarkup;
    QCheckBox* CheckSize;
    QGroupBox* GroupSize;
    QLineEdit* EditMinSize;
    QLineEdit* EditMaxSize;
    QCheckBox* CheckHiritsu;
    QGroupBox* GroupHiritsu;
    QLineEdit* EditHiritsu;
    // ネットワーク
    QCheckBox* CheckProxy;
    QLabel* LabelIP;
    QLineEdit* EditIPAddress;
    QLabel* LabelPort;
    QLineEdit* EditPort;
    QPushButton* Button6;
    QGroupBox* GroupServer;
    QCheckBox* CheckServer;
    QLineEdit* EditService;
    QLineEdit* EditServerHost;
    QLineEdit* EditServerPort;
    QLineEdit* EditServerDB;
    QLineEdit* EditServerUser;
    QPushButton* ButtonServerTest;
    QPushButton* ButtonServerInit;
    QGroupBox* GroupLimit;
    QLineEdit* EditHeight;
    QLineEdit* EditWidth;
    QStatusBar* StatusBar1;

protected:
    // Only the position is read back; the size is written all the same.
    void readValues(base::SettingsStore& s) override;
    void writeValues(base::SettingsStore& s) override;

private:
    void buildTabWWW(QWidget* tab);
    void buildTabHD(QWidget* tab);
    void buildTabGazou(QWidget* tab);
    void buildTabNetwork(QWidget* tab);
    bool applyProxy(); // false when the port is not a number

    TFormMain* m_main;
};



} // namespace app
