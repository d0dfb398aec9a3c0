#include "TestSupport.h"

#include "NoCrtLib/Sha1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring DigestText(Sha1& sha)
{
    return W(Sha1HexText(sha.Final()).str());
}

std::wstring DigestInOneUpdate(const std::string& message)
{
    Sha1 sha;
    sha.Update(message.data(), message.size());
    return DigestText(sha);
}

std::wstring DigestByteByByte(const std::string& message)
{
    Sha1 sha;
    for (char c : message)
        sha.Update(&c, 1);
    return DigestText(sha);
}

std::string Utf16LeBytes(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char((c >> 8) & 0xFF);
    }
    return bytes;
}

struct DigestCase {
    const char* name;
    std::string message;
    const wchar_t* digest;
};

// The FIPS 180-1 vectors, the empty message, and lengths around the point where the length
// field no longer fits the last block (55/56 bytes) and around whole blocks.
const DigestCase DigestCases[] = {
    {"abc", "abc", L"A9993E364706816ABA3E25717850C26C9CD0D89D"},
    {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     L"84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
    {"empty", "", L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
    {"55 a", std::string(55, 'a'), L"C1C8BBDC22796E28C0E15163D20899B65621D65A"},
    {"56 a", std::string(56, 'a'), L"C2DB330F6083854C99D4B5BFB6E8F29F201BE699"},
    {"63 a", std::string(63, 'a'), L"03F09F5B158A7A8CDAD920BDDC29B81C18A551F5"},
    {"64 a", std::string(64, 'a'), L"0098BA824B5C16427BD7A1122A5A442A25EC644D"},
    {"65 a", std::string(65, 'a'), L"11655326C708D70319BE2610E8A57D9A5B959D3B"},
    {"119 a", std::string(119, 'a'), L"EE971065AAA017E0632A8CA6C77BB3BF8B1DFC56"},
    {"120 a", std::string(120, 'a'), L"F34C1488385346A55709BA056DDD08280DD4C6D6"},
};

const std::wstring LsaKeyPath = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Lsa";
const std::wstring PackagesValueName = L"Authentication Packages";
const wchar_t LsaPackagesDigest[] = L"12F9E91B82D88DA30AA7EAFCBBE80937168443EB";

}  // namespace

TEST(Sha1, KnownMessagesGiveTheirDigestsWholeAndByteByByte)
{
    for (const DigestCase& c : DigestCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DigestInOneUpdate(c.message), c.digest);
        EXPECT_EQ(DigestByteByByte(c.message), c.digest);
    }
}

TEST(Sha1, MillionLettersInUnevenPiecesCrossBlockBoundaries)
{
    const std::string letters(1000, 'a');
    const size_t pieceSizes[] = {1, 63, 64, 65, 127, 3, 1000, 200};
    Sha1 sha;
    size_t fed = 0;
    for (size_t i = 0; fed < 1000000; ++i) {
        size_t piece = pieceSizes[i % (sizeof(pieceSizes) / sizeof(pieceSizes[0]))];
        if (piece > 1000000 - fed)
            piece = 1000000 - fed;
        sha.Update(letters.data(), piece);
        fed += piece;
    }
    EXPECT_EQ(DigestText(sha), L"34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Sha1, FinalStartsANewMessage)
{
    Sha1 sha;
    sha.Update("xyz", 3);
    sha.Final();
    sha.Update("abc", 3);
    EXPECT_EQ(DigestText(sha), L"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(DigestText(sha), L"DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
}

TEST(Sha1, GuardNameInputIsStableAcrossPiecesAndSensitiveToCase)
{
    const std::string keyPath = Utf16LeBytes(LsaKeyPath);
    const std::string valueName = Utf16LeBytes(PackagesValueName);
    ASSERT_EQ(keyPath.size() + valueName.size(), 128u);

    Sha1 twoPieces;
    twoPieces.Update(keyPath.data(), keyPath.size());
    twoPieces.Update(valueName.data(), valueName.size());
    EXPECT_EQ(DigestText(twoPieces), LsaPackagesDigest);
    EXPECT_EQ(DigestInOneUpdate(keyPath + valueName), LsaPackagesDigest);

    std::wstring lowerCaseLetter = PackagesValueName;
    lowerCaseLetter[0] = L'a';
    EXPECT_NE(DigestInOneUpdate(keyPath + Utf16LeBytes(lowerCaseLetter)), LsaPackagesDigest);
}
