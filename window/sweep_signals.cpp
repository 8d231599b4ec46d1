#include "sweep_signals.h"

SweepSignals::SweepSignals(QObject* parent) : QObject(parent) {}

void SweepSignals::showFiles(const std::filesystem::path& folder,
                             const std::vector<std::filesystem::path>& names) {
    emit filesListed(folder, names);
}

void SweepSignals::setFindEnabled(bool enabled) {
    emit findEnabledChanged(enabled);
}

void SweepSignals::setProgressValue(float value) {
    emit progressChanged(value);
}

void SweepSignals::showCompletion(const std::string& text, const std::string& title) {
    emit completed(QString::fromUtf8(text.c_str()), QString::fromUtf8(title.c_str()));
}
