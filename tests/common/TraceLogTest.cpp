#include "common/TraceLog.h"
#include "common/Sync.h"
#include "common/TraceText.h"
#include "platform/MachineConfig.h"
#include "platform/WinFile.h"
#include "platform/WinFileMapping.h"
#include "platform/WinTime.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MappedSection.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
DWORD FixedThreadId()
{
    return 0x1A2B;
}

std::vector<std::string> g_lines;
void CaptureLine(const char* pszLine)
{
    g_lines.emplace_back(pszLine);
}
void ThrowingSink(const char*)
{
    throw std::runtime_error("sink failed");
}

std::vector<std::pair<DWORD, std::string>> g_events;
void CaptureEvent(DWORD dwType, const char* pszText)
{
    g_events.emplace_back(dwType, pszText);
}

// Time stamp of every line: 2024/02/29 23:59:58.250, thread 1A2B.
const std::string PREFIX = "\r\n2024/02/29 23:59:58.250 1A2B ";

std::string Header(int nWrite, int nHigh, int nWrap, int nSize)
{
    std::string s = std::to_string(nWrite) + ", " + std::to_string(nHigh) + ", " + std::to_string(nWrap) +
                    ", " + std::to_string(nSize);
    s.resize(100, ' ');
    return s;
}

class TraceLogTest : public CTempDriveTest
{
protected:
    TraceLogTest() : CTempDriveTest("dlsw-trace") {}

    void SetUp() override
    {
        CTempDriveTest::SetUp();
        m_sLogName = "trace-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        m_sSectionName = "Global\\" + m_sLogName;
        DeleteNamedFileMapping(m_sSectionName.c_str());

        ResetTraceLogState();
        ASSERT_TRUE(m_clock.Set(SYSTEMTIME{2024, 2, 4, 29, 23, 59, 58, 250}));
        SetLocalTimeBias(0);
        SetThreadIdSource(&FixedThreadId);
        SetTraceLogPath(("C:\\" + m_sLogName).c_str());
        SetTraceLogLock(&m_lock);
        SetTraceMask(TRACE_MASK_ON);
        g_lines.clear();
        g_events.clear();
    }

    void TearDown() override
    {
        ResetTraceLogState();
        DeleteNamedFileMapping(m_sSectionName.c_str());
        SetThreadIdSource(nullptr);
        ClearLocalTimeBias();
        CTempDriveTest::TearDown();
    }

    // The section as another process sees it.
    std::string ReadSection(size_t nBytes)
    {
        const CMappedSection section = CMappedSection::Open(m_sSectionName, nBytes, FILE_MAP_READ);
        return section.View() != nullptr ? std::string(section.View(), nBytes) : std::string();
    }

    std::filesystem::path LogFile() const { return m_root / m_sLogName; }

    // The section created by another process of the log, before this one writes, and mapped as far as
    // nBytes; nothing is mapped when it was there already.
    CMappedSection CreateSectionAsAnotherProcess(SIZE_T nBytes) const
    {
        bool bCreated = false;
        CMappedSection section(
            OpenTraceSharedMemory(m_sSectionName.c_str(), static_cast<DWORD>(nBytes), bCreated), nBytes);
        return bCreated ? std::move(section) : CMappedSection(nullptr, 0);
    }

    std::string m_sLogName;
    std::string m_sSectionName;
    CCritSec m_lock;
    CFakeClock m_clock;
};
} // namespace

TEST_F(TraceLogTest, TraceFunctionsFormatOnlyWhenTheMaskIsSet)
{
    SetTraceLogFunction(&CaptureLine);
    SetTraceMask(0);
    TraceLog("dropped %d", 1);
    TraceLogError(2, "dropped %d", 2);
    EXPECT_TRUE(g_lines.empty());

    SetTraceMask(TRACE_MASK_ON);
    TraceLog("[CAuthCompleteHelper::ProcessCmd] returned <%d>.", 13);
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "[CAuthCompleteHelper::ProcessCmd] returned <13>.");

    const std::string sLong(5000, 'x');
    TraceLog("%s", sLong.c_str());
    EXPECT_EQ(g_lines.back(), std::string(2047, 'x'));

    SetTraceLogFunction(nullptr);
    TraceLog("no sink");
    SetTraceLogFunction(&ThrowingSink);
    TraceLog("a throwing sink does not reach the caller");
    TraceLogError(5, "nor here");
    EXPECT_EQ(g_lines.size(), 2u);
}

