#include "shell/LinkFault.h"

#include <QtGlobal>

#include <csignal>
#include <utility>

namespace vk {

namespace {

using w2w::CyclePoint;

constexpr std::pair<QStringView, CyclePoint> kPointNames[] = {
    {u"after-record", CyclePoint::AfterRecord},
    {u"after-delete", CyclePoint::AfterDelete},
    {u"after-save", CyclePoint::AfterSave},
    {u"after-commit", CyclePoint::AfterCommit},
    {u"answer-written", CyclePoint::AnswerWritten},
    {u"answer-noted", CyclePoint::AnswerNoted},
    {u"after-acknowledgement", CyclePoint::AfterAcknowledgement},
};

}  // namespace

std::optional<CyclePoint> cyclePointNamed(QStringView name) {
    for (const auto& [pointName, point] : kPointNames) {
        if (name == pointName) {
            return point;
        }
    }
    return std::nullopt;
}

std::function<void(CyclePoint)> faultPointFromEnvironment() {
    const std::optional<CyclePoint> fault = cyclePointNamed(qEnvironmentVariable("VELORA_LINK_FAULT"));
    if (!fault) {
        return {};
    }
    return [fault = *fault](CyclePoint reached) {
        if (reached == fault) {
            ::raise(SIGKILL);
        }
    };
}

}  // namespace vk
