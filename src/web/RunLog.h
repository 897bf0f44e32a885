#pragma once

#include <QString>

namespace web {

// Where the exploration writes its diagnostic lines: the normal log and the
// error log of the main window.
class RunLog {
public:
    virtual ~RunLog() = default;
    virtual void LogNormal(const QString& line) = 0;
    virtual void LogError(const QString& line) = 0;
};

} // namespace web
