#pragma once

#include <span>
#include <string_view>

#include "engine/part_findings.h"
#include "report/report_file.h"

namespace vesk {

// The report as the place where parts are joined, and where a scanner reads straight into.
class ReportTarget final : public JoinTarget {
public:
    explicit ReportTarget(ReportFile& report) : report_(report) {}
    void write(std::string_view piece) override { report_.write(piece); }
    void endLine() override { report_.endLine(); }
    void join(const PartFindings& part, const PartFindings* ending, bool firstPasses,
              std::span<char> buffer) override {
        if (firstPasses) {
            report_.write(part.first, buffer);
            if (ending != nullptr) {
                report_.write(ending->first, buffer);
            }
            if ((ending != nullptr ? *ending : part).firstSeen) {
                report_.endLine();
            }
        }
        report_.write(part.rest, buffer, part.restLines);
        if (ending != nullptr) {
            report_.write(ending->rest, buffer, ending->restLines);
        }
    }

private:
    ReportFile& report_;
};

}  // namespace vesk
