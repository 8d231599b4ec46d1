#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "caption_label.h"
#include "directory_list.h"
#include "drive_list.h"
#include "file_list.h"
#include "form1_fixture.h"
#include "help_text.h"
#include "message_box.h"
#include "progress_bar.h"

namespace {

const std::string M = "ScriptLog: ####";

TEST_F(Form1Test, EveryControlSitsWhereTheLayoutPutsIt) {
    openWindow();
    EXPECT_EQ(form->windowTitle(), "VESK Parser - By Orlam");
    EXPECT_EQ(form->size(), QSize(595, 353));
    struct Place {
        const char* name;
        QRect twips;
        QString text;
    };
    const std::vector<Place> places = {
        {"Dir1", {840, 1560, 3255, 1440}, {}},
        {"Label2", {1080, 960, 2775, 375}, "Directory:"},
        {"Drive1", {840, 3240, 3255, 315}, {}},
        {"Command1", {4920, 1800, 2415, 375}, "&Find Cheaters"},
        {"Label3", {840, 120, 7455, 495}, "Vesk Parser v 2.0"},
        {"Label4", {1800, 3960, 1455, 255}, "Clan Example"},
        {"Label5", {1320, 4200, 2055, 255}, "www.example.org"},
        {"Label6", {960, 4680, 3255, 255}, "Chat - irc.example.org  - #example"},
        {"Label7", {1200, 4440, 2895, 255}, "Server - unreal://192.0.2.10:7777"},
        {"Command2", {5280, 2400, 1695, 375}, "&Help"},
        {"ProgressBar1", {4680, 3240, 3135, 255}, {}},
        {"Label1", {4560, 3600, 375, 255}, "0%"},
        {"Label8", {7560, 3600, 495, 255}, "100%"},
        {"File1", {0, 2880, 1695, 1455}, {}},
        {"Command3", {5280, 4560, 2055, 375}, "E&xit"},
        {"Label9", {1560, 5040, 1815, 255}, "Email: vesk@example.org"},
    };
    for (const auto& place : places) {
        auto* widget = control<QWidget>(place.name);
        ASSERT_NE(widget, nullptr) << place.name;
        const QRect& t = place.twips;
        EXPECT_EQ(widget->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15))
            << place.name;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), place.text);
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << place.name;
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()),
                      label->contentsRect().width())
                << place.name << " must fit";
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), place.text);
        }
    }
    EXPECT_FALSE(control<FileList>("File1")->isVisible());
    const auto* bar = control<ProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->exactValue(), 0.0f);
}

