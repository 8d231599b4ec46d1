#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <vector>

#include "presenter/sweep_view.h"

// What a run shows, as signals: sent from the thread that sweeps, taken on the window's thread
// through queued connections, in the order they were sent.
class SweepSignals : public QObject, public vesk::SweepView {
    Q_OBJECT

public:
    explicit SweepSignals(QObject* parent);

    void showFiles(const std::filesystem::path& folder,
                   const std::vector<std::filesystem::path>& names) override;
    void setFindEnabled(bool enabled) override;
    void setProgressValue(float value) override;
    void showCompletion(const std::string& text, const std::string& title) override;

signals:
    void filesListed(const std::filesystem::path& folder,
                     const std::vector<std::filesystem::path>& names);
    void findEnabledChanged(bool enabled);
    void progressChanged(float value);
    void completed(const QString& text, const QString& title);
};
