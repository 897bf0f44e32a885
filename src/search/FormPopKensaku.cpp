#include "search/FormPopKensaku.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace search {

TFormPopKensaku::TFormPopKensaku(QWidget* parent)
    : base::TForm("FormPopKensaku", QStringLiteral("検索実行中"), QStringLiteral(""), QSize(226, 81), parent)
{
    // The user cannot close it: no buttons on the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setStyleSheet(QStringLiteral("background: silver"));
    auto* inner = new QVBoxLayout(panel);
    auto* text = new QLabel(QStringLiteral("しばらくお待ち下さい.．．．．．"), panel);
    text->setObjectName(QStringLiteral("Label1"));
    text->setStyleSheet(QStringLiteral("color: blue; font-weight: bold"));
    text->setAlignment(Qt::AlignCenter);
    inner->addWidget(text);
    layout->addWidget(panel);
    restoreValues();
}

void TFormPopKensaku::closeEvent(QCloseEvent* e)
{
    // Only the search closes it, by hiding it.
    if (e->spontaneous())
        e->ignore();
    else
        base::TForm::closeEvent(e);
}

void TFormPopKensaku::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape)
        return; // Escape would reject the dialog
    base::TForm::keyPressEvent(e);
}

} // namespace search
