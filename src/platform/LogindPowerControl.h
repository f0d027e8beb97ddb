#pragma once

#include "scheduler/PowerControl.h"

// Powers off through logind: PowerOff(false), so no password prompt ever waits on a
// machine nobody watches; a refusal comes back as the reason.
class LogindPowerControl final : public PowerControl {
public:
    // How long the request may take before it counts as unanswered.
    static constexpr int ReplyTimeoutMs = 10000;

    bool powerOff(QString *error) override;
};
