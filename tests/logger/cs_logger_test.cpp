// The logger: the text of a line as printf would make it, the time and process id it carries,
// when gathered lines reach the log file, and that stderr sees lines only when asked to.
#include "tarn/logger/cs_logger.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "deadline.h"
#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = nullptr;
    int length = vasprintf(&text, format, args);
    va_end(args);
    std::string result(text, static_cast<size_t>(length));
    free(text);
    return result;
}
#pragma GCC diagnostic pop

std::string LogFileText() {
    return TarnTest::PathExists(TarnPaths::kLogFile) ? TarnTest::ReadFile(TarnPaths::kLogFile)
                                                     : std::string();
}

// "2026-12-06T02:08:19.123Z 4242 [info] text": the time in UTC, the process id, the priority.
const std::regex kLinePrefix(R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})Z (\d+) \[)");

// text with the time and process id taken off each line, after checking that they are there
// and are this process's.
std::string WithoutPrefixes(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string rest;
    std::smatch prefix;
    while (std::getline(lines, line)) {
        if (!std::regex_search(line, prefix, kLinePrefix)) {
            ADD_FAILURE() << "no time and process id: " << line;
            continue;
        }
        EXPECT_EQ(std::to_string(getpid()), prefix[2].str()) << line;
        rest += line.substr(static_cast<size_t>(prefix.length(0)) - 1) + "\n";
    }
    return rest;
}

const char* const kPriorityNames[] = {"error", "warning", "info", "trace"};

// The root is laid out once: the logger keeps its log file open, so the tests share one file
// and each reads what was appended since it began.
class CSLoggerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TarnTest::ResetHostRoot(); }
    void SetUp() override { start_ = LogFileText().size(); }

    // What was logged since the test began, without the time and process id of each line.
    std::string LogText() const { return WithoutPrefixes(LogFileText().substr(start_)); }
    // The text the last line logged carried.
    std::string Last() const { return capture_.Lines().back().text; }

    CSLogger::Capture capture_;
    size_t start_ = 0;
};

TEST_F(CSLoggerTest, LinesReadAsPrintfWouldWriteThem) {
    CSLogger::Log(2, "%s|%s|%d|%d|%u|%%|", "a", "", INT_MIN, INT_MAX, UINT_MAX);
    EXPECT_EQ(Printf("%s|%s|%d|%d|%u|%%|", "a", "", INT_MIN, INT_MAX, UINT_MAX), Last());
    CSLogger::Log(2, "%ld %lu %zu %" PRId64 " end", LONG_MIN, ULONG_MAX, SIZE_MAX, INT64_MIN);
    EXPECT_EQ(Printf("%ld %lu %zu %" PRId64 " end", LONG_MIN, ULONG_MAX, SIZE_MAX, INT64_MIN),
              Last());
    // Widths, precisions, flags and other conversions, also after common ones in one line.
    CSLogger::Log(2, "%s %5d|%-4s|%.2s|%lf|%x|%c|%03ld", "x", 7, "ab", "abc", 0.5, 255, 'q', 9L);
    EXPECT_EQ(Printf("%s %5d|%-4s|%.2s|%lf|%x|%c|%03ld", "x", 7, "ab", "abc", 0.5, 255, 'q', 9L),
              Last());
    CSLogger::Log(2, "no conversions");
    EXPECT_EQ("no conversions", Last());
    std::string longText(5000, 'y');
    CSLogger::Log(2, "%s!", longText.c_str());
    EXPECT_EQ(longText + "!", Last());
    CSLogger::Log(2, "%4s%s!", "a", longText.c_str());
    EXPECT_EQ("   a" + longText + "!", Last());
    EXPECT_EQ(6u, capture_.Lines().size());
    EXPECT_NE(std::string::npos, LogText().find("[info] " + longText + "!\n[info]    a"));
}

