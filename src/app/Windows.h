#pragma once

// The secondary windows, created once at start-up in this order and kept
// hidden until used.

namespace disk {
class TFormSelectDir;
class TFormDirectory;
} // namespace disk
namespace viewing {
class TFormView;
class TFormMulti;
class TFormSetteiMulti;
} // namespace viewing
namespace picturedb {
class TFormPassword;
class TFormDBList;
} // namespace picturedb
namespace search {
class TFormPopJouken;
class TFormPopKensaku;
} // namespace search

namespace app {

class TFormSetting;
class TFormVersion;

struct Windows {
    disk::TFormSelectDir* FormSelectDir = nullptr;
    viewing::TFormView* FormView = nullptr;
    TFormSetting* FormSetting = nullptr;
    disk::TFormDirectory* FormDirectory = nullptr;
    viewing::TFormMulti* FormMulti = nullptr;
    viewing::TFormSetteiMulti* FormSetteiMulti = nullptr;
    picturedb::TFormPassword* FormPassword = nullptr;
    picturedb::TFormDBList* FormDBList = nullptr;
    search::TFormPopJouken* FormPopJouken = nullptr;
    search::TFormPopKensaku* FormPopKensaku = nullptr;
    TFormVersion* FormVersion = nullptr;
};

} // namespace app
