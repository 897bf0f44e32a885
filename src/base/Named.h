#pragma once

// Creates a control that carries its design name as its objectName, the name
// by which tests and other windows find it.

#include <QCheckBox>
#include <QString>
#include <utility>

template <class W, class... Args>
W* named(const char* name, Args&&... args)
{
    auto* w = new W(std::forward<Args>(args)...);
    w->setObjectName(QLatin1String(name));
    return w;
}

// A named check box with its start state.
inline QCheckBox* namedCheckBox(const char* name, const QString& caption, bool on, QWidget* parent)
{
    auto* c = named<QCheckBox>(name, caption, parent);
    c->setChecked(on);
    return c;
}
