#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form1.h"
#include "sweep_fixture.h"
#include "temp_folder.h"

// Answers the message boxes a test brings up, keeping what each one said.
class ModalAnswerer : public QObject {
    Q_OBJECT

public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };

    ModalAnswerer();

    QMessageBox::StandardButton answer = QMessageBox::Ok;
    bool answerWithEnter = false;  // as a person at the keyboard would, instead of clicking
    std::function<void(const Seen&)> onShown;  // while the box is still up
    std::vector<Seen> seen;

private:
    void answerBox();

    QTimer timer_;
};

// A Form1 over temporary folders: logs are the start folder, reports go elsewhere.
class Form1Test : public ::testing::Test, protected SweepFolders {
protected:
    void TearDown() override { form.reset(); }
    // Creates and shows the window, which opens the start folder.
    void openWindow(std::vector<Drive> drives = {});
    template <typename T>
    T* control(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* button);

    std::filesystem::path startFolder = logs.path();
    ModalAnswerer answerer;
    std::unique_ptr<Form1> form;
};
