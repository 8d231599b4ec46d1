#include "engine/part_findings.h"

namespace vesk {

void PartFindings::endLine() {
    if (!firstSeen) {
        firstSeen = true;
        return;
    }
    rest.append("\r\n");
    ++restLines;
}

void PartFindings::writeInto(ReportFile& report, bool flagBefore, std::span<char> buffer) const {
    if (firstSeen && flagBefore) {
        report.write(first, buffer);
        report.endLine();
    }
    report.write(rest, buffer, restLines);
}

}  // namespace vesk
