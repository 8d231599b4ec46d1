#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "form1.h"
#include "forwarding_file_system.h"
#include "modal_answerer.h"
#include "recording_view.h"
#include "temp_folder.h"

class QWidget;

// A Form1 over temporary folders: logs are the start folder, reports go elsewhere.
class Form1Test : public ::testing::Test {
protected:
    void TearDown() override;

    // Creates and shows the window, which opens the start folder.
    void openWindow(std::vector<Drive> drives = {});
    template <typename T>
    T* control(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* button);
    std::string report() const;

    TempFolder logs;
    TempFolder reports;
    std::filesystem::path startFolder = logs.path();
    FixedClock clock{{2001, 7, 10}};
    ForwardingFileSystem fileSystem;
    ModalAnswerer answerer;
    std::unique_ptr<Form1> form;
};
