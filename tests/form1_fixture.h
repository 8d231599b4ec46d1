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

// Calls back as the window's run opens each log, to note what the window showed then.
class WatchedFileSystem final : public ForwardingFileSystem {
public:
    std::function<void()> onOpenLog;

    std::unique_ptr<vesk::InputFile> openLog(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        if (onOpenLog) {
            onOpenLog();
        }
        return ForwardingFileSystem::openLog(path, ec);
    }
};

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
    FixedClock clock{{2001, 7, 10}};
    WatchedFileSystem fileSystem;
    ModalAnswerer answerer;
    std::unique_ptr<Form1> form;
};
