#include "TextCipher.h"

#include "engine/Des.h"

#include <QByteArray>

#include <array>
#include <cctype>

namespace dova {

namespace {
constexpr int BlockSize = 8;

std::array<uint8_t, BlockSize> KeyBytes(const QString& key) {
    std::array<uint8_t, BlockSize> bytes{};
    const QByteArray raw = key.toUtf8();
    for (int i = 0; i < BlockSize && i < raw.size(); ++i)
        bytes[size_t(i)] = uint8_t(raw[i]);
    return bytes;
}

// Cipher feedback: out = in XOR E(previous cipher block); the first block feeds on zeros.
QByteArray Feedback(const QByteArray& in, const QString& key, bool decrypting) {
    const auto keyBytes = KeyBytes(key);
    const CDes cipher(keyBytes.data());
    std::array<uint8_t, BlockSize> feed{}, stream{};
    QByteArray out(in.size(), '\0');
    for (qsizetype at = 0; at < in.size(); at += BlockSize) {
        cipher.EncryptBlock(feed.data(), stream.data());
        const qsizetype n = std::min<qsizetype>(BlockSize, in.size() - at);
        for (qsizetype i = 0; i < n; ++i) {
            const uint8_t plainOrCipher = uint8_t(in[at + i]);
            const uint8_t result = plainOrCipher ^ stream[size_t(i)];
            out[at + i] = char(result);
            feed[size_t(i)] = decrypting ? plainOrCipher : result;
        }
    }
    return out;
}
} // namespace

bool EncryptText(const QString& data, const QString& key, QString& out) {
    if (key.size() < CipherKeyLength) {
        out = data;
        return true;
    }
    out = QString::fromLatin1(Feedback(data.toUtf8(), key, false).toHex().toUpper());
    return true;
}

bool DecryptText(const QString& data, const QString& key, QString& out) {
    if (key.size() < CipherKeyLength) {
        out = data;
        return true;
    }
    const QByteArray hex = data.toLatin1();
    if (hex.size() % 2 != 0)
        return false;
    for (char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    out = QString::fromUtf8(Feedback(QByteArray::fromHex(hex), key, true));
    return true;
}

} // namespace dova
