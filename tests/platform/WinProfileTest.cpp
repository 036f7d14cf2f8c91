#include "platform/WinProfile.h"
#include "platform/WinSync.h"

#include "tests/support/TestFiles.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace
{
class WinProfileTest : public CTempDriveTest
{
protected:
    WinProfileTest() : CTempDriveTest("dlsw-profile") {}

    // Writes the file whole under C:\ and answers its Windows path.
    std::string Write(const std::string& sName, const std::string& sText, long long llMTime = 0)
    {
        const std::filesystem::path p = m_root / sName;
        const std::string sTemp = p.string() + ".new";
        std::ofstream(sTemp, std::ios::binary) << sText;
        if (llMTime != 0)
        {
            const struct timespec times[2] = {{llMTime, 0}, {llMTime, 0}};
            utimensat(AT_FDCWD, sTemp.c_str(), times, 0);
        }
        std::filesystem::rename(sTemp, p);
        return "C:\\" + sName;
    }

    struct CAnswer
    {
        std::string m_sValue; // the buffer up to its first NUL
        DWORD m_dwReturned;
        DWORD m_dwError;
    };
    static CAnswer Read(const char* pszSection, const char* pszKey, const char* pszDefault,
                        const std::string& sFile, DWORD nSize = 2048)
    {
        std::vector<char> buffer(nSize + 1, '@');
        SetLastError(0x1234);
        const DWORD dw =
            GetPrivateProfileStringA(pszSection, pszKey, pszDefault, buffer.data(), nSize, sFile.c_str());
        return {std::string(buffer.data()), dw, GetLastError()};
    }
};

const char* const PROFILE = "; a comment line\n"
                            "[Alpha]\n"
                            "  Key1 =  value one  \n"
                            "KEY2=\"  quoted  \"\n"
                            "key3='single'\n"
                            "key4=\"unbalanced\n"
                            "key5=\"\"\n"
                            "Dup=first\n"
                            "Dup=second\n"
                            "NoEquals\n"
                            "empty=\n"
                            "inner=a=b ; not a comment\n"
                            "[alpha]\n"
                            "Key1=later section\n"
                            "Only=in the later section\n"
                            "[ Spaced ]\n"
                            "k=v\n"
                            "[Broken\n"
                            "x=1\n";
} // namespace

TEST_F(WinProfileTest, ValuesFollowTheProfileRules)
{
    const std::string sFile = Write("rules.ini", PROFILE);
    const struct
    {
        const char* pszSection;
        const char* pszKey;
        const char* pszDefault;
        const char* pszExpected;
        DWORD dwError;
    } cases[] = {
        {"Alpha", "Key1", "d", "value one", 0},                // blanks around names and values go
        {"ALPHA", "key1", "d", "value one", 0},                // sections and keys ignore case
        {"Alpha", "KEY2", "d", "  quoted  ", 0},               // quotes go, blanks inside them stay
        {"Alpha", "key3", "d", "single", 0},                   // single quotes too
        {"Alpha", "key4", "d", "\"unbalanced", 0},             // one quote is part of the value
        {"Alpha", "key5", "d", "", 0},                         // an empty quoted value is a value
        {"Alpha", "Dup", "d", "first", 0},                     // the first key of a name
        {"Alpha", "NoEquals", "d", "d", ERROR_FILE_NOT_FOUND}, // a line without "=" gives no value
        {"Alpha", "empty", "d", "", 0},                        // present and empty: not the default
        {"Alpha", "inner", "d", "a=b ; not a comment", 0},     // only the first "=" splits
        {"Alpha", "Only", "d", "d", ERROR_FILE_NOT_FOUND},     // the later section of the name is not read
        {"Spaced", "k", "d", "v", 0},                          // blanks inside brackets go
        {"Spaced", "x", "d", "1", 0},                          // a header without "]" is no header
        {"Missing", "Key1", " kept  \"as is\" ", " kept  \"as is\" ",
         ERROR_FILE_NOT_FOUND},                                  // default verbatim
        {"Alpha", "Missing", nullptr, "", ERROR_FILE_NOT_FOUND}, // a null default reads as empty
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszSection) + "/" + c.pszKey);
        const CAnswer answer = Read(c.pszSection, c.pszKey, c.pszDefault, sFile);
        EXPECT_EQ(answer.m_sValue, c.pszExpected);
        EXPECT_EQ(answer.m_dwReturned, std::strlen(c.pszExpected));
        EXPECT_EQ(answer.m_dwError, c.dwError);
    }
}

