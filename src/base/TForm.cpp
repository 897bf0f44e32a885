#include "base/TForm.h"

#include "base/SettingsStore.h"

#include <QCloseEvent>

namespace base {

TForm::TForm(const char* objectName, const QString& caption, const QString& prefix, QSize designSize,
             QWidget* parent)
    : QDialog(parent)
    , m_prefix(prefix)
{
    setObjectName(QLatin1String(objectName));
    setWindowTitle(caption);
    resize(designSize);
    // Closing a secondary window never ends the program; only the main window does.
    setAttribute(Qt::WA_QuitOnClose, false);
}

void TForm::restoreValues()
{
    SettingsStore s;
    readValues(s);
}

void TForm::readValues(SettingsStore& s)
{
    if (!m_prefix.isEmpty())
        s.readBounds(this, m_prefix);
}

void TForm::writeValues(SettingsStore& s)
{
    if (!m_prefix.isEmpty())
        s.writeBounds(this, m_prefix);
}

void TForm::storeValues()
{
    // done() and closeEvent() may both run for one close.
    if (m_storing)
        return;
    m_storing = true;
    SettingsStore s;
    writeValues(s);
    m_storing = false;
}

void TForm::done(int result)
{
    if (isVisible())
        storeValues();
    QDialog::done(result);
}

void TForm::closeEvent(QCloseEvent* e)
{
    QDialog::closeEvent(e);
}

} // namespace base