// Lines traced before the log is set up (the mask still 0) wait for it, within a bound; a log the
// settings leave off never gets them.
TEST_F(TraceLogTest, LinesTracedBeforeTheLogIsSetUpReachItOnceItIs)
{
    SetTraceLogFunction(&CaptureLine);
    const std::string sDropped = " trace lines written before the log was set up were dropped: only the "
                                 "first 256 lines or 65536 bytes "
                                 "are kept";
    struct Case
    {
        const char* m_pszName;
        size_t m_nLines;
        size_t m_nLength; // of each line
        DWORD m_dwMaskAfter;
        bool m_bErrors; // every other line through TraceLogError
        size_t m_nKept;
        size_t m_nDropped;
    };
    const std::vector<Case> cases = {
        {"a few lines", 3, 20, TRACE_MASK_ON, true, 3, 0},
        {"more lines than the bound", 300, 20, TRACE_MASK_ON, true, 256, 44},
        {"more bytes than the bound", 40, 2000, TRACE_MASK_ON, false, 32, 8},
        {"the settings switch tracing off", 3, 20, 0, true, 0, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszName);
        g_lines.clear();
        SetTraceMask(0);
        TraceLog("before the holding: lost");
        HoldEarlyTraceLines();
        for (size_t i = 0; i < c.m_nLines; ++i)
        {
            std::string sText = std::to_string(i) + ":";
            sText.resize(c.m_nLength, 'a');
            if (!c.m_bErrors || i % 2 == 0)
                TraceLog("%s", sText.c_str());
            else
                TraceLogError(ERROR_FILE_NOT_FOUND, "%s", sText.c_str());
        }
        EXPECT_TRUE(g_lines.empty()) << "nothing is written while the log is not set up";
        SetTraceMask(c.m_dwMaskAfter);
        ReleaseEarlyTraceLines();
        const size_t nExpected = c.m_nKept + (c.m_nDropped != 0 ? 1 : 0);
        ASSERT_EQ(g_lines.size(), nExpected);
        for (size_t i = 0; i < c.m_nKept; ++i)
        {
            // Each line as it was traced: a TraceLogError line keeps the system's text.
            EXPECT_EQ(g_lines[i].rfind(std::to_string(i) + ":", 0), 0u) << i;
            EXPECT_EQ(g_lines[i].find("   The system cannot find the file specified.") != std::string::npos,
                      c.m_bErrors && i % 2 == 1)
                << i;
        }
        if (c.m_nDropped != 0)
        {
            EXPECT_EQ(g_lines.back(), std::to_string(c.m_nDropped) + sDropped);
        }

        // The holding has ended: a second release writes nothing, and later lines go straight through.
        g_lines.clear();
        ReleaseEarlyTraceLines();
        SetTraceMask(0);
        TraceLog("after the release, with the log off: lost");
        SetTraceMask(TRACE_MASK_ON);
        TraceLog("after the release");
        EXPECT_EQ(g_lines, std::vector<std::string>{"after the release"});
    }
}

TEST_F(TraceLogTest, TraceLogErrorAppendsTheSystemTextOnOneLine)
{
    SetTraceLogFunction(&CaptureLine);
    TraceLogError(2, "GetFileDate %s", "C:\\x.xml");
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "GetFileDate C:\\x.xml   The system cannot find the file specified.  ");
    TraceLogError(0x80070057u, "x");
    EXPECT_EQ(g_lines.back(), "x   The parameter is incorrect.  ");
    TraceLogError(0x12345678u, "unknown");
    EXPECT_EQ(g_lines.back(), "unknown   ");
    const std::string sLong(1000, 'm');
    TraceLogError(2, "%s", sLong.c_str());
    EXPECT_EQ(g_lines.back(), std::string(511, 'm') + "   The system cannot find the file specified.  ");

    char szSmall[8];
    FormatSystemErrorText(2, szSmall, sizeof(szSmall));
    EXPECT_STREQ(szSmall, "The sys");
    FormatSystemErrorText(2, nullptr, 10); // nothing happens
}

