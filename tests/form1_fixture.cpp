#include "form1_fixture.h"

#include <QPushButton>
#include <QTest>

#include "report_file.h"

void Form1Test::TearDown() {
    form.reset();
}

void Form1Test::openWindow(std::vector<Drive> drives) {
    if (drives.empty()) {
        drives.push_back({logs.path().root_path(), "test"});
    }
    form = std::make_unique<Form1>(
        Form1Setup{fileSystem, clock, reports.path(), startFolder, std::move(drives)});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

void Form1Test::click(const char* button) {
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}

std::string Form1Test::report() const {
    return readBytes(vesk::ReportFile::pathFor(reports.path(), clock.today()));
}
