#pragma once

// What the main window knows of the open picture database.

#include <QString>
#include <array>

namespace picturedb {

struct DatabaseState {
    // The open database; empty while none is open.
    QString CurrentDatabase;
    // Its 索引 value: true in index mode (the record names its picture's file
    // or address), false in import mode (the image table holds the picture).
    bool IndexMode = false;
    // A database was opened at start or chosen with a "DB名称(&B)" button of the
    // file-list or picture-address page.
    bool DatabaseChosen = false;
    // The labels (= names) of the open record table's user items, in table order.
    std::array<QString, 16> FieldLabels;
    // While true, a change of the current record shows the new record's picture.
    bool ShowOnNavigate = true;
};

} // namespace picturedb