// A value a request brought cannot end its line: its line breaks and other control characters are written
// escaped, while the format's own text keeps its line ends.
TEST_F(TraceLogTest, ControlCharactersOfValuesAreEscaped)
{
    SetTraceLogFunction(&CaptureLine);
    TraceLog("[CAuthCompleteHelper::DetectUserLanguage] User <%s> user lang <%s>.", "al\r\nFAKE EVENT: x",
             "en");
    TraceLog("FIndUser high: %d low: %d\r\n", 1, 2);
    TraceLog("%c%c|%s", '\t', 'a', "\x01\x1F\x7F\xC3\xA9\\n");
    TraceLogError(2, "GetFileDate %s", "C:\\a\nb.xml");
    ASSERT_EQ(g_lines.size(), 4u);
    EXPECT_EQ(g_lines[0],
              "[CAuthCompleteHelper::DetectUserLanguage] User <al\\r\\nFAKE EVENT: x> user lang <en>.");
    EXPECT_EQ(g_lines[1], "FIndUser high: 1 low: 2\r\n");
    EXPECT_EQ(g_lines[2], "\\x09a|\\x01\\x1F\\x7F\xC3\xA9\\n");
    EXPECT_EQ(g_lines[3], "GetFileDate C:\\a\\nb.xml   The system cannot find the file specified.  ");
}

// FormatTraceText into a buffer of nSize bytes: its answer and the text it left.
std::pair<int, std::string> FormatText(size_t nSize, const char* pszFormat, ...)
    __attribute__((format(printf, 2, 3)));
std::pair<int, std::string> FormatText(size_t nSize, const char* pszFormat, ...)
{
    std::string strOut(nSize, '#');
    va_list args;
    va_start(args, pszFormat);
    const int nLength = FormatTraceText(strOut.data(), nSize, pszFormat, args);
    va_end(args);
    return std::make_pair(nLength, std::string(strOut.c_str()));
}

// Once a value holds a control character the line is formatted conversion by conversion: every other
// conversion comes out as printf writes it, and the line is cut as printf cuts it.
TEST(TraceText, EscapedFormattingMatchesPrintf)
{
    const auto [nLength, strText] = FormatText(
        512, "%s|%5s|%-6s|%.3s|%*s|%-*.*s|%d|%-4i|%+05ld|%llu|%zu|%x|%#X|%o|%5.2f|%e|%g|%c|%%|%hhd|%lu",
        "a\nb", "ab", "cd", "efghij", 4, "k", 6, 2, "lmnop", -42, 7, 123456L, 18446744073709551615ull,
        size_t{99}, 255u, 48879u, 8u, 3.14159, 1.5e10, 0.0001, 'z', 300, 4294967295ul);
    const std::string strExpected =
        "a\\nb|   ab|cd    |efg|   k|lm    |-42|7   |+123456|18446744073709551615|99|"
        "ff|0XBEEF|10| 3.14|1.500000e+10|0.0001|z|%|44|4294967295";
    EXPECT_EQ(strText, strExpected);
    EXPECT_EQ(nLength, static_cast<int>(strExpected.size()));
    // Cut like vsnprintf: at most size - 1 characters, the length of the whole text answered.
    const auto [nCut, strCut] = FormatText(6, "%s and more", "x\r\ny");
    EXPECT_EQ(strCut, "x\\r\\n");
    EXPECT_EQ(nCut, 15);
    EXPECT_EQ(EscapeControlCharacters(std::string("a\0b", 3)), "a\\x00b");
    // Every byte at every place of a line, among bytes that are none: only the control characters are
    // escaped, the others (UTF-8's included) stand.
    for (unsigned nByte = 1; nByte < 256; ++nByte)
    {
        for (size_t nPlace = 0; nPlace < 20; ++nPlace)
        {
            std::string strValue(20, '\xA9');
            strValue[nPlace] = static_cast<char>(nByte);
            const std::string strLine = FormatText(64, "<%s>", strValue.c_str()).second;
            const bool bControl = nByte < 0x20 || nByte == 0x7F;
            EXPECT_EQ(strLine, "<" + (bControl ? EscapeControlCharacters(strValue) : strValue) + ">")
                << nByte << " at " << nPlace;
            EXPECT_EQ(strLine.find_first_of("\r\n"), std::string::npos);
        }
    }
}

