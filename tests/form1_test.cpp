#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>

#include "form1_fixture.h"
#include "window/caption_label.h"
#include "window/file_list.h"
#include "window/progress_bar.h"

namespace {

// The layout by what it must do, not by its numbers: every control inside the window, none over
// another, each caption whole in its label at no less than the window's own size, the folder list
// above its drive list and the bar between its two ends.
TEST_F(Form1Test, EveryControlFitsTheWindowAndNoneCoversAnother) {
    openWindow();
    EXPECT_EQ(form->windowTitle(), "VESK Parser - By Orlam");
    EXPECT_EQ(form->size(), QSize(595, 353));
    const char* const names[] = {"Dir1",   "Drive1", "Command1", "Command2", "Command3",
                                 "Label1", "Label2", "Label3",   "Label4",   "Label5",
                                 "Label6", "Label7", "Label8",   "Label9",   "ProgressBar1"};
    std::vector<QWidget*> shown;
    for (const char* name : names) {
        auto* widget = control<QWidget>(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_TRUE(widget->isVisible()) << name;
        EXPECT_TRUE(form->rect().contains(widget->geometry())) << name;
        // The captions under the drive list are stacked one pixel into each other, as the
        // original form stacks them.
        const QRect inner = widget->geometry().adjusted(0, 1, 0, -1);
        for (const QWidget* other : shown) {
            EXPECT_FALSE(inner.intersects(other->geometry()))
                << name << " over " << other->objectName().toStdString();
        }
        shown.push_back(widget);
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_FALSE(label->text().isEmpty()) << name;
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << name;
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                      label->contentsRect().width())
                << name << " must fit";
            EXPECT_GE(label->font().pointSizeF(), 8.0) << name << " fits without shrinking in "
                                                       << label->fontInfo().family().toStdString();
        }
    }
    EXPECT_EQ(control<QLabel>("Label2")->text(), "Directory:");
    EXPECT_EQ(control<QLabel>("Label3")->text(), "Vesk Parser v 2.0");
    EXPECT_EQ(control<QLabel>("Label1")->text(), "0%");
    EXPECT_EQ(control<QLabel>("Label8")->text(), "100%");
    EXPECT_EQ(control<QPushButton>("Command1")->text(), "&Find Cheaters");
    const QRect folders = control<QWidget>("Dir1")->geometry();
    EXPECT_LT(control<QWidget>("Label2")->geometry().bottom(), folders.top());
    EXPECT_GT(control<QWidget>("Drive1")->geometry().top(), folders.bottom());
    const QRect barPlace = control<QWidget>("ProgressBar1")->geometry();
    for (const auto& [end, x] :
         {std::pair{"Label1", barPlace.left()}, {"Label8", barPlace.right()}}) {
        const QRect label = control<QWidget>(end)->geometry();
        EXPECT_GT(label.top(), barPlace.bottom()) << end;
        EXPECT_TRUE(label.left() <= x + 8 && x - 8 <= label.right()) << end << " under its end";
    }
    EXPECT_FALSE(control<FileList>("File1")->isVisible());
    const auto* bar = control<ProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->exactValue(), 0.0f);

    const auto* title = control<CaptionLabel>("Label3");
    EXPECT_EQ(title->font().families().value(0), "Copperplate Gothic Bold");
    EXPECT_EQ(title->font().weight(), QFont::Bold);
    EXPECT_TRUE(title->font().italic());
    EXPECT_EQ(title->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(title->palette().color(QPalette::WindowText),
              form->palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(control<CaptionLabel>("Label2")->font().families().value(0), "MS Sans Serif");
    EXPECT_EQ(control<CaptionLabel>("Label4")->palette().color(QPalette::WindowText),
              QColor(255, 0, 0));
}

// What a widget painted: a bar's value, or whether a button was enabled, at each paint.
struct PaintWatch : QObject {
    std::vector<int> painted;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* bar = qobject_cast<ProgressBar*>(watched);
            painted.push_back(bar != nullptr ? bar->value()
                                             : static_cast<QWidget*>(watched)->isEnabled());
        }
        return false;
    }
};

TEST_F(Form1Test, TheWindowIsPaintedAndMovedWhileItSweeps) {
    logs.write("a.log", M + "\r\ncheat 1\r\n");
    logs.write("b.log", "x\r\n" + M + "\r\ncheat 2\r\n");
    openWindow();
    auto* button = control<QPushButton>("Command1");
    auto* bar = control<ProgressBar>("ProgressBar1");
    PaintWatch barPaints;
    PaintWatch buttonPaints;
    bar->installEventFilter(&barPaints);
    button->installEventFilter(&buttonPaints);
    // The sweep waits in b.log until the window has shown what it was told so far.
    std::promise<void> shown;
    std::future<void> shownNow = shown.get_future();
    fileSystem.onRead = [&](const auto& name, auto& log, std::uint64_t at, char* data,
                            std::size_t size, auto& ec) {
        if (name == "b.log" && at == 0) {
            EXPECT_EQ(shownNow.wait_for(std::chrono::seconds(10)), std::future_status::ready)
                << "the window is left waiting while it sweeps";
        }
        return log.readAt(at, data, size, ec);
    };
    float valueAtMessage = -1;
    answerer.onShown = [&] { valueAtMessage = bar->exactValue(); };
    click("Command1");
    const QPoint place = form->pos() + QPoint(40, 30);
    form->move(place);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return !barPaints.painted.empty() && barPaints.painted.back() == 50 &&
               std::count(buttonPaints.painted.begin(), buttonPaints.painted.end(), 0) > 0;
    })) << "the bar halfway and the button disabled, on screen while the run goes on";
    EXPECT_EQ(form->pos(), place);
    shown.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen.empty(); }));

    EXPECT_EQ(report(), "cheat 1\r\ncheat 2\r\n");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, "VESK Parser");
    EXPECT_EQ(answerer.seen[0].text, "Operation completed!");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(answerer.seen[0].format, Qt::PlainText) << "names in it are not markup";
    EXPECT_EQ(valueAtMessage, 100.0f) << "the bar still shows the last value under the message";
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->exactValue() == 0.0f; }));
    EXPECT_TRUE(button->isEnabled());
}

