#pragma once

#include <QIcon>

// The tool bar pictures, drawn by the program itself.
namespace app::icons {

QIcon program();
QIcon directory();
QIcon settings();
QIcon search();
QIcon single();
QIcon multiple();
QIcon table();
// 8 while a run or a retrieval is in progress, 9 when idle.
QIcon stop(int index);
QIcon back();
QIcon forward();
QIcon collect();
QIcon hardDisk();
QIcon www();
QIcon explore();
QIcon web();

} // namespace app::icons