TEST_F(TraceLogTest, SinksWriteNothingWithoutTheLogLock)
{
    SetTraceLogLock(nullptr);
    TraceLogToSharedMemory("x");
    TraceLogToFile("x");
    TraceLogToFallbackFile("x");
    FlushTraceLog(true);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, m_sSectionName.c_str()), nullptr);
    EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST_F(TraceLogTest, SizeNoGreaterThanWrapStartDropsEveryLine)
{
    ASSERT_TRUE(SetTraceLogMaxSizeKB(20)); // 20480 bytes, the default wrap start
    EXPECT_EQ(GetTraceLogMaxSize(), 20480);
    TraceLogToSharedMemory("x");
    TraceLogToFile("x");
    FlushTraceLog(true);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, m_sSectionName.c_str()), nullptr);
    EXPECT_FALSE(std::filesystem::exists(LogFile()));
}

TEST_F(TraceLogTest, MaximumSizeFromKilobytes)
{
    EXPECT_TRUE(SetTraceLogMaxSizeKB(512));
    EXPECT_EQ(GetTraceLogMaxSize(), 524288);
    EXPECT_FALSE(SetTraceLogMaxSizeKB(0));
    EXPECT_FALSE(SetTraceLogMaxSizeKB(-4));
    EXPECT_EQ(GetTraceLogMaxSize(), 524288);
    EXPECT_TRUE(SetTraceLogMaxSizeKB(4194304)); // 4 GB does not wrap around
    EXPECT_EQ(GetTraceLogMaxSize(), 0x7FFFFFFF);
    EXPECT_TRUE(SetTraceLogMaxSizeKB(int64_t(1) << 60));
    EXPECT_EQ(GetTraceLogMaxSize(), 0x7FFFFFFF);
}

