#pragma once
// DES (FIPS 46) for the RFB password challenge, and the VNC authentication answer built on it. The
// viewer carries its own cipher: no crypto library is linked.

#include <array>
#include <cstdint>
#include <string>

namespace dova {

// One DES key schedule. Each object is private to its user, so viewers authenticating at the same
// time on their own connect threads never share one.
class CDes {
public:
    // key: 8 bytes, the low bit of every byte being the (ignored) parity bit, as FIPS 46 numbers them.
    explicit CDes(const uint8_t* key);
    ~CDes();

    void EncryptBlock(const uint8_t* in, uint8_t* out) const;

private:
    std::array<uint64_t, 16> SubKeys{}; // 48-bit round keys
};

inline constexpr size_t VncChallengeSize = 16;

// Answers a VNC authentication challenge in place: the key is the first 8 bytes of the password
// (zero padded), the bit order of every key byte mirrored, and the two 8-byte halves are encrypted
// as independent ECB blocks.
void VncEncryptChallenge(uint8_t* challenge, const std::string& password);

} // namespace dova