TEST_F(Form1Test, LabelsCarryTheirOwnFontsAndColours) {
    openWindow();
    const auto* title = control<CaptionLabel>("Label3");
    EXPECT_EQ(title->font().families().value(0), "Copperplate Gothic Bold");
    EXPECT_EQ(title->font().weight(), QFont::Bold);
    EXPECT_TRUE(title->font().italic());
    EXPECT_LE(title->font().pointSizeF(), 14.25);
    EXPECT_GT(title->font().pointSizeF(), 12.0) << "the title has room enough not to shrink";
    EXPECT_EQ(title->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(title->palette().color(QPalette::WindowText),
              form->palette().color(QPalette::Active, QPalette::Highlight));
    const auto* directory = control<CaptionLabel>("Label2");
    EXPECT_EQ(directory->font().families().value(0), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(directory->font().pointSizeF(), 9.75);
    EXPECT_FALSE(directory->font().bold());
    EXPECT_EQ(control<CaptionLabel>("Label4")->palette().color(QPalette::WindowText),
              QColor(255, 0, 0));
}

TEST_F(Form1Test, TabOrderAndTheFocusAtStart) {
    openWindow();
    QApplication::setActiveWindow(form.get());
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("Dir1"));
    std::vector<QString> order;
    QWidget* at = control<QWidget>("Dir1");
    do {
        if ((at->focusPolicy() & Qt::TabFocus) && at->isVisible() && at != form.get()) {
            order.push_back(at->objectName());
        }
        at = at->nextInFocusChain();
    } while (at != control<QWidget>("Dir1"));
    EXPECT_EQ(order, (std::vector<QString>{"Dir1", "Drive1", "Command1", "Command2", "Command3"}));
}

TEST_F(Form1Test, FindCheatersSweepsTheFolderWithTheBarOnScreen) {
    logs.write("a.log", M + "\r\ncheat 1\r\n");
    logs.write("b.log", "x\r\n" + M + "\r\ncheat 2\r\n");
    openWindow();
    auto* button = control<QPushButton>("Command1");
    auto* bar = control<ProgressBar>("ProgressBar1");
    std::vector<std::pair<bool, int>> duringRun;  // the button's state and the bar's, per log
    fileSystem.onOpenLog = [&](const auto&) {
        duringRun.emplace_back(button->isEnabled(), bar->value());
    };
    // What the bar painted while the run held the event loop.
    struct PaintWatch : QObject {
        std::vector<int> painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted.push_back(static_cast<ProgressBar*>(watched)->value());
            }
            return false;
        }
    } watch;
    bar->installEventFilter(&watch);
    float valueAtMessage = -1;
    answerer.onShown = [&](const ModalAnswerer::Seen&) { valueAtMessage = bar->exactValue(); };

    click("Command1");

    const std::string text = report();
    EXPECT_TRUE(text == "cheat 1\r\ncheat 2\r\n" || text == "cheat 2\r\ncheat 1\r\n") << text;
    EXPECT_EQ(duringRun, (std::vector<std::pair<bool, int>>{{false, 0}, {false, 50}}));
    EXPECT_NE(std::find(watch.painted.begin(), watch.painted.end(), 50), watch.painted.end());
    EXPECT_NE(std::find(watch.painted.begin(), watch.painted.end(), 100), watch.painted.end());
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, "VESK Parser");
    EXPECT_EQ(answerer.seen[0].text, "Operation completed!");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(valueAtMessage, 100.0f) << "the bar still shows the last value under the message";
    EXPECT_EQ(bar->exactValue(), 0.0f);
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(Form1Test, AReportThatCannotBeWrittenIsSaidSo) {
    logs.write("a.log", M + "\r\nfound\r\n");
    std::filesystem::create_directory(reports / "VOReradivu_2001-07-10.log");
    openWindow();
    click("Command1");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].title, "VESK Parser");
    EXPECT_EQ(
        answerer.seen[0].text,
        QString::fromStdString("The report " + (reports / "VOReradivu_2001-07-10.log").string() +
                               " could not be written: Is a directory\nNone of this run's "
                               "findings were stored; the day's earlier report, if any, is left "
                               "as it was."));
    EXPECT_TRUE(control<QPushButton>("Command1")->isEnabled());
    EXPECT_EQ(control<ProgressBar>("ProgressBar1")->exactValue(), 0.0f);
}

TEST_F(Form1Test, AccessKeysReachTheButtons) {
    logs.write("a.log", M + "\r\nfound\r\n");
    openWindow();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // An access key clicks the way a mouse does, after the button's press has been seen.
    QTest::keyClick(form->windowHandle(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answerer.seen.size() == 1; }));
    EXPECT_EQ(report(), "found\r\n");
    form->activateWindow();  // back from the message box
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form->windowHandle(), Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return answerer.seen.size() == 2; }));
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[1].title, "VESK Parser Help");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTimer::singleShot(0,
                       [&] { QTest::keyClick(form->windowHandle(), Qt::Key_X, Qt::AltModifier); });
    EXPECT_EQ(QApplication::exec(), 0) << "Alt+X ends the event loop";
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Form1Test, HelpShowsTheUsageTextAndEitherButtonJustClosesIt) {
    const QString expected = QStringLiteral(
        "How to run the program:\r\r"
        "Goto the directory which has the logs files you wish to parse "
        "(ie. unrealtournament.log).\r\r"
        "This will automatically parse all log files in that directory.\r\r"
        "This makes it very easy if you have multiple servers (log files).\r\r"
        "Click  'Find Cheaters'\r\r"
        "Then open up the file VOReradivu(todaysdate).log on your 'C:\\' drive\r\r"
        "The program appends the today's date onto the log file (ie. VOReradivu_2001-07-10.log)");
    EXPECT_EQ(helpText(), expected);
    EXPECT_EQ(message_box::withLineBreaks(helpText()).count(QLatin1Char('\r')), 0);

    openWindow();
    for (auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
        answerer.setAnswer(answer);
        click("Command2");
    }
    ASSERT_EQ(answerer.seen.size(), 2u);
    for (const auto& seen : answerer.seen) {
        EXPECT_EQ(seen.title, "VESK Parser Help");
        EXPECT_EQ(seen.text, message_box::withLineBreaks(expected));
        EXPECT_EQ(seen.icon, QMessageBox::Information);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Form1Test, ExitEndsTheEventLoop) {
    openWindow();
    QTimer::singleShot(0, [&] { click("Command3"); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(answerer.seen.empty()) << "no question asked";
}

}  // namespace
