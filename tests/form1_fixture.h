#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "file_system.h"
#include "form1.h"
#include "modal_answerer.h"
#include "recording_view.h"
#include "temp_folder.h"

class QWidget;

// Counts the logs the window's run opens and notes what the window showed at that moment.
class WatchedFileSystem final : public vesk::FileSystem {
public:
    std::function<void()> onOpenLog;

    std::unique_ptr<vesk::OutputFile> createReport(const std::filesystem::path& path,
                                                   std::error_code& ec) override {
        return real_->createReport(path, ec);
    }
    std::unique_ptr<vesk::InputFile> openLog(const std::filesystem::path& path,
                                             std::error_code& ec) override {
        if (onOpenLog) {
            onOpenLog();
        }
        return real_->openLog(path, ec);
    }
    std::unique_ptr<vesk::NameEnumeration> findLogs(const std::filesystem::path& directory,
                                                    std::error_code& ec) override {
        return real_->findLogs(directory, ec);
    }
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& directory,
                                                 std::error_code& ec) override {
        return real_->listFiles(directory, ec);
    }

private:
    std::unique_ptr<vesk::FileSystem> real_ = vesk::makeNativeFileSystem();
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
