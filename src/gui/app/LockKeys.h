#pragma once

// Caps Lock and Num Lock as the display server reports them; both off where it cannot tell.
namespace LockKeys {
struct State {
    bool capsLock = false;
    bool numLock = false;
};
State query();
} // namespace LockKeys
