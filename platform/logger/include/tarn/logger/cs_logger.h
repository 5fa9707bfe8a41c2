// CSLogger: the host's logging facility. printf-style lines at four priorities
// (0 errors, 1 warnings, 2 progress and findings, 3 entry and completion traces).
// Lines are appended to the log file under the host root, each with the time and the process
// id; they reach stderr only when the program asks for it (EchoToStderr). Any thread may log. While
// a Batch lives, lines are gathered in memory and written together; a Hold keeps a thread's
// lines back until they are released; a Capture records the lines logged while it lives (for
// tests).
#pragma once

#include <cstdarg>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

class CSLogger {
public:
    enum Priority { kError = 0, kWarning = 1, kProgress = 2, kTrace = 3 };

    static void Log(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

    // From now on, lines of priority upToPriority and below also go to stderr, as they read in
    // the log file; -1 (the default) echoes none. The terminal belongs to the program: only
    // it decides (a verbose option, say). For the whole process.
    static void EchoToStderr(int upToPriority);

    // Writes the lines gathered so far to the log file.
    static void Flush();

    // While any Batch lives (on any thread), lines are gathered and written in one go: when
    // the last Batch ends, when an error line is logged, when 64 KiB have gathered, and on
    // Flush. Lines keep their order. A process that dies inside a Batch loses the gathered
    // lines, so an operation holds one only around work that cannot end the process.
    class Batch {
    public:
        Batch();
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
    };

    // Flushes, then writes every line at once until it ends, Batches or not: held while a
    // child process runs that may itself write to the log file or be the reason this process
    // dies.
    class Unbuffered {
    public:
        Unbuffered();
        ~Unbuffered();
        Unbuffered(const Unbuffered&) = delete;
        Unbuffered& operator=(const Unbuffered&) = delete;
    };

    // While a Hold lives, the lines its thread logs are kept in it, not written: a worker thread
    // doing part of an operation keeps its lines for the operation's thread, which releases them
    // where the work would have logged them had it done it itself. One Hold per thread at a time.
    class Hold {
    public:
        Hold();
        ~Hold();  // forgets the lines not released
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        // Logs the kept lines, in order, from the calling thread (any thread once the holding
        // one is done with the Hold), and forgets them. Each line carries the time it was
        // logged at, not the time it was released.
        void Release();

    private:
        friend class CSLogger;
        struct Kept;
        void Keep(int priority, const char* format, va_list args);
        // The kept lines as the log file will read them, each stamped with the time it was
        // logged; made at the first line kept.
        std::unique_ptr<Kept> kept_;
        Hold* outer_;
    };

    struct Line {
        int priority;
        std::string text;
    };

    // Collects every line logged by any thread from construction to destruction.
    // Captures may nest; each sees the lines logged during its own lifetime.
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

        std::vector<Line> Lines() const;
        // True when a line with exactly this priority and text was logged.
        bool Contains(int priority, const std::string& text) const;
        // Index of the first line with this text, or -1.
        long IndexOf(const std::string& text) const;

    private:
        friend class CSLogger;
        void Record(int priority, const std::string& text);
        std::vector<Line> lines_;
    };

private:
    // Writes a formatted line: to the log file, stderr when echoed, and the Captures.
    static void Emit(int priority, std::string_view message);
    // Gives a line to the Captures.
    static void ToCaptures(int priority, std::string_view message);
};

TARN_PUBLIC_END