TEST_F(CSLoggerTest, ABatchWritesItsLinesWhenTheLastBatchEnds) {
    CSLogger::Log(3, "before");
    EXPECT_EQ("[trace] before\n", LogText());
    {
        CSLogger::Batch outer;
        CSLogger::Log(2, "one");
        {
            CSLogger::Batch inner;
            CSLogger::Log(1, "two");
        }
        TarnTest::Deadline deadline("a thread logging one line");
        std::thread other([] { CSLogger::Log(2, "from another thread"); });
        other.join();
        EXPECT_EQ("[trace] before\n", LogText());
    }
    EXPECT_EQ("[trace] before\n[info] one\n[warning] two\n[info] from another thread\n", LogText());
}

TEST_F(CSLoggerTest, ErrorsFlushAndFailuresDoNotLoseLines) {
    {
        CSLogger::Batch batch;
        CSLogger::Log(2, "gathered");
        CSLogger::Log(0, "failed");
        EXPECT_EQ("[info] gathered\n[error] failed\n", LogText());
        CSLogger::Log(3, "after");
        CSLogger::Flush();
        EXPECT_EQ("[info] gathered\n[error] failed\n[trace] after\n", LogText());
    }
    try {
        CSLogger::Batch batch;
        CSLogger::Log(2, "thrown through");
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ("[info] gathered\n[error] failed\n[trace] after\n[info] thrown through\n", LogText());
}

TEST_F(CSLoggerTest, AHeldThreadsLinesAppearWhereTheyAreReleased) {
    CSLogger::Hold hold;
    std::string longText(3000, 'h');
    CSLogger::Log(1, "kept first");
    {
        TarnTest::Deadline deadline("a thread logging while this one holds");
        std::thread other([] { CSLogger::Log(2, "not held"); });
        other.join();
    }
    CSLogger::Log(0, "kept error %s", longText.c_str());
    EXPECT_EQ("[info] not held\n", LogText());
    ASSERT_EQ(1u, capture_.Lines().size());
    CSLogger::Log(3, "between");  // still held: the thread's lines keep their order
    hold.Release();
    EXPECT_EQ("[info] not held\n[warning] kept first\n[error] kept error " + longText +
                  "\n[trace] between\n",
              LogText());
    ASSERT_EQ(4u, capture_.Lines().size());
    EXPECT_EQ(0, capture_.Lines()[2].priority);
    hold.Release();  // nothing left to release
    EXPECT_EQ(4u, capture_.Lines().size());
    {
        CSLogger::Hold inner;
        CSLogger::Log(2, "dropped with the inner hold");
    }
    CSLogger::Log(2, "held again by the outer one");
    EXPECT_EQ(4u, capture_.Lines().size());
    hold.Release();
    EXPECT_EQ("held again by the outer one", Last());
}

TEST_F(CSLoggerTest, ManyHeldLinesAreReleasedWholeAndInOrder) {
    // Enough lines to fill more than one of the Hold's blocks.
    std::string expected;
    {
        CSLogger::Hold hold;
        std::string text(1000, 'm');
        for (int i = 0; i < 400; ++i) {
            CSLogger::Log(i % 4, "%d %s", i, text.c_str());
            expected += Printf("[%s] %d %s\n", kPriorityNames[i % 4], i, text.c_str());
        }
        hold.Release();
    }
    EXPECT_EQ(expected, LogText());
    std::vector<CSLogger::Line> lines = capture_.Lines();
    ASSERT_EQ(400u, lines.size());
    for (int i = 0; i < 400; i += 133) {
        EXPECT_EQ(i % 4, lines[i].priority);
        EXPECT_EQ(std::to_string(i) + " " + std::string(1000, 'm'), lines[i].text);
    }
}

TEST_F(CSLoggerTest, HeldLinesKeepTheirTimeAndAreWrittenAsIfLoggedAtTheRelease) {
    CSLogger::Hold hold;
    CSLogger::Log(1, "kept");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        TarnTest::Deadline deadline("a thread logging while this one holds");
        std::thread other([] { CSLogger::Log(2, "logged later"); });
        other.join();
    }
    {
        CSLogger::Batch batch;
        hold.Release();
        EXPECT_EQ("[info] logged later\n", LogText()) << "a Batch gathers released lines too";
    }
    std::string text = LogFileText().substr(start_);
    EXPECT_EQ("[info] logged later\n[warning] kept\n", WithoutPrefixes(text));
    // The time texts compare as the times do: the kept line was logged first.
    EXPECT_GT(text.substr(0, 23), text.substr(text.find('\n') + 1, 23)) << text;

    // An error line among them writes them at once; the echo sees them as the file does.
    testing::internal::CaptureStderr();
    CSLogger::EchoToStderr(1);
    {
        CSLogger::Batch batch;
        CSLogger::Log(3, "kept trace");
        CSLogger::Log(0, "kept error");
        CSLogger::Log(1, "kept warning");
        hold.Release();
        EXPECT_EQ(
            "[info] logged later\n[warning] kept\n[trace] kept trace\n[error] kept "
            "error\n[warning] kept warning\n",
            LogText());
    }
    CSLogger::EchoToStderr(-1);
    std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ("[error] kept error\n[warning] kept warning\n", WithoutPrefixes(echoed));
    EXPECT_NE(std::string::npos, LogFileText().substr(start_).find(echoed));
}

