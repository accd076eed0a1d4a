#pragma once
// The keyed text transformation behind Encrypt and Decrypt, for hosts that keep passwords: the
// engine's DES block cipher in 64-bit cipher-feedback mode (each block of the data is combined with
// the encryption of the block before it, so only the cipher's encrypting direction is needed and
// the data needs no padding). The result of Encrypt is upper-case hexadecimal text.

#include <QString>

namespace dova {

// Keys shorter than this give no transformation.
inline constexpr int CipherKeyLength = 8;

// Data and key are taken as UTF-8; the key's first 8 bytes (zero-padded) form the DES key.
bool EncryptText(const QString& data, const QString& key, QString& out);
// Inverse of EncryptText under the same key; false for text that is not hexadecimal.
bool DecryptText(const QString& data, const QString& key, QString& out);

} // namespace dova
