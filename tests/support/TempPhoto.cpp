#include "TempPhoto.h"

#include <QFile>
#include <QtGlobal>

namespace {

const char* const kPhotoDirVariable = "QUILLON_PHOTO_DIR";
// Store::fileName(); spelled out so that tests not linking the store can link this.
const char* const kStoreFileName = "quillon-store.sqlite";

} // namespace

TempPhoto::TempPhoto()
{
    m_hadPrevious = qEnvironmentVariableIsSet(kPhotoDirVariable);
    m_previous = qgetenv(kPhotoDirVariable);
    if (!m_dir.isValid()) {
        qWarning("TempPhoto: no temporary directory");
        return;
    }
    const QString source = QStringLiteral(QUILLON_TEMPLATE_STORE);
    if (!QFile::copy(source, storePath())) {
        qWarning("TempPhoto: cannot copy the template store %s", qPrintable(source));
        return;
    }
    QFile::setPermissions(storePath(), QFile::ReadOwner | QFile::WriteOwner);
    qputenv(kPhotoDirVariable, QFile::encodeName(m_dir.path()));
    m_valid = true;
}

TempPhoto::~TempPhoto()
{
    if (m_hadPrevious)
        qputenv(kPhotoDirVariable, m_previous);
    else
        qunsetenv(kPhotoDirVariable);
}

QString TempPhoto::storePath() const
{
    return m_dir.filePath(QLatin1String(kStoreFileName));
}