// Exit, or closing the window, while a run reads a log that would take minutes: the run stops,
// its draft goes, the day's earlier report stays, and the window ends without a word.
TEST_F(Form1Test, ExitOrClosingDuringASweepStopsItAndEndsTheWindow) {
    fileSystem.useNamedDrafts();
    const std::uint64_t size = std::uint64_t{64} << 30;
    std::ofstream(logs / "b.log");
    std::filesystem::resize_file(logs / "b.log", size);  // sparse
    logs.write("a.log", M + "\r\nnew\r\n");
    fileSystem.readLimit = std::size_t{1} << 20;
    for (const bool byKey : {true, false}) {
        reports.write(reportPath().filename(), "earlier\r\n");
        openWindow();
        std::atomic<std::uint64_t> read{0};
        fileSystem.onRead = [&](const auto& name, auto&, std::uint64_t at, char* data,
                                std::size_t limit, auto&) {
            if (name == "b.log" && at == 0) {
                QMetaObject::invokeMethod(form.get(), [&] {
                    if (byKey) {
                        QTest::keyClick(form->focusWidget(), Qt::Key_X, Qt::AltModifier);
                    } else {
                        form->close();  // the close box
                    }
                });
            }
            std::memset(data, 0, limit);  // the sparse log's zeros, without the disk
            read += limit;
            return limit;
        };
        click("Command1");
        EXPECT_EQ(QApplication::exec(), 0) << byKey;
        EXPECT_FALSE(form->isVisible());
        EXPECT_LT(read.load(), size) << "stopped midway";
        EXPECT_EQ(report(), "earlier\r\n");
        EXPECT_EQ(reports.files(), std::vector<std::filesystem::path>{reportPath()})
            << "no draft is left";
        EXPECT_TRUE(answerer.seen.empty());
    }
}

TEST_F(Form1Test, TheKeyboardAloneDrivesTheWindowAndHelpSaysWhereTheReportIs) {
    logs.write("a.log", M + "\r\nfound\r\n");
    openWindow();
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        const std::size_t seen = answerer.seen.size();
        form->activateWindow();  // back from the last box: access keys need the window active
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->focusWidget(), key, modifiers);
        // A key clicks the way a mouse does, after the button's press has been seen.
        return QTest::qWaitFor([&] {
            return answerer.seen.size() > seen && QApplication::activeModalWidget() == nullptr;
        });
    };
    std::vector<QString> order;  // Tab goes round from the folder list, which has the focus
    for (int i = 0; i < 7; ++i) {
        order.push_back(form->focusWidget()->objectName());
        QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<QString>{"Dir1", "Drive1", "Command1", "Command2", "Command3",
                                           "Dir1", "Drive1"}));

    // Tabbed on to Find Cheaters: Enter, Enter on OK, Enter: two sweeps.
    answerer.answerWithEnter = true;
    for (int sweep = 0; sweep < 2; ++sweep) {
        ASSERT_TRUE(press(sweep == 0 ? Qt::Key_Return : Qt::Key_Enter)) << "sweep " << sweep;
        EXPECT_EQ(answerer.seen.back().text, "Operation completed!");
        EXPECT_EQ(form->focusWidget(), control<QWidget>("Command1"));
    }
    EXPECT_EQ(report(), "found\r\n");
    ASSERT_TRUE(press(Qt::Key_F, Qt::AltModifier));
    EXPECT_EQ(answerer.seen.back().text, "Operation completed!");

    const QStringList here = {
        "How to run the program:",
        "Goto the directory which has the logs files you wish to parse (ie. unrealtournament.log).",
        "This will automatically parse all log files in that directory.",
        "This makes it very easy if you have multiple servers (log files).",
        "Click  'Find Cheaters'",
        QString::fromStdString("Then open up the file VOReradivu(todaysdate).log in your home " +
                               ("folder (" + reports.path().string() + ")")),
        "The program appends the today's date onto the log file (ie. VOReradivu_2001-07-10.log)"};
    answerer.answerWithEnter = false;
    for (auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
        answerer.answer = answer;
        ASSERT_TRUE(press(Qt::Key_H, Qt::AltModifier));
        const auto& seen = answerer.seen.back();
        EXPECT_EQ(seen.title, "VESK Parser Help");
        EXPECT_EQ(seen.text, here.join("\n\n")) << "a box breaks lines at LF";
        EXPECT_EQ(seen.icon, QMessageBox::Information);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_TRUE(form->isVisible()) << "either button just closes the box";
    }

    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTimer::singleShot(0,
                       [&] { QTest::keyClick(form->focusWidget(), Qt::Key_X, Qt::AltModifier); });
    EXPECT_EQ(QApplication::exec(), 0) << "Alt+X ends the event loop";
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(answerer.seen.size(), 5u) << "no question asked";
}

}  // namespace