TEST_F(CSLoggerTest, UnbufferedWritesAtOnceInsideABatch) {
    CSLogger::Batch batch;
    CSLogger::Log(2, "gathered");
    {
        CSLogger::Unbuffered unbuffered;
        EXPECT_EQ("[info] gathered\n", LogText());
        CSLogger::Log(2, "at once");
        EXPECT_EQ("[info] gathered\n[info] at once\n", LogText());
    }
    CSLogger::Log(2, "gathered again");
    EXPECT_EQ("[info] gathered\n[info] at once\n", LogText());
}

TEST_F(CSLoggerTest, ALargeBatchIsWrittenInPiecesOnTheWay) {
    CSLogger::Batch batch;
    std::string line(1000, 'z');
    for (int i = 0; i < 100; ++i) {
        CSLogger::Log(3, "%s", line.c_str());
    }
    std::string written = LogFileText().substr(start_);
    EXPECT_GE(written.size(), 64u * 1024);
    EXPECT_LT(written.size(), 100u * (line.size() + 50));
}

TEST_F(CSLoggerTest, LinesCarryTheTimeAndTheProcessIdOfTheLogger) {
    // The line's time is read back in whole seconds, and the logger's coarse clock may lag the
    // precise one by a tick: the lower bound is a whole second a second back.
    auto before = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) -
                  std::chrono::seconds(1);
    CSLogger::Log(2, "stamped");
    auto after = std::chrono::system_clock::now() + std::chrono::seconds(1);
    std::string line = LogFileText().substr(start_);
    std::smatch prefix;
    ASSERT_TRUE(std::regex_search(line, prefix, kLinePrefix)) << line;
    std::tm parts{};
    std::istringstream(prefix[1].str()) >> std::get_time(&parts, "%Y-%m-%dT%H:%M:%S");
    auto stamped = std::chrono::system_clock::from_time_t(timegm(&parts));
    EXPECT_GE(stamped, before) << line;
    EXPECT_LE(stamped, after) << line;
    EXPECT_EQ("[info] stamped\n", LogText());

    // A forked child logs under its own id.
    pid_t child = fork();
    if (child == 0) {
        CSLogger::Log(2, "from the child");
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    TarnTest::Deadline deadline("a forked child logging one line");
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_NE(std::string::npos,
              LogFileText().find("Z " + std::to_string(child) + " [info] from the child\n"));
}

TEST_F(CSLoggerTest, StderrSeesOnlyTheLinesTheProgramAskedFor) {
    testing::internal::CaptureStderr();
    CSLogger::Log(0, "an error, not echoed");
    CSLogger::EchoToStderr(1);
    CSLogger::Log(1, "a warning, echoed");
    CSLogger::Log(2, "progress, not echoed");
    CSLogger::EchoToStderr(-1);
    CSLogger::Log(0, "an error, no longer echoed");
    std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ("[warning] a warning, echoed\n", WithoutPrefixes(echoed));
    EXPECT_NE(std::string::npos, LogFileText().substr(start_).find(echoed))
        << "the echo reads as the line in the file";
    EXPECT_EQ(4u, capture_.Lines().size());
}

}  // namespace