TEST_F(WinProfileTest, TruncationAnswersAsWindowsDoes)
{
    const std::string sFile = Write("rules.ini", PROFILE);
    const struct
    {
        const char* pszKey;
        DWORD nSize;
        const char* pszExpected;
        DWORD dwReturned;
    } cases[] = {
        {"Key1", 10, "value one", 9}, // fits with its NUL
        {"Key1", 9, "value on", 8},   // one short: cut, nSize - 1
        {"Key1", 1, "", 0},
        {"Missing", 4, "def", 3}, // the default is cut the same way
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.pszKey) + " in " + std::to_string(c.nSize));
        const CAnswer answer = Read("Alpha", c.pszKey, "default", sFile, c.nSize);
        EXPECT_EQ(answer.m_sValue, c.pszExpected);
        EXPECT_EQ(answer.m_dwReturned, c.dwReturned);
    }
    char ch = '@';
    EXPECT_EQ(GetPrivateProfileStringA("Alpha", "Key1", "d", &ch, 0, sFile.c_str()), 0u);
    EXPECT_EQ(ch, '@'); // no room: nothing is written
    EXPECT_EQ(GetPrivateProfileStringA("Alpha", "Key1", "d", nullptr, 10, sFile.c_str()), 0u);
}

TEST_F(WinProfileTest, MissingFileGivesTheDefault)
{
    for (const char* pszFile : {"C:\\nowhere.ini", "C:\\no\\such\\dir\\x.ini", "Q:\\unmapped.ini", ""})
    {
        SCOPED_TRACE(pszFile);
        const CAnswer answer = Read("Alpha", "Key1", "fallback", pszFile);
        EXPECT_EQ(answer.m_sValue, "fallback");
        EXPECT_EQ(answer.m_dwReturned, 8u);
        EXPECT_EQ(answer.m_dwError, ERROR_FILE_NOT_FOUND);
    }
    std::filesystem::create_directories(m_root / "adir.ini");
    EXPECT_EQ(Read("Alpha", "Key1", "fallback", "C:\\adir.ini").m_sValue, "fallback");
}

TEST_F(WinProfileTest, NameListsForNullSectionOrKey)
{
    const std::string sFile = Write("rules.ini", PROFILE);
    char buffer[256];
    DWORD dw = GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, sizeof(buffer), sFile.c_str());
    EXPECT_EQ(std::string(buffer, dw), std::string("Alpha\0Spaced\0", 13));
    EXPECT_EQ(buffer[dw], '\0');

    dw = GetPrivateProfileStringA("alpha", nullptr, "d", buffer, sizeof(buffer), sFile.c_str());
    const char szKeys[] = "Key1\0KEY2\0key3\0key4\0key5\0Dup\0NoEquals\0empty\0inner\0";
    EXPECT_EQ(std::string(buffer, dw + 1), std::string(szKeys, sizeof(szKeys))); // with the closing NUL

    // Cut short: the list ends with two NULs and answers nSize - 2.
    std::memset(buffer, '@', sizeof(buffer));
    dw = GetPrivateProfileStringA(nullptr, nullptr, "d", buffer, 9, sFile.c_str());
    EXPECT_EQ(dw, 7u);
    EXPECT_EQ(std::string(buffer, 9), std::string("Alpha\0S\0\0", 9));

    dw = GetPrivateProfileStringA("Missing", nullptr, "d", buffer, sizeof(buffer), sFile.c_str());
    EXPECT_EQ(dw, 0u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '\0');
}

TEST_F(WinProfileTest, ByteOrderMarkLineEndsAndNuls)
{
    const char szText[] = "\xEF\xBB\xBF[S]\r\nk = v \r\nn=a\0b\r\n";
    const std::string sFile = Write("bom.ini", std::string(szText, sizeof(szText) - 1));
    EXPECT_EQ(Read("S", "k", "d", sFile).m_sValue, "v");
    const CAnswer answer = Read("S", "n", "d", sFile);
    EXPECT_EQ(answer.m_sValue, "a"); // a value ends at a NUL: its length is what the caller can read
    EXPECT_EQ(answer.m_dwReturned, 1u);
}

TEST_F(WinProfileTest, RewrittenFileIsReadAgain)
{
    // Same size, same last-write time: still another file.
    std::string sFile = Write("same.ini", "[S]\nk=1\n", 1700000000);
    EXPECT_EQ(Read("S", "k", "d", sFile).m_sValue, "1");
    sFile = Write("same.ini", "[S]\nk=2\n", 1700000000);
    EXPECT_EQ(Read("S", "k", "d", sFile).m_sValue, "2");
    // Another file of the same content answers from its own.
    const std::string sOther = Write("other.ini", "[S]\nk=3\n", 1700000000);
    EXPECT_EQ(Read("S", "k", "d", sOther).m_sValue, "3");
    EXPECT_EQ(Read("S", "k", "d", sFile).m_sValue, "2");
    // Rewritten in place at once: same file, same size, likely the same times.
    for (const char* pszValue : {"4", "5", "6"})
    {
        std::ofstream(m_root / "same.ini", std::ios::binary | std::ios::trunc)
            << "[S]\nk=" << pszValue << "\n";
        EXPECT_EQ(Read("S", "k", "d", sFile).m_sValue, pszValue);
    }
}

TEST_F(WinProfileTest, OversizedFileIsNoProfile)
{
    std::string sText = "[S]\nk=v\n";
    sText.append(size_t{1} << 20, ';');
    const std::string sFile = Write("huge.ini", sText);
    const CAnswer answer = Read("S", "k", "d", sFile);
    EXPECT_EQ(answer.m_sValue, "d");
    EXPECT_NE(answer.m_dwError, 0u);
}
