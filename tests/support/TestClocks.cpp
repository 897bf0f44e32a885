#include "support/TestClocks.h"

#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "disk/DiskScan.h"
#include "web/Crawler.h"

#include <QtGlobal>

bool instantClocks()
{
    return qEnvironmentVariableIntValue("QUILLON_TEST_INSTANT_CLOCKS") == 1;
}

void useTestClocks(disk::DiskScan& scan)
{
    if (instantClocks())
        scan.setYieldMilliseconds(-1);
}

void useTestClocks(web::Crawler& crawler)
{
    if (instantClocks())
        crawler.setRecordSliceMs(-1);
}

void useTestClocks(app::TFormMain& form)
{
    useTestClocks(form.crawler());
    useTestClocks(form.fileListTab()->scan());
}
