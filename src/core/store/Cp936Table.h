#pragma once

// Code page 936 as Windows decodes it: glibc's CP936 plus the user-defined areas in the
// Private Use Area. The table is generated (scripts/gen_cp936_table.py).
namespace Cp936 {

constexpr int kLeadCount = 0xFE - 0x81 + 1;
constexpr int kTrailCount = 0xFE - 0x40 + 1;

extern const char16_t kSingle0x80;
extern const char16_t kDouble[kLeadCount * kTrailCount];

inline bool isLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
inline bool isTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}
// The character of a lead and trail byte pair, or 0 when the pair is undefined.
inline char16_t pair(unsigned char lead, unsigned char trail) {
    return kDouble[(lead - 0x81) * kTrailCount + (trail - 0x40)];
}

} // namespace Cp936
