#pragma once

#include "scheduler/PowerControl.h"

// Powers off through logind: PowerOff(false), so no password prompt ever waits on a
// machine nobody watches; a refusal comes back as the reason. The call is asynchronous: a
// slow or silent logind never holds up the thread that asked.
class LogindPowerControl final : public PowerControl {
public:
    // How long the request may take before it counts as unanswered.
    static constexpr int ReplyTimeoutMs = 10000;

    explicit LogindPowerControl(int replyTimeoutMs = ReplyTimeoutMs)
        : m_replyTimeoutMs(replyTimeoutMs) {}

    void powerOff(Answer answer) override;

private:
    int m_replyTimeoutMs;
};
