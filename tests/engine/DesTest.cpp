#include "engine/Des.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

using namespace dova;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> Encrypt(const std::string& keyHex, const std::string& plainHex) {
    const auto key = FromHex(keyHex);
    const auto plain = FromHex(plainHex);
    std::vector<uint8_t> out(8);
    CDes(key.data()).EncryptBlock(plain.data(), out.data());
    return out;
}

struct AuthVector {
    std::string Password;
    std::vector<uint8_t> Challenge;
    std::vector<uint8_t> Response;
    int Line;
};

// The answers were computed with an independent DES; the file is kept beside the tests.
std::vector<AuthVector> LoadAuthVectors() {
    std::ifstream in(LATIS_TEST_DATA_DIR "/vnc-auth-vectors.txt");
    std::vector<AuthVector> out;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        const size_t close = line.find('"', 1);
        AuthVector v;
        v.Password = line.substr(1, close - 1);
        v.Line = number;
        std::istringstream rest(line.substr(close + 1));
        std::string challenge, response, comment;
        rest >> challenge >> response;
        std::getline(rest, comment);
        if (comment.find("hex bytes") != std::string::npos) {
            const auto raw = FromHex(v.Password);
            v.Password.assign(raw.begin(), raw.end());
        }
        v.Challenge = FromHex(challenge);
        v.Response = FromHex(response);
        out.push_back(v);
    }
    return out;
}

} // namespace

TEST(Des, PublishedKnownAnswers) {
    EXPECT_EQ(Encrypt("133457799bbcdff1", "0123456789abcdef"), FromHex("85e813540f0ab405"));
    EXPECT_EQ(Encrypt("0123456789abcdef", "4e6f772069732074"), FromHex("3fa40e8a984d4815"));
    // Parity bits (the low bit of each key byte) take no part in the cipher.
    EXPECT_EQ(Encrypt("0123456789abcdef", "4e6f772069732074"),
              Encrypt("0022446688aaccee", "4e6f772069732074"));
}

TEST(VncAuthentication, AnswersMatchIndependentVectors) {
    const auto vectors = LoadAuthVectors();
    ASSERT_GE(vectors.size(), 14u) << "vector file missing or unreadable";
    for (const auto& v : vectors) {
        ASSERT_EQ(v.Challenge.size(), VncChallengeSize) << "line " << v.Line;
        std::vector<uint8_t> answer = v.Challenge;
        VncEncryptChallenge(answer.data(), v.Password);
        EXPECT_EQ(answer, v.Response) << "line " << v.Line << " password \"" << v.Password << "\"";
    }
}

TEST(VncAuthentication, KeyIsFirstEightBytesZeroPadded) {
    std::vector<uint8_t> challenge(16);
    for (size_t i = 0; i < challenge.size(); ++i)
        challenge[i] = uint8_t(i * 37 + 5);
    auto answerFor = [&](const std::string& password) {
        auto c = challenge;
        VncEncryptChallenge(c.data(), password);
        return c;
    };
    EXPECT_EQ(answerFor("0123456789"), answerFor("01234567"));
    EXPECT_EQ(answerFor(std::string("abc\0\0\0\0\0", 8)), answerFor("abc"));
    EXPECT_NE(answerFor("abc"), answerFor("abd"));
    // The two halves are independent ECB blocks.
    auto doubled = challenge;
    std::copy(challenge.begin(), challenge.begin() + 8, doubled.begin() + 8);
    VncEncryptChallenge(doubled.data(), "abc");
    EXPECT_TRUE(std::equal(doubled.begin(), doubled.begin() + 8, doubled.begin() + 8));
}
