#pragma once

// With QUILLON_TEST_INSTANT_CLOCKS set to 1 the tests run as on a machine so
// fast that no time bound ever ends a slice of work: the disk scan yields
// and the crawler cuts a page's links only by their counts. A test that then
// fails relied on the clock to keep work running or to cut it into pieces;
// such a test must set the counts it needs itself.

namespace app {
class TFormMain;
} // namespace app
namespace disk {
class DiskScan;
} // namespace disk
namespace web {
class Crawler;
} // namespace web

bool instantClocks();
void useTestClocks(disk::DiskScan& scan);
void useTestClocks(web::Crawler& crawler);
// The main window's scan and crawler.
void useTestClocks(app::TFormMain& form);
