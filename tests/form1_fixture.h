#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "sweep_fixture.h"
#include "window/form1.h"

// Answers the message boxes a test brings up, keeping what each one said.
struct ModalAnswerer {
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format;
    };

    ModalAnswerer() {
        timer.callOnTimeout([this] { answerBox(); });
        timer.start(5);
    }
    void answerBox() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                        box->textFormat()});
        if (onShown) {
            onShown();
        }
        if (answerWithEnter) {
            QTest::keyClick(box, Qt::Key_Return);
        } else {
            box->button(answer)->click();
        }
    }

    QMessageBox::StandardButton answer = QMessageBox::Ok;
    bool answerWithEnter = false;   // as a person at the keyboard would, instead of clicking
    std::function<void()> onShown;  // while the box is still up
    std::vector<Seen> seen;
    QTimer timer;
};

// A Form1 over temporary folders: logs are the start folder, reports go elsewhere.
class Form1Test : public ::testing::Test, protected SweepFolders {
protected:
    // Creates and shows the window, which opens the start folder.
    void openWindow(std::vector<Drive> drives = {{"/", "root"}}) {
        form = std::make_unique<Form1>(
            Form1Setup{fileSystem, clock, reports.path(), startFolder, std::move(drives), 0});
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    template <typename T>
    T* control(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* button) {
        QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
    }
    // Clicks Find Cheaters and waits until the completion message has been answered.
    void findCheaters() {
        const std::size_t seen = answerer.seen.size();
        click("Command1");
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return answerer.seen.size() > seen && QApplication::activeModalWidget() == nullptr;
        }));
    }

    std::filesystem::path startFolder = logs.path();
    ModalAnswerer answerer;
    std::unique_ptr<Form1> form;
};