TEST_F(TraceLogTest, NewSectionHeaderAndFirstLine)
{
    SetTraceLogModulePrefix("[DL_ServiceWorker.dll] ");
    SetTraceLogFunction(&TraceLogToSharedMemory);
    TraceLog("[CNotifications::NotifySendResponse] Starts.");
    const std::string sLine = PREFIX + "[DL_ServiceWorker.dll] [CNotifications::NotifySendResponse] Starts. ";
    const int nEnd = 100 + static_cast<int>(sLine.size());
    const std::string sSection = ReadSection(100 + sLine.size() + 1);
    EXPECT_EQ(sSection.substr(0, 100), Header(nEnd, nEnd, 20480, 10485760));
    EXPECT_EQ(sSection.substr(100, sLine.size()), sLine);
    EXPECT_EQ(sSection[static_cast<size_t>(nEnd)], '\0');
    EXPECT_TRUE(GetTraceLogDumpAtUnload()); // this process created it

    struct stat st;
    ASSERT_EQ(::stat(("/dev/shm" + SharedMemoryNameOf(m_sSectionName)).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(TraceLogTest, NewSectionStartsWithTheDefaultHeader)
{
    // Before the first line is written the header reads 100, 100, wrap start, size.
    bool bCreated = false;
    {
        const CMappedSection created(OpenTraceSharedMemory(m_sSectionName.c_str(), 4096, bCreated), 0);
        ASSERT_NE(created.Handle(), nullptr);
        EXPECT_TRUE(bCreated);
        const CMappedSection opened(OpenTraceSharedMemory(m_sSectionName.c_str(), 4096, bCreated), 0);
        ASSERT_NE(opened.Handle(), nullptr);
        EXPECT_FALSE(bCreated);
    }
    DeleteNamedFileMapping(m_sSectionName.c_str());

    TraceLogToSharedMemory("");
    const std::string sSection = ReadSection(200);
    const int nEnd = 100 + static_cast<int>(PREFIX.size()) + 1;
    EXPECT_EQ(sSection.substr(0, 100), Header(nEnd, nEnd, 20480, 10485760));
}

TEST_F(TraceLogTest, SectionLeftByAnEarlierProcessIsCreatedAgain)
{
    // An earlier process created the section and went away; nobody holds it any more.
    bool bCreated = false;
    {
        const CMappedSection earlier(OpenTraceSharedMemory(m_sSectionName.c_str(), 40000, bCreated), 0);
        ASSERT_NE(earlier.Handle(), nullptr);
        ASSERT_TRUE(bCreated);
    }

    SetTraceLogMaxSize(50000);
    TraceLogToSharedMemory("again");
    EXPECT_TRUE(GetTraceLogDumpAtUnload());
    const int nEnd = 100 + static_cast<int>(PREFIX.size()) + 6;
    EXPECT_EQ(ReadSection(100), Header(nEnd, nEnd, 20480, 50000));
    EXPECT_EQ(ReadSection(static_cast<size_t>(nEnd)).substr(100), PREFIX + "again ");
}

TEST_F(TraceLogTest, WrapCountsTheModulePrefixAndKeepsTheHighWaterMark)
{
    SetTraceLogMaxSize(40000);
    const std::string sFirst(39000, 'a');
    TraceLogToSharedMemory(sFirst.c_str());
    const int nHigh = 100 + static_cast<int>(PREFIX.size()) + 39001;
    EXPECT_EQ(ReadSection(100), Header(nHigh, nHigh, 20480, 40000));

    // 600 characters would fit behind the first line, but not with a 300-character module prefix.
    const std::string sModule(300, 'm');
    SetTraceLogModulePrefix(sModule);
    const std::string sSecond(600, 'b');
    TraceLogToSharedMemory(sSecond.c_str());
    const int nWrite = 20480 + static_cast<int>(PREFIX.size()) + 300 + 601;
    const std::string sSection = ReadSection(40000);
    EXPECT_EQ(sSection.substr(0, 100), Header(nWrite, nHigh, 20480, 40000));
    EXPECT_TRUE(sSection.substr(20480, static_cast<size_t>(nWrite - 20480)) ==
                PREFIX + sModule + sSecond + " ");

    // A line longer than the whole circular part is cut at the section's end.
    SetTraceLogModulePrefix("");
    const std::string sHuge(50000, 'c');
    TraceLogToSharedMemory(sHuge.c_str());
    EXPECT_EQ(ReadSection(100), Header(40000, 40000, 20480, 40000));
}

TEST_F(TraceLogTest, OpenedSectionTakesSizeAndWrapStartFromItsHeader)
{
    const CMappedSection section = CreateSectionAsAnotherProcess(50000);
    char* pView = section.View();
    ASSERT_NE(pView, nullptr);
    std::memcpy(pView, Header(100, 100, 30000, 50000).data(), 100);

    TraceLogToSharedMemory("hello");
    EXPECT_EQ(GetTraceLogMaxSize(), 50000);
    EXPECT_EQ(GetTraceLogWrapStart(), 30000);
    EXPECT_FALSE(GetTraceLogDumpAtUnload()); // another process created it
    const int nEnd = 100 + static_cast<int>(PREFIX.size()) + 6;
    EXPECT_EQ(std::string(pView, 100), Header(nEnd, nEnd, 30000, 50000));
    EXPECT_EQ(std::string(pView + 100, static_cast<size_t>(nEnd - 100)), PREFIX + "hello ");

    // Offsets beyond the view are not trusted: the line goes behind the header.
    std::memcpy(pView, Header(999999, 999999, 30000, 50000).data(), 100);
    TraceLogToSharedMemory("again");
    EXPECT_EQ(std::string(pView + 100, PREFIX.size() + 6), PREFIX + "again ");
    std::memcpy(pView, Header(-5, 7, -100, 50000).data(), 100);
    TraceLogToSharedMemory("third");
    EXPECT_EQ(std::string(pView + 100, PREFIX.size() + 6), PREFIX + "third ");
    EXPECT_EQ(GetTraceLogMaxSize(), 50000);
}

TEST_F(TraceLogTest, OpenedSectionWithAHeaderSizeBeyondTheSectionIsLeftAlone)
{
    const CMappedSection section = CreateSectionAsAnotherProcess(8192);
    char* pView = section.View();
    ASSERT_NE(pView, nullptr);
    const std::string sHeader = Header(100, 100, 20480, 99999999);
    std::memcpy(pView, sHeader.data(), 100);
    TraceLogToSharedMemory("dropped");
    EXPECT_EQ(std::string(pView, 100), sHeader);
    EXPECT_EQ(pView[100], '\0');

    // A header without a size maps only the header: nothing fits and nothing is written.
    const std::string sNoSize = Header(100, 100, 20480, 0);
    std::memcpy(pView, sNoSize.data(), 100);
    TraceLogToSharedMemory("dropped too");
    EXPECT_EQ(std::string(pView, 100), sNoSize);
    EXPECT_EQ(pView[100], '\0');
}

TEST_F(TraceLogTest, OpenedSectionGrowsOnceItsHeaderGivesTheSize)
{
    // Opened before its creator wrote the header: only the header is mapped and the line is dropped.
    const CMappedSection section = CreateSectionAsAnotherProcess(50000);
    char* pView = section.View();
    ASSERT_NE(pView, nullptr);
    TraceLogToSharedMemory("early");
    EXPECT_EQ(pView[0], '\0');
    EXPECT_EQ(pView[100], '\0');

    // Once the header is there, the next line maps the whole section and goes in.
    std::memcpy(pView, Header(100, 100, 30000, 50000).data(), 100);
    TraceLogToSharedMemory("late");
    const int nEnd = 100 + static_cast<int>(PREFIX.size()) + 5;
    EXPECT_EQ(std::string(pView, 100), Header(nEnd, nEnd, 30000, 50000));
    EXPECT_EQ(std::string(pView + 100, static_cast<size_t>(nEnd - 100)), PREFIX + "late ");

    // Lines reach the section's end, not further: the header's size beyond the section is cut to it.
    std::memcpy(pView, Header(49000, 49000, 30000, 99999999).data(), 100);
    const std::string sLong(600, 'e');
    TraceLogToSharedMemory(sLong.c_str());
    const int nAfter = 49000 + static_cast<int>(PREFIX.size()) + 601;
    EXPECT_EQ(std::string(pView, 100), Header(nAfter, nAfter, 30000, 99999999));
    EXPECT_EQ(std::string(pView + 49000, static_cast<size_t>(nAfter - 49000)), PREFIX + sLong + " ");
    TraceLogToSharedMemory(sLong.c_str()); // past the section's end: back to the wrap start
    EXPECT_EQ(std::string(pView + 30000, PREFIX.size() + 601), PREFIX + sLong + " ");
}

TEST_F(TraceLogTest, OpenedSectionLargerThanItsHeaderSizeTakesTheSectionsSize)
{
    // A header size beyond the section: the section's own size is mapped and lines are written.
    const CMappedSection section = CreateSectionAsAnotherProcess(40000);
    char* pView = section.View();
    ASSERT_NE(pView, nullptr);
    std::memcpy(pView, Header(100, 100, 20480, 99999999).data(), 100);
    TraceLogToSharedMemory("fits");
    const int nEnd = 100 + static_cast<int>(PREFIX.size()) + 5;
    EXPECT_EQ(std::string(pView, 100), Header(nEnd, nEnd, 20480, 99999999));
    EXPECT_EQ(std::string(pView + 100, static_cast<size_t>(nEnd - 100)), PREFIX + "fits ");
}

TEST_F(TraceLogTest, SectionNoLargerThanItsHeaderIsNotCreated)
{
    SetTraceLogWrapStart(0);
    SetTraceLogMaxSize(60);
    TraceLogToSharedMemory("x");
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, m_sSectionName.c_str()), nullptr);
}

TEST_F(TraceLogTest, FlushDumpsWhatOtherWritersAddedToTheSection)
{
    SetTraceLogMaxSize(40000);
    TraceLogToSharedMemory("mine");
    // Another module writes its line behind this one's and moves the header on.
    const CMappedSection section = CMappedSection::Open(m_sSectionName, 40000);
    char* pView = section.View();
    ASSERT_NE(pView, nullptr);
    const int nMine = 100 + static_cast<int>(PREFIX.size()) + 5;
    const std::string sTheirs = PREFIX + "[other.dll] theirs ";
    std::memcpy(pView + nMine, sTheirs.data(), sTheirs.size());
    const int nEnd = nMine + static_cast<int>(sTheirs.size());
    std::memcpy(pView, Header(nEnd, nEnd, 20480, 40000).data(), 100);

    FlushTraceLog(true);
    EXPECT_EQ(ReadFileText(LogFile()), Header(nEnd, nEnd, 20480, 40000) + PREFIX + "mine " + sTheirs);

    // A header beyond the section is cut to the view.
    std::filesystem::remove(LogFile());
    ResetTraceLogState();
    SetTraceLogPath(("C:\\" + m_sLogName).c_str());
    SetTraceLogLock(&m_lock);
    SetTraceMask(TRACE_MASK_ON);
    std::memset(pView + nEnd, 'z', static_cast<size_t>(40000 - nEnd));
    TraceLogToSharedMemory("again"); // opened, not created: dumped only when asked to
    std::memcpy(pView, Header(nEnd, 99999999, 20480, 40000).data(), 100);
    SetTraceLogDumpAtUnload(true);
    FlushTraceLog(true);
    EXPECT_EQ(ReadFileText(LogFile()).size(), 40000u);
}

TEST_F(TraceLogTest, FlushDumpsTheSectionUpToTheHighWaterMark)
{
    SetTraceLogMaxSize(40000);
    TraceLogToSharedMemory("one");
    TraceLogToSharedMemory("two");
    FlushTraceLog(true);
    const std::string sLines = PREFIX + "one " + PREFIX + "two ";
    const int nEnd = 100 + static_cast<int>(sLines.size());
    EXPECT_EQ(ReadFileText(LogFile()), Header(nEnd, nEnd, 20480, 40000) + sLines);
    struct stat st;
    ASSERT_EQ(::stat(LogFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // After a wrap the section holds no NUL before its end: the dump stops at the high-water mark.
    ResetTraceLogState();
    DeleteNamedFileMapping(m_sSectionName.c_str());
    std::filesystem::remove(LogFile());
    SetTraceLogPath(("C:\\" + m_sLogName).c_str());
    SetTraceLogLock(&m_lock);
    SetTraceMask(TRACE_MASK_ON);
    SetTraceLogMaxSize(21000);
    const std::string sFirst(20400, 'f'); // ends behind the wrap start: no gap of NULs
    TraceLogToSharedMemory(sFirst.c_str());
    const std::string sSecond(20000, 's');
    TraceLogToSharedMemory(sSecond.c_str()); // wraps and is cut at the end of the section
    FlushTraceLog(true);
    EXPECT_EQ(ReadFileText(LogFile()).size(), 21000u);
}

TEST_F(TraceLogTest, FileSinkBuffersAndWritesFromOffset100)
{
    SetTraceLogFunction(&TraceLogToFile);
    TraceLog("first");
    ASSERT_TRUE(std::filesystem::exists(LogFile()));
    EXPECT_EQ(std::filesystem::file_size(LogFile()), 0u); // buffered
    struct stat st;
    ASSERT_EQ(::stat(LogFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Lines of 1000 characters: the buffer is written when it and the next line reach 51200 bytes.
    const std::string sText(1000, 'x');
    std::string sExpected = PREFIX + "first";
    size_t nLines = 0;
    while (sExpected.size() + sText.size() + 259 < 51200)
    {
        TraceLog("%s", sText.c_str());
        sExpected += PREFIX + sText;
        ++nLines;
    }
    EXPECT_EQ(std::filesystem::file_size(LogFile()), 0u);
    TraceLog("%s", sText.c_str());
    sExpected += PREFIX + sText;
    EXPECT_TRUE(ReadFileText(LogFile()) == std::string(100, '\0') + sExpected);

    // The rest goes at unload (or an explicit flush), behind what is there.
    TraceLog("last");
    FlushTraceLog(true);
    EXPECT_TRUE(ReadFileText(LogFile()) == std::string(100, '\0') + sExpected + PREFIX + "last");
    EXPECT_GT(nLines, 40u);
}

TEST_F(TraceLogTest, FileSinkFlushBeforeAnyWriteStillStartsAtOffset100)
{
    TraceLogToFile("only");
    FlushTraceLog(true);
    EXPECT_EQ(ReadFileText(LogFile()), std::string(100, '\0') + PREFIX + "only");
}

namespace
{
DWORD ShortThreadId()
{
    return 0x1A;
}
} // namespace

TEST_F(TraceLogTest, PrefixPadsTheThreadIdToFourColumns)
{
    SetThreadIdSource(&ShortThreadId);
    SetLocalTimeBias(-90); // local time 90 minutes behind UTC
    TraceLogToFile("x");
    FlushTraceLog(true);
    EXPECT_EQ(ReadFileText(LogFile()), std::string(100, '\0') + "\r\n2024/02/29 22:29:58.250   1A x");
}

TEST_F(TraceLogTest, FileSinkWrapsToTheWrapStart)
{
    SetTraceLogMaxSize(20480 + 60000);
    const std::string sText(60000, 'w');
    TraceLogToFile(sText.c_str()); // each written at once: too large for the buffer
    TraceLogToFile(sText.c_str());
    const std::string sLast(60000, 'z');
    TraceLogToFile(sLast.c_str()); // the offset has passed the maximum size: back to the wrap start
    const std::string sContent = ReadFileText(LogFile());
    const size_t nBlock = PREFIX.size() + sText.size();
    EXPECT_EQ(sContent.size(), 100 + 2 * nBlock);
    EXPECT_TRUE(sContent.compare(20481, nBlock, PREFIX + sLast) == 0);
    EXPECT_EQ(sContent[20480], 'w');
}

TEST_F(TraceLogTest, FallbackSinkAppendsWithTheTime)
{
    TraceLogToFallbackFile("one");
    TraceLogToFallbackFile("two");
    EXPECT_EQ(ReadFileText(LogFile()),
              "\n\n ****  Thu Feb 29 23:59:58 2024\n one\n\n ****  Thu Feb 29 23:59:58 2024\n two");
    SetTraceMask(0);
    TraceLogToFallbackFile("dropped");
    EXPECT_EQ(ReadFileText(LogFile()).find("dropped"), std::string::npos);
}

TEST_F(TraceLogTest, FallbackSinkWritesBesideTheConverterWhenItIsLoaded)
{
    void* pModule = ::dlopen(DLSW_CONVERT_STUB, RTLD_NOW);
    ASSERT_NE(pModule, nullptr);
    const std::filesystem::path logPath =
        std::filesystem::path(DLSW_CONVERT_STUB).parent_path() / "KS_Log.txt";
    std::filesystem::remove(logPath);
    TraceLogToFallbackFile("beside");
    const std::string sWindowsDir = MapPosixPathToWindows(logPath.parent_path().string());
    EXPECT_EQ(GetTraceLogPath(), sWindowsDir + "\\KS_Log.txt");
    EXPECT_EQ(ReadFileText(logPath), "\n\n ****  Thu Feb 29 23:59:58 2024\n beside");
    std::filesystem::remove(logPath);
    ::dlclose(pModule);
}

TEST_F(TraceLogTest, EventLogSinkWritesInformationEvents)
{
    WriteEventLogTrace("no writer yet");
    SetTraceEventLogWriter(&CaptureEvent);
    SetTraceLogFunction(&WriteEventLogTrace);
    TraceLog("line %d", 7);
    WriteEventLogTrace(nullptr);
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_events[0].first, 3u);
    EXPECT_EQ(g_events[0].second, "line 7");
}

TEST_F(TraceLogTest, ManyThreadsWriteWholeLines)
{
    SetTraceLogFunction(&TraceLogToFile);
    constexpr int THREADS = 8;
    constexpr int LINES = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
    {
        threads.emplace_back(
            [t]
            {
                for (int i = 0; i < LINES; ++i)
                    TraceLog("thread %d line %d end", t, i);
            });
    }
    for (std::thread& th : threads)
        th.join();
    FlushTraceLog(true);
    const std::string sContent = ReadFileText(LogFile());
    size_t nCount = 0;
    for (size_t nPos = sContent.find(PREFIX); nPos != std::string::npos;
         nPos = sContent.find(PREFIX, nPos + 1))
        ++nCount;
    EXPECT_EQ(nCount, static_cast<size_t>(THREADS * LINES));
    EXPECT_NE(sContent.find("thread 7 line 199 end"), std::string::npos);
}
