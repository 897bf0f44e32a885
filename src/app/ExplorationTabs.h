#pragma once

// The host, page-link and picture-link tabs of the main window: their grids,
// order choices, navigators and buttons.

#include <QObject>

class QPushButton;
class TDBGrid;
class TDBNavigator;
class QCheckBox;
class QLineEdit;

class TRadioGroup;

namespace web {
class ExplorationTables;
}

namespace app {

class TFormMain;

class ExplorationTabs : public QObject {
    Q_OBJECT
public:
    ExplorationTabs(TFormMain& form, web::ExplorationTables& tables);

    // Handlers
    void ButtonHostDeleteClick();
    void ButtonLinkDeleteClick();
    void ButtonImageDeleteClick();
    void RadioLinkClick();
    void RadioLinkImgClick();
    void RadioHostClick();
    void DBGridImageCellClick(const QString& field);
    void Button6Click();   // 全選択
    void Button13Click();  // 解除
    void Button18Click();  // リセット
    void Button26Click();  // 削除

    TRadioGroup* RadioHost;
    TDBNavigator* DBNavigator3;
    QPushButton* ButtonHostDelete;
    TDBGrid* DBGrid3;
    TRadioGroup* RadioLink;
    TDBNavigator* DBNavigator1;
    QPushButton* ButtonLinkDelete;
    TDBGrid* DBGridLink;
    TRadioGroup* RadioLinkImg;
    TDBNavigator* DBNavigator2;
    TDBGrid* DBGridImage;
    QPushButton* Button6;
    QPushButton* Button13;
    QPushButton* Button18;
    QPushButton* Button26;
    QPushButton* ButtonImageDelete;

private:
    TFormMain& m_form;
    web::ExplorationTables& m_tables;
};

} // namespace app
